// HTTP/1.1 for the application server, on Boost.Beast over Asio. Connections are sockets served
// by a few I/O threads; a request goes to a worker only once it has arrived whole, so a slow or
// idle client costs a socket, never a worker.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cht::server {

class TlsContext;

struct HttpLimits {
    /// Threads that run the handlers.
    std::size_t workers = 16;
    /// Requests read whole and waiting for a worker; one more is answered 503 at once.
    std::size_t queueDepth = 64;
    /// Threads that move bytes (accept, read, parse, write); handlers never run on them.
    std::size_t ioThreads = 1;
    /// Open connections, in all and from one client address; one more gets 503 and is closed.
    std::size_t maxConnections = 1024;
    std::size_t maxConnectionsPerAddress = 64;
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxBodyBytes = 32u * 1024u * 1024u;
    /// Bodies being received or waiting for a worker, all connections together: a request whose
    /// declared length does not fit is answered 503 before its body is read.
    std::size_t bodyBudgetBytes = 512u * 1024u * 1024u;
    /// Counted from the moment a connection waits for a request: the whole header block must
    /// arrive within headerTimeout, the whole request (body included) within requestTimeout.
    /// A keep-alive connection that stays idle for headerTimeout is closed; over TLS the handshake
    /// must end within headerTimeout too, before the request's deadlines start.
    std::chrono::milliseconds headerTimeout{10000};
    std::chrono::milliseconds requestTimeout{60000};
    /// The client must take the whole answer within this.
    std::chrono::milliseconds writeTimeout{60000};
};

/// A request as it arrived, handed to a route's handler on a worker thread.
struct HttpRequest {
    std::string method;
    /// Path and query as sent.
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    /// The client's address.
    std::string peer;
    /// The value of a header (the name without regard to case), or empty.
    std::string_view header(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;
    /// Empty with status 204: nothing to answer.
    std::string body;
    /// The rest of the body, sent after `body` from where each text lies: tens of megabytes
    /// written in parts are not joined first.
    std::vector<std::string> more;
};

/// Serves routes (one method on one exact path). What the layer refuses by itself (an unknown
/// path, a body over the limit, a full queue, too many connections) is answered through the
/// refusal function, so that it speaks the application's format. Handlers run on the workers;
/// an exception from one becomes a 500 refusal.
///
/// With a TLS context every connection is HTTPS: the handshake comes first, under the header
/// deadline, and the same code serves the requests over it. A handler sees every header of its
/// request (Authorization, Host, Content-Type).
class HttpServer {
public:
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    using Refusal = std::function<HttpResponse(int status, const std::string& message)>;
    /// Receives a line when the layer refuses connections or requests (at most one a few seconds,
    /// with the count of the ones in between); may be empty.
    using Log = std::function<void(const std::string&)>;

    /// `tls` null: plain HTTP.
    HttpServer(HttpLimits limits, Refusal refusal, Log log, std::shared_ptr<TlsContext> tls = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    /// Before bind().
    void route(std::string method, std::string path, Handler handler);

    /// Listens on the address; returns the port (the chosen one for port 0). Throws
    /// std::runtime_error with a Portuguese message when the address cannot be bound.
    int bind(const std::string& host, int port);
    /// Serves on the calling thread (and ioThreads - 1 more) until stop().
    void run();
    /// Serves on background threads.
    void start();
    /// Stops accepting and serving; requests that wait for a worker are dropped, running ones
    /// finish. Returns once the threads of start() and the workers have ended.
    void stop();
    int port() const;
    const HttpLimits& limits() const;
    /// Whether it serves HTTPS.
    bool tls() const;
    /// Connections open now.
    std::size_t openConnections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace cht::server
