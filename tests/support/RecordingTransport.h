// A transport that records every call before passing it on, so that a test can assert which
// remote methods a screen called, in which order, with which arguments.
#pragma once

#include "module/contracts/Netconnection.h"

#include <mutex>

namespace cht::framework {

/// One recorded call: the full method name ("Object.Method") and its decoded arguments.
struct RecordedCall {
    std::string method;
    std::vector<cht::wire::RpcArg> params;
    /// Method name without the remote object's prefix ("GetCHT").
    std::string shortMethod() const;
};

class RecordingTransport : public TNetTransport {
public:
    /// Wraps `inner` (the HTTP transport when null).
    explicit RecordingTransport(std::shared_ptr<TNetTransport> inner = nullptr);

    std::string Post(const QString& host, int port, const std::string& body,
                     int timeoutMs) override;
    void CheckHealth(const QString& host, int port, int timeoutMs) override;

    /// Calls so far, oldest first. A call is recorded before it is sent, so a call that failed
    /// in transit is there too.
    std::vector<RecordedCall> calls() const;
    /// Short method names of the calls so far, oldest first.
    std::vector<std::string> methods() const;
    void clear();

private:
    std::shared_ptr<TNetTransport> m_inner;
    mutable std::mutex m_mutex;
    std::vector<RecordedCall> m_calls;
};

} // namespace cht::framework
