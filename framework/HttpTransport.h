// The transport every connection starts with: HTTP to the application server's /rpc and /health.
#pragma once

#include "module/contracts/Netconnection.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cht::framework {

class HttpConnection;

/// Each request runs on a worker thread while the UI thread waits without processing input
/// (runWhileUiWaits). Failures raise EServerError in Portuguese naming the server's address.
class HttpTransport : public TNetTransport {
public:
    HttpTransport();
    ~HttpTransport() override;
    std::string Post(const QString& host, int port, const std::string& body,
                     int timeoutMs) override;
    void CheckHealth(const QString& host, int port, int timeoutMs) override;
    /// Keeps the biggest reply's memory (up to a bound) for the next one: a long list's tens of
    /// megabytes are then not faulted in anew for each reload.
    void Recycle(std::string reply) override;

private:
    // Connections left open by calls that ended well, for the next calls to the same server: a
    // call then costs no connect (nor TLS handshake), and a long reply runs over a connection
    // whose windows have already grown.
    struct Idle {
        std::string key; // scheme, host, port and trusted authorities
        std::unique_ptr<HttpConnection> connection;
        std::chrono::steady_clock::time_point since;
    };
    std::unique_ptr<HttpConnection> take(const std::string& key);
    void giveBack(std::string key, std::unique_ptr<HttpConnection> connection);

    std::mutex m_spareMutex;
    std::string m_spare;
    std::mutex m_idleMutex;
    std::vector<Idle> m_idle;
};

} // namespace cht::framework
