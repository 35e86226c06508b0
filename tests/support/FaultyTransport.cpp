#include "FaultyTransport.h"

#include "framework/NetMessages.h"

#include <optional>
#include <utility>

namespace cht::framework {

FaultyTransport::FaultyTransport(std::shared_ptr<TNetTransport> inner)
    : m_inner(inner ? std::move(inner) : TNetConnection::HttpTransport())
{}

void FaultyTransport::failCall(int n, const QString& message)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[n] = Fault{Fault::Kind::Raise, message, {}};
}

void FaultyTransport::answerFailure(int n, const QString& report)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[n] = Fault{Fault::Kind::Failure, report, {}};
}

void FaultyTransport::answerRaw(int n, std::string body)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[n] = Fault{Fault::Kind::Raw, {}, std::move(body)};
}

void FaultyTransport::failConnect(const QString& message)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_connectFailure = message;
}

int FaultyTransport::callCount() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::string FaultyTransport::Post(const QString& host, int port, const std::string& body,
                                  int timeoutMs)
{
    std::optional<Fault> fault;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const int n = ++m_calls;
        if (auto it = m_faults.find(n); it != m_faults.end())
            fault = it->second;
    }
    if (!fault)
        return m_inner->Post(host, port, body, timeoutMs);
    switch (fault->kind) {
    case Fault::Kind::Raise:
        net::raise(fault->text);
    case Fault::Kind::Raw:
        return fault->body;
    case Fault::Kind::Failure:
        break;
    }
    // The failure report answers the request's own id, as the server would.
    std::int64_t id = 0;
    try {
        id = cht::wire::decodeRequest(body).id;
    } catch (const cht::wire::WireError& e) {
        net::raise(QStringLiteral("Requisição inválida enviada ao servidor: %1")
                       .arg(QString::fromUtf8(e.what())));
    }
    return cht::wire::encodeFailure(id, fault->text.toStdString());
}

void FaultyTransport::CheckHealth(const QString& host, int port, int timeoutMs)
{
    QString failure;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        failure = m_connectFailure;
    }
    if (!failure.isEmpty())
        net::raise(failure);
    m_inner->CheckHealth(host, port, timeoutMs);
}

} // namespace cht::framework
