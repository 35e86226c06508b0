#include "HttpTransport.h"
#include "NetMessages.h"
#include "module/contracts/Forms.h"
#include "module/contracts/Netconnection.h"

#include <utility>

namespace cht::framework {

TNetConnection::TNetConnection() : m_transport(HttpTransport()) {}

TNetConnection::~TNetConnection() = default;

std::shared_ptr<TNetTransport> TNetConnection::HttpTransport()
{
    // One instance serves every connection: the connections it keeps open are per server, and
    // the memory it keeps is for whichever list comes next.
    static const std::shared_ptr<TNetTransport> transport =
        std::make_shared<cht::framework::HttpTransport>();
    return transport;
}

void TNetConnection::SetTransport(std::shared_ptr<TNetTransport> transport)
{
    m_transport = transport ? std::move(transport) : HttpTransport();
}

void TNetConnection::Open()
{
    if (ThrowException) {
        openOrRaise();
        return;
    }
    try {
        openOrRaise();
    } catch (const EServerError& e) {
        Application::ShowError(QString::fromUtf8(e.what()));
    }
}

void TNetConnection::openOrRaise()
{
    m_connected = false;
    if (BeforeConnect)
        BeforeConnect(*this);
    if (Host.trimmed().isEmpty() || Port <= 0 || Port > 65535)
        net::raise(QStringLiteral("Endereço do servidor de aplicação inválido: \"%1:%2\".")
                       .arg(Host)
                       .arg(Port));
    m_transport->CheckHealth(Host, Port, TimeoutMs);
    m_connected = true;
}

void TNetConnection::Close()
{
    m_connected = false;
}

TRemoteServer TNetConnection::AppServer()
{
    // Raises even when ThrowException is false: the caller is about to make a call, and a
    // connection that is not there must stop it, shown once by the error display.
    if (!m_connected)
        openOrRaise();
    return TRemoteServer(*this);
}

} // namespace cht::framework
