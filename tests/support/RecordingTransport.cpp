#include "RecordingTransport.h"

#include "framework/NetMessages.h"

#include <utility>

namespace cht::framework {

std::string RecordedCall::shortMethod() const
{
    const std::size_t dot = method.rfind('.');
    return dot == std::string::npos ? method : method.substr(dot + 1);
}

RecordingTransport::RecordingTransport(std::shared_ptr<TNetTransport> inner)
    : m_inner(inner ? std::move(inner) : TNetConnection::HttpTransport())
{}

std::string RecordingTransport::Post(const QString& host, int port, const std::string& body,
                                     int timeoutMs)
{
    RecordedCall call;
    try {
        cht::wire::RpcRequest request = cht::wire::decodeRequest(body);
        call.method = std::move(request.method);
        call.params = std::move(request.params);
    } catch (const cht::wire::WireError& e) {
        net::raise(QStringLiteral("Requisição inválida enviada ao servidor: %1")
                       .arg(QString::fromUtf8(e.what())));
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    return m_inner->Post(host, port, body, timeoutMs);
}

void RecordingTransport::CheckHealth(const QString& host, int port, int timeoutMs)
{
    m_inner->CheckHealth(host, port, timeoutMs);
}

std::vector<RecordedCall> RecordingTransport::calls() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<std::string> RecordingTransport::methods() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    names.reserve(m_calls.size());
    for (const RecordedCall& c : m_calls)
        names.push_back(c.shortMethod());
    return names;
}

void RecordingTransport::clear()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

} // namespace cht::framework
