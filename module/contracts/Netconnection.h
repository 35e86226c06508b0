// The socket connection to a named remote object of the application server, with late-bound
// calls by method name.
#pragma once

#include "cht_framework_export.h"
#include "platform/wire/Wire.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cht::framework {

/// A data packet as the screens hand it around: loaded into a client data set with
/// TClientDataSet::loadFromPacket.
using TDataPacket = cht::wire::ColumnTable;

/// One remote method's result, before CheckResultServ: either a packet or the server's failure
/// report.
struct TServerResult {
    bool ok = false;
    QString failure;
    std::optional<TDataPacket> data;
};

/// One positional argument of a late-bound call.
class CHT_FRAMEWORK_EXPORT TRemoteArg {
public:
    static TRemoteArg ByVal(const QString& text);
    /// By reference: the value the server leaves in it is written back after the call.
    static TRemoteArg ByRef(QString& text);
    static TRemoteArg ByRef(double& oleDateTime);
    /// A whole data packet (key packets), as TClientDataSet::dataPacket() writes it.
    static TRemoteArg Packet(std::string dataPacketJson);
    /// A change log, as TClientDataSet::delta() gives it.
    static TRemoteArg Delta(cht::wire::DeltaPacket delta);

    /// The value as it travels, shared: an argument list copies its arguments, and a delta of
    /// 100,000 rows is not to be copied for that.
    std::shared_ptr<const cht::wire::RpcArg> wire;
    QString* textRef = nullptr;
    double* numberRef = nullptr;
};

/// Sends one request body and returns the reply body; the seam through which tests record the
/// calls a screen makes or inject failures. Raises EServerError for transport failures.
class CHT_FRAMEWORK_EXPORT TNetTransport {
public:
    virtual ~TNetTransport() = default;
    virtual std::string Post(const QString& host, int port, const std::string& body,
                             int timeoutMs) = 0;
    /// Checks that the server at host:port answers (Open calls it); raises EServerError when it
    /// does not. A transport that reaches no real server has nothing to check.
    virtual void CheckHealth(const QString& host, int port, int timeoutMs)
    {
        (void)host;
        (void)port;
        (void)timeoutMs;
    }
    /// Takes back a reply of Post once it has been read, so that its memory may receive the
    /// next one; a transport that keeps nothing lets it go.
    virtual void Recycle(std::string reply) { (void)reply; }
};

class TNetConnection;

/// The remote server object of an open connection.
class CHT_FRAMEWORK_EXPORT TRemoteServer {
public:
    explicit TRemoteServer(TNetConnection& connection) : m_connection(connection) {}
    /// Invokes `method` on the connection's remote object. Protocol failures (unreachable
    /// server, timeout, malformed reply, unknown method) raise EServerError in Portuguese; a
    /// failure of the server's rules comes back in the result, for CheckResultServ.
    TServerResult Call(const QString& method, std::vector<TRemoteArg> args);

private:
    TNetConnection& m_connection;
};

class CHT_FRAMEWORK_EXPORT TNetConnection {
public:
    TNetConnection();
    ~TNetConnection();

    /// Name of the remote object, e.g. "COT09800.rdmCancelaCHT".
    QString ServerName;
    QString Host;
    int Port = 0;
    /// False: a failure to connect is shown by the connection itself and Open returns normally.
    bool ThrowException = true;
    /// Milliseconds a call may take before it fails.
    int TimeoutMs = 120000;
    /// Runs just before every connect; the place to set Host and Port.
    std::function<void(TNetConnection& sender)> BeforeConnect;

    /// Runs BeforeConnect, then checks that the server answers (GET /health).
    void Open();
    void Close();
    bool Connected() const { return m_connected; }
    /// The remote object; opens the connection first when it is closed.
    TRemoteServer AppServer();

    /// Replaces how requests travel (tests); null restores the HTTP transport.
    void SetTransport(std::shared_ptr<TNetTransport> transport);
    std::shared_ptr<TNetTransport> Transport() const { return m_transport; }
    /// The HTTP transport every connection starts with.
    static std::shared_ptr<TNetTransport> HttpTransport();

private:
    friend class TRemoteServer;
    /// Runs BeforeConnect and the health check; raises whatever ThrowException says.
    void openOrRaise();
    bool m_connected = false;
    std::int64_t m_nextId = 1;
    std::shared_ptr<TNetTransport> m_transport;
};

} // namespace cht::framework
