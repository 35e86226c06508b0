#include "NetMessages.h"
#include "ServerSession.h"
#include "UiWait.h"
#include "module/contracts/Netconnection.h"

#include <utility>

namespace cht::framework {

namespace {

using cht::wire::RpcArg;

constexpr std::size_t kDecodeOffThreadBytes = 256 * 1024;

QString kindName(RpcArg::Kind kind)
{
    switch (kind) {
    case RpcArg::Kind::Null:
        return QStringLiteral("nulo");
    case RpcArg::Kind::Text:
        return QStringLiteral("texto");
    case RpcArg::Kind::Number:
        return QStringLiteral("número");
    case RpcArg::Kind::Data:
        return QStringLiteral("pacote de dados");
    case RpcArg::Kind::Delta:
        return QStringLiteral("pacote de alterações");
    }
    return QStringLiteral("desconhecido");
}

/// Checks every by-reference value before writing any, so that a bad reply changes nothing of
/// the caller's variables.
void writeBackRefs(const std::vector<TRemoteArg>& args, const std::vector<RpcArg>& refs)
{
    bool anyRef = false;
    for (const TRemoteArg& a : args)
        anyRef = anyRef || a.textRef || a.numberRef;
    if (!anyRef)
        return;
    if (refs.size() != args.size())
        net::raise(net::invalidReply(QStringLiteral("%1 valores de retorno para %2 argumentos.")
                                         .arg(refs.size())
                                         .arg(args.size())));
    for (std::size_t i = 0; i < args.size(); ++i) {
        const RpcArg& r = refs[i];
        const bool textOk = r.kind == RpcArg::Kind::Text || r.kind == RpcArg::Kind::Null;
        const bool numberOk = r.kind == RpcArg::Kind::Number;
        if ((args[i].textRef && !textOk) || (args[i].numberRef && !numberOk))
            net::raise(net::invalidReply(
                QStringLiteral("o argumento %1 voltou como %2.").arg(i + 1).arg(kindName(r.kind))));
    }
    for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i].textRef)
            *args[i].textRef = QString::fromStdString(refs[i].text);
        else if (args[i].numberRef)
            *args[i].numberRef = refs[i].number;
}

} // namespace

TServerResult TRemoteServer::Call(const QString& method, std::vector<TRemoteArg> args)
{
    const QString fullName = m_connection.ServerName + QLatin1Char('.') + method;

    const std::int64_t id = m_connection.m_nextId++;
    std::vector<const RpcArg*> params;
    params.reserve(args.size());
    static const RpcArg none;
    for (const TRemoteArg& a : args)
        params.push_back(a.wire ? a.wire.get() : &none);

    std::string body;
    try {
        body = cht::wire::encodeRequest(id, fullName.toStdString(), params);
    } catch (const cht::wire::WireError& e) {
        net::raise(QStringLiteral("Não foi possível montar a chamada %1: %2")
                       .arg(fullName, QString::fromUtf8(e.what())));
    }

    std::shared_ptr<TNetTransport> transport = m_connection.Transport();
    cht::wire::RpcResponse response;
    // A call refused for want of a session ran nothing: once the operator has signed in again it
    // is sent again, and the screen carries on as if nothing happened.
    for (bool renewed = false;;) {
        std::string reply =
            transport->Post(m_connection.Host, m_connection.Port, body, m_connection.TimeoutMs);
        auto decode = [&] {
            try {
                response = cht::wire::decodeResponseInPlace(reply);
            } catch (const cht::wire::WireError& e) {
                net::raise(net::invalidReply(QString::fromUtf8(e.what())));
            }
        };
        // A big packet takes tens of milliseconds to decode: off the UI thread, so that the wait
        // animation keeps moving. Small replies are not worth a thread.
        if (reply.size() >= kDecodeOffThreadBytes)
            runWhileUiWaits(decode);
        else
            decode();
        transport->Recycle(std::move(reply));
        if (response.errorCode != cht::wire::kSessionRequired || renewed || !ServerSession::Renew())
            break;
        renewed = true;
    }

    if (response.errorCode == cht::wire::kMethodNotFound)
        net::raise(net::unknownMethod(fullName));
    if (response.errorCode == cht::wire::kSessionRequired)
        net::raise(QString::fromStdString(response.errorMessage));
    if (response.errorCode != 0) {
        const QString detail = QString::fromStdString(response.errorMessage);
        net::raise(QStringLiteral("O servidor de aplicação recusou a chamada %1: %2")
                       .arg(fullName, detail.isEmpty()
                                          ? QStringLiteral("erro %1.").arg(response.errorCode)
                                          : detail));
    }
    if (response.id != id)
        net::raise(
            net::invalidReply(QStringLiteral("resposta da chamada %1 recebida para a chamada %2.")
                                  .arg(response.id)
                                  .arg(id)));

    TServerResult result;
    result.ok = response.ok;
    if (!response.ok) {
        result.failure = QString::fromStdString(response.failure);
        return result;
    }
    writeBackRefs(args, response.refs);
    result.data = std::move(response.data);
    return result;
}

} // namespace cht::framework
