// The transport every connection starts with: HTTP to the application server's /rpc and /health.
#pragma once

#include "module/contracts/Netconnection.h"

#include <mutex>
#include <string>

namespace cht::framework {

/// Each request runs on a worker thread while the UI thread waits without processing input
/// (runWhileUiWaits). Failures raise EServerError in Portuguese naming the server's address.
class HttpTransport : public TNetTransport {
public:
    std::string Post(const QString& host, int port, const std::string& body,
                     int timeoutMs) override;
    void CheckHealth(const QString& host, int port, int timeoutMs) override;
    /// Keeps the biggest reply's memory (up to a bound) for the next one: a long list's tens of
    /// megabytes are then not faulted in anew for each reload.
    void Recycle(std::string reply) override;

private:
    std::mutex m_spareMutex;
    std::string m_spare;
};

} // namespace cht::framework
