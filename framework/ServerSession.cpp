#include "ServerSession.h"

#include "NetMessages.h"
#include "ServerAddress.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/pem.h>

#include <memory>
#include <mutex>

namespace cht::framework {

namespace {

// Signing in is quick unless the server is not there.
constexpr int kSignInTimeoutMs = 30000;

struct State {
    std::mutex mutex;
    std::string token;
    std::function<bool()> renewal;
    bool renewing = false;
    QString trustedCertificates;
};

State& state()
{
    static State s;
    return s;
}

std::string post(const QString& host, int port, const std::string& method,
                 std::vector<cht::wire::RpcArg> params,
                 const std::shared_ptr<TNetTransport>& transport)
{
    cht::wire::RpcRequest request;
    request.id = 1;
    request.method = method;
    request.params = std::move(params);
    auto t = transport ? transport : TNetConnection::HttpTransport();
    return t->Post(host, port, cht::wire::encodeRequest(request), kSignInTimeoutMs);
}

} // namespace

ServerSession::Operator ServerSession::SignIn(const QString& host, int port,
                                              const QString& operador, const QString& password,
                                              std::shared_ptr<TNetTransport> transport)
{
    QString error;
    const std::optional<ServerAddress> address = ServerAddress::parse(host, port, &error);
    if (!address)
        net::raise(error);
    if (!address->https && !address->loopback())
        net::raise(QStringLiteral("O servidor de aplicação em %1 não usa HTTPS e não está neste "
                                  "computador: a senha não é enviada sem criptografia. Use "
                                  "https:// no endereço do servidor.")
                       .arg(address->display()));
    const std::string reply = post(host, port, "Sessao.Entrar",
                                   {cht::wire::RpcArg::ofText(operador.trimmed().toStdString()),
                                    cht::wire::RpcArg::ofText(password.toStdString())},
                                   transport);
    cht::wire::RpcResponse response;
    try {
        response = cht::wire::decodeResponse(reply);
    } catch (const cht::wire::WireError& e) {
        net::raise(net::invalidReply(QString::fromUtf8(e.what())));
    }
    if (response.errorCode != 0)
        net::raise(QString::fromStdString(response.errorMessage));
    if (!response.ok)
        net::raise(QString::fromStdString(response.failure));
    if (!response.data || response.data->rowCount() != 1 || response.data->columnCount() < 3)
        net::raise(net::invalidReply(QStringLiteral("a entrada não trouxe a sessão.")));
    const auto& data = *response.data;
    SetToken(std::string(data.text(0, 0)));
    return Operator{QString::fromStdString(std::string(data.text(0, 1))),
                    QString::fromStdString(std::string(data.text(0, 2)))};
}

void ServerSession::SignOut(const QString& host, int port)
{
    if (Token().empty())
        return;
    try {
        post(host, port, "Sessao.Sair", {}, nullptr);
    } catch (const std::exception&) {
        // The session ends by itself at its limits.
    }
    SetToken({});
}

std::string ServerSession::Token()
{
    std::lock_guard lock(state().mutex);
    return state().token;
}

void ServerSession::SetToken(std::string token)
{
    std::lock_guard lock(state().mutex);
    state().token = std::move(token);
}

void ServerSession::SetRenewal(std::function<bool()> renewal)
{
    std::lock_guard lock(state().mutex);
    state().renewal = std::move(renewal);
}

bool ServerSession::Renew()
{
    std::function<bool()> renewal;
    {
        std::lock_guard lock(state().mutex);
        // A call made while the operator is signing in again does not ask twice.
        if (!state().renewal || state().renewing)
            return false;
        renewal = state().renewal;
        state().renewing = true;
    }
    bool renewed = false;
    try {
        renewed = renewal();
    } catch (...) {
        std::lock_guard lock(state().mutex);
        state().renewing = false;
        throw;
    }
    std::lock_guard lock(state().mutex);
    state().renewing = false;
    return renewed;
}

void ServerSession::SetTrustedCertificates(const QString& pemFile)
{
    if (!pemFile.isEmpty()) {
        QFile file(pemFile);
        if (!file.open(QIODevice::ReadOnly))
            net::raise(QStringLiteral("Não foi possível ler o arquivo de autoridades "
                                      "certificadoras \"%1\": %2.")
                           .arg(pemFile, file.errorString()));
        const QByteArray pem = file.read(16 * 1024 * 1024);
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(
            BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())), BIO_free);
        std::unique_ptr<X509, decltype(&X509_free)> first(
            bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
        if (!first)
            net::raise(QStringLiteral("O arquivo \"%1\" não contém certificados no formato PEM "
                                      "(--ca espera o certificado da autoridade que emitiu o do "
                                      "servidor).")
                           .arg(pemFile));
    }
    // Kept whole: the current folder may change.
    const QString path = pemFile.isEmpty() ? QString() : QFileInfo(pemFile).absoluteFilePath();
    std::lock_guard lock(state().mutex);
    state().trustedCertificates = path;
}

QString ServerSession::TrustedCertificates()
{
    std::lock_guard lock(state().mutex);
    return state().trustedCertificates;
}

} // namespace cht::framework
