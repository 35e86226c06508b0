// JSON-RPC 2.0 over HTTP or HTTPS for the remote object: POST /rpc, GET /health, on the HTTP
// layer of HttpServer (a slow client costs a socket; requests run on a bounded pool of workers).
#pragma once

#include "CancelaChtService.h"
#include "HttpServer.h"
#include "SessionService.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cht::server {

struct RpcServerOptions {
    std::string host = "127.0.0.1";
    int port = 8080; // 0: any free port
    HttpLimits limits;
    /// Calls in one batch; a longer batch is refused whole.
    std::size_t maxBatch = 100;
    /// Once a batch's answers reach this, its further calls are not run (they are answered as
    /// refused), so that one body cannot make an answer of unbounded size.
    std::size_t maxBatchReplyBytes = 64u * 1024u * 1024u;
    /// Receives one line per call and per refusal of the HTTP layer, control characters escaped;
    /// empty: no log.
    std::function<void(const std::string&)> log;
    /// The names (or addresses) the Host header may give, without the port; empty: the loopback
    /// names, and the listening address when it is a particular one. A page on another site that
    /// makes a browser post here names that site, and is refused.
    std::vector<std::string> allowedHosts;
    /// Serves HTTPS with this certificate and key instead of HTTP; null: HTTP.
    std::shared_ptr<TlsContext> tls;
};

/// Serves one CancelaChtService. Every failure becomes a JSON-RPC answer; nothing a client
/// sends stops the server. Failures of the database or of the server itself reach the client as
/// a short message with an occurrence code; the log line with the same code keeps the detail.
class RpcServer {
public:
    RpcServer(CancelaChtService& service, SessionService& sessions, RpcServerOptions options);
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    /// Binds the address; returns the port (the chosen one when the options say 0). Throws
    /// std::runtime_error with a Portuguese message when the address cannot be bound.
    int bind();
    /// Serves until stop(); call after bind().
    void run();
    /// Serves on background threads.
    void start();
    /// Stops serving and returns once the threads of start() and the workers have ended.
    void stop();
    int port() const;
    /// Connections open now.
    std::size_t openConnections() const;

    /// What one call of a body came to, for its log line.
    struct CallLog {
        std::string method = "-";
        /// The session's operator, or the code a sign-in tried; "-" when none.
        std::string operador = "-";
        std::size_t rows = 0;
        double ms = 0;
        std::string status; // "ok", "recusado: ...", "erro -32601: ..."
    };
    /// The answer to one request body (empty when it held notifications only) and its calls.
    struct Outcome {
        std::string reply;
        /// Texts of the answer after `reply`, to be sent as they are (a long list's parts).
        std::vector<std::string> more;
        std::vector<CallLog> calls;
    };
    /// What a body's calls run with besides itself.
    struct Context {
        /// The Authorization header as sent.
        std::string_view authorization;
        /// The client's address.
        std::string address;
    };
    /// `capacity`: bytes readable from body.data(), for reading a long body where it lies.
    Outcome handle(std::string_view body, const Context& context, std::size_t capacity = 0);
    /// Whether a Host header names this server (port and case aside).
    bool hostAllowed(std::string_view host) const;
    /// The database's state as GET /health reports it, and whether it is fit to serve.
    HttpResponse health();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace cht::server
