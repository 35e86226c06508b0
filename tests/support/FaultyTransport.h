// A transport that injects failures into chosen calls, so that a test can check what a screen
// does when the server fails at exactly that step.
#pragma once

#include "module/contracts/Netconnection.h"

#include <map>
#include <mutex>

namespace cht::framework {

class FaultyTransport : public TNetTransport {
public:
    /// Calls without a fault pass on to `inner` (the HTTP transport when null).
    explicit FaultyTransport(std::shared_ptr<TNetTransport> inner = nullptr);

    /// Call number `n` (1 is the first call through this transport) raises EServerError with
    /// `message` without reaching the server.
    void failCall(int n, const QString& message);
    /// Call number `n` is answered with the server's failure report `report`, as if the server
    /// had refused it (CheckResultServ raises it).
    void answerFailure(int n, const QString& report);
    /// Call number `n` is answered with `body` as it stands (malformed replies).
    void answerRaw(int n, std::string body);
    /// Every health check raises EServerError with `message`; an empty text lets them through.
    void failConnect(const QString& message);

    /// Calls that went through this transport so far, faulty ones included.
    int callCount() const;

    std::string Post(const QString& host, int port, const std::string& body,
                     int timeoutMs) override;
    void CheckHealth(const QString& host, int port, int timeoutMs) override;

private:
    struct Fault {
        enum class Kind { Raise, Failure, Raw } kind = Kind::Raise;
        QString text;
        std::string body;
    };

    std::shared_ptr<TNetTransport> m_inner;
    mutable std::mutex m_mutex;
    std::map<int, Fault> m_faults;
    QString m_connectFailure;
    int m_calls = 0;
};

} // namespace cht::framework
