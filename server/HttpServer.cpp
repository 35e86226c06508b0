#include "HttpServer.h"

#include "TextPool.h"
#include "TlsContext.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <openssl/ssl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace cht::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

namespace {

// A body sent from the texts that make it up, as they lie: an answer's first text, then the
// texts that follow it.
struct PartsBody {
    struct value_type {
        std::string first;
        std::vector<std::string> more;

        value_type() = default;
        value_type(value_type&&) = default;
        value_type& operator=(value_type&&) = default;
        // Sent or not, a long answer's texts serve the next long answer.
        ~value_type()
        {
            TextPool::give(std::move(first));
            for (std::string& text : more)
                TextPool::give(std::move(text));
        }
    };

    static std::uint64_t size(const value_type& body)
    {
        std::uint64_t n = body.first.size();
        for (const std::string& text : body.more)
            n += text.size();
        return n;
    }

    class writer {
    public:
        using const_buffers_type = std::vector<asio::const_buffer>;

        template <bool isRequest, class Fields>
        writer(const http::header<isRequest, Fields>&, const value_type& body) : m_body(body)
        {}
        void init(beast::error_code& ec) { ec = {}; }
        boost::optional<std::pair<const_buffers_type, bool>> get(beast::error_code& ec)
        {
            ec = {};
            const_buffers_type buffers;
            buffers.reserve(1 + m_body.more.size());
            buffers.emplace_back(m_body.first.data(), m_body.first.size());
            for (const std::string& text : m_body.more)
                buffers.emplace_back(text.data(), text.size());
            return {{std::move(buffers), false}};
        }

    private:
        const value_type& m_body;
    };
};

constexpr const char* kBusy = "O servidor está ocupado. Tente novamente em instantes.";
// A connection closed after an answer gets this long to send what it still had in flight, so
// that the answer is not lost to a reset.
constexpr std::chrono::seconds kLinger{1};
// ... and reads at most this much of what it still sends (a body refused before it was read).
constexpr std::size_t kMaxDrain = 256 * 1024;
// A body is read this much at a time, at most.
constexpr std::size_t kBodyChunk = 64 * 1024;
// Room past a body's end, so that a JSON parser reads it where it lies instead of copying it.
constexpr std::size_t kBodyPadding = 64;

std::string mib(std::size_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

/// Runs tasks on a fixed set of threads; the queue is bounded and refuses instead of growing.
class WorkerPool {
public:
    WorkerPool(std::size_t threads, std::size_t depth) : m_depth(depth)
    {
        for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~WorkerPool() { stop(); }

    bool tryPost(std::function<void()>& task)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping || m_queue.size() >= m_depth)
                return false;
            m_queue.push_back(std::move(task));
        }
        m_wake.notify_one();
        return true;
    }

    void stop()
    {
        std::deque<std::function<void()>> dropped;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            dropped.swap(m_queue);
        }
        m_wake.notify_all();
        for (std::thread& t : m_threads)
            if (t.joinable())
                t.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
                if (m_stopping)
                    return;
                task = std::move(m_queue.front());
                m_queue.pop_front();
            }
            task();
        }
    }

    std::size_t m_depth;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

/// Bytes of request bodies in flight, all connections together.
class BodyBudget {
public:
    explicit BodyBudget(std::size_t limit) : m_limit(limit) {}
    bool take(std::size_t bytes)
    {
        std::size_t used = m_used.load();
        do {
            if (bytes > m_limit - std::min(used, m_limit))
                return false;
        } while (!m_used.compare_exchange_weak(used, used + bytes));
        return true;
    }
    void give(std::size_t bytes) { m_used -= bytes; }

private:
    std::size_t m_limit;
    std::atomic<std::size_t> m_used{0};
};

/// A share of the body budget, given back when it goes.
class BudgetHold {
public:
    BudgetHold() = default;
    BudgetHold(BodyBudget& budget, std::size_t bytes) : m_budget(&budget), m_bytes(bytes) {}
    BudgetHold(BudgetHold&& other) noexcept
        : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(other.m_bytes)
    {}
    BudgetHold& operator=(BudgetHold&& other) noexcept
    {
        release();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = other.m_bytes;
        return *this;
    }
    ~BudgetHold() { release(); }
    void release()
    {
        if (m_budget != nullptr)
            m_budget->give(m_bytes);
        m_budget = nullptr;
    }

private:
    BodyBudget* m_budget = nullptr;
    std::size_t m_bytes = 0;
};

struct Route {
    std::string method;
    std::string path;
    HttpServer::Handler handler;
};

} // namespace

std::string_view HttpRequest::header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (beast::iequals(key, beast::string_view(name.data(), name.size())))
            return value;
    return {};
}

namespace {

// What the connections share: limits, counters, the body budget, the workers, the I/O context.
struct Core {
    HttpLimits limits;
    HttpServer::Refusal refusal;
    HttpServer::Log log;
    // Null: plain HTTP.
    std::shared_ptr<TlsContext> tls;
    std::vector<Route> routes;

    mutable std::mutex connectionsMutex;
    std::size_t connections = 0;
    std::map<std::string, std::size_t> perAddress;

    std::mutex refusalLogMutex;
    Clock::time_point lastRefusalLog{};
    std::size_t refusalsSinceLog = 0;

    BodyBudget budget;
    WorkerPool pool;
    // Destroyed before the counters above: the sessions its pending handlers hold give their
    // connection back as they go.
    asio::io_context ioc;
    tcp::acceptor acceptor{ioc};
    int port = -1;
    std::thread background;
    std::atomic<bool> stopped{false};

    Core(HttpLimits l, HttpServer::Refusal r, HttpServer::Log lg, std::shared_ptr<TlsContext> t)
        : limits(l), refusal(std::move(r)), log(std::move(lg)), tls(std::move(t)),
          budget(l.bodyBudgetBytes), pool(l.workers, l.queueDepth),
          ioc(static_cast<int>(std::max<std::size_t>(l.ioThreads, 1)))
    {}

    // Reasons are logged at most every few seconds under a flood, with the count in between.
    void noteRefusal(const std::string& what)
    {
        if (!log)
            return;
        std::string line;
        {
            std::lock_guard lock(refusalLogMutex);
            const auto now = Clock::now();
            if (now - lastRefusalLog < std::chrono::seconds(5)) {
                ++refusalsSinceLog;
                return;
            }
            line = "http recusado: " + what;
            if (refusalsSinceLog > 0)
                line += " (e mais " + std::to_string(refusalsSinceLog) + " recusas antes desta)";
            lastRefusalLog = now;
            refusalsSinceLog = 0;
        }
        log(line);
    }

    // Counts a new connection in, or says why it is refused.
    std::string admit(const std::string& peer)
    {
        std::lock_guard lock(connectionsMutex);
        if (connections >= limits.maxConnections)
            return "limite de " + std::to_string(limits.maxConnections) + " conexões abertas";
        std::size_t& mine = perAddress[peer];
        if (mine >= limits.maxConnectionsPerAddress) {
            if (mine == 0)
                perAddress.erase(peer);
            return "limite de " + std::to_string(limits.maxConnectionsPerAddress) +
                   " conexões do endereço " + peer;
        }
        ++mine;
        ++connections;
        return {};
    }

    void release(const std::string& peer)
    {
        std::lock_guard lock(connectionsMutex);
        --connections;
        auto it = perAddress.find(peer);
        if (it != perAddress.end() && --it->second == 0)
            perAddress.erase(it);
    }

    const Route* findRoute(std::string_view target, std::string_view method, bool& pathKnown) const
    {
        const std::string_view path = target.substr(0, target.find('?'));
        pathKnown = false;
        for (const Route& r : routes) {
            if (r.path != path)
                continue;
            pathKnown = true;
            if (r.method == method)
                return &r;
        }
        return nullptr;
    }

    void accept();
};

/// One connection: reads a request under its deadlines, hands it to a worker, writes the answer,
/// and starts over while the client keeps the connection alive. The stream is a TCP one, or TLS
/// over it: the HTTP handling is the same; only the start (the handshake) and the orderly close
/// differ.
template <class Stream> class Session : public std::enable_shared_from_this<Session<Stream>> {
    static constexpr bool kTls = std::is_same_v<Stream, TlsStream>;
    using std::enable_shared_from_this<Session<Stream>>::shared_from_this;

public:
    /// `stream`: what the stream is made of (the socket, and for TLS the context).
    template <class... StreamArgs>
    Session(Core& server, std::string peer, bool counted, StreamArgs&&... stream)
        : m_server(server), m_stream(std::forward<StreamArgs>(stream)...), m_peer(std::move(peer)),
          m_counted(counted)
    {}
    ~Session()
    {
        if (m_counted)
            m_server.release(m_peer);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void start()
    {
        asio::dispatch(
            m_stream.get_executor(),
            [self = shared_from_this()] {
                if constexpr (kTls)
                    self->handshake();
                else
                    self->readHeader();
            });
    }

    /// Answers at once and closes: the connection is over a limit.
    void refuse(int status, const std::string& message)
    {
        asio::dispatch(
            m_stream.get_executor(),
            [self = shared_from_this(), status, message] {
                self->answer(self->m_server.refusal(status, message), true);
            });
    }

private:
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(m_stream); }

    // A client that opens a socket and says nothing holds it no longer than it may take to send
    // a header block.
    void handshake()
    {
        lowest().expires_after(
            std::min(m_server.limits.headerTimeout, m_server.limits.requestTimeout));
        m_stream.async_handshake(
            asio::ssl::stream_base::server,
            beast::bind_front_handler(&Session::onHandshake, shared_from_this()));
    }

    void onHandshake(beast::error_code ec)
    {
        if (!ec) {
            readHeader();
            return;
        }
        if (ec == beast::error::timeout) {
            m_server.noteRefusal("negociação TLS de " + m_peer + " não terminou no prazo");
            close();
            return;
        }
        m_server.noteRefusal("negociação TLS de " + m_peer + " falhou: " + ec.message());
        // Plain HTTP sent to this port: told so in plain HTTP, which is all it can read.
        if (ec.category() == asio::error::get_ssl_category() &&
            ERR_GET_REASON(static_cast<unsigned long>(ec.value())) == SSL_R_HTTP_REQUEST) {
            answerPlain(m_server.refusal(
                400, "Este servidor atende só por HTTPS: use https:// no endereço do servidor."));
            return;
        }
        close();
    }

    void answerPlain(HttpResponse out)
    {
        m_response = makeResponse(std::move(out), false);
        lowest().expires_after(m_server.limits.writeTimeout);
        http::async_write(lowest(), *m_response,
                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              self->m_response.reset();
                              if (ec)
                                  self->close();
                              else
                                  self->lingerTcp();
                          });
    }

    void readHeader()
    {
        const auto now = Clock::now();
        m_requestDeadline = now + m_server.limits.requestTimeout;
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(
            std::min<std::size_t>(m_server.limits.maxHeaderBytes, UINT32_MAX)));
        m_parser->body_limit(m_server.limits.maxBodyBytes);
        lowest().expires_at(std::min(now + m_server.limits.headerTimeout, m_requestDeadline));
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                beast::bind_front_handler(&Session::onHeader, shared_from_this()));
    }

    void onHeader(beast::error_code ec, std::size_t)
    {
        if (ec == http::error::body_limit) {
            // The declared length is over the limit: refused before a byte of the body is read.
            refuseRequest(413, "A requisição passa do limite de " +
                                   mib(m_server.limits.maxBodyBytes) + ".");
            return;
        }
        if (ec == http::error::header_limit) {
            refuseRequest(431, "Os cabeçalhos da requisição passam do limite de " +
                                   std::to_string(m_server.limits.maxHeaderBytes / 1024) + " KiB.");
            return;
        }
        if (ec) {
            // What came is not HTTP: say so. A deadline that passed or a client that left: no
            // one would read an answer.
            const bool notHttp =
                ec.category() == http::make_error_code(http::error::bad_target).category() &&
                ec != http::error::end_of_stream && ec != http::error::partial_message;
            if (notHttp)
                refuseRequest(400, "Requisição HTTP inválida.");
            else
                close();
            return;
        }
        auto& header = m_parser->get();
        m_version = header.version();
        bool pathKnown = false;
        const std::string_view target(header.target().data(), header.target().size());
        const std::string_view verb(header.method_string().data(), header.method_string().size());
        m_route = m_server.findRoute(target, verb, pathKnown);
        if (m_route == nullptr) {
            const std::string path(target.substr(0, target.find('?')));
            if (pathKnown)
                refuseRequest(405, "Método HTTP não aceito em " + path + ".");
            else
                refuseRequest(404, "Endereço desconhecido: " + path + ". Use POST /rpc.");
            return;
        }
        const auto length = m_parser->content_length();
        if (!length && m_parser->chunked()) {
            refuseRequest(411, "Informe o tamanho do corpo da requisição (Content-Length).");
            return;
        }
        const std::size_t bytes = length ? static_cast<std::size_t>(*length) : 0;
        if (bytes > m_server.limits.maxBodyBytes) {
            refuseRequest(413, "A requisição passa do limite de " +
                                   mib(m_server.limits.maxBodyBytes) + ".");
            return;
        }
        if (!m_server.budget.take(bytes)) {
            m_server.noteRefusal("requisições em trânsito passam de " +
                                 mib(m_server.limits.bodyBudgetBytes));
            refuseRequest(503, kBusy);
            return;
        }
        m_budget = BudgetHold(m_server.budget, bytes);
        if (bytes >= TextPool::kMinBytes)
            m_parser->get().body() = TextPool::take();
        if (bytes > 0)
            m_parser->get().body().reserve(bytes + kBodyPadding);
        lowest().expires_at(m_requestDeadline);
        if (m_parser->is_done()) {
            onBody({}, 0);
            return;
        }
        if (beast::iequals(header[http::field::expect], "100-continue")) {
            m_continue = std::make_unique<http::response<http::empty_body>>(http::status::continue_,
                                                                            m_version);
            http::async_write(m_stream, *m_continue,
                              [self = shared_from_this()](beast::error_code e, std::size_t) {
                                  self->m_continue.reset();
                                  if (e)
                                      self->close();
                                  else
                                      self->readBody();
                              });
            return;
        }
        readBody();
    }

    void readBody()
    {
        // Beast reads as much as the buffer has room for, and at least 512 bytes: left at the
        // size the header needed, it took a body of 14 MB in 27,000 reads of 512 bytes, each
        // with its poll and its timer set again. Room for up to 64 KiB of the body at a time.
        const std::uint64_t length = m_parser->content_length().value_or(0);
        m_buffer.reserve(m_buffer.size() +
                         static_cast<std::size_t>(std::min<std::uint64_t>(length, kBodyChunk)));
        http::async_read(m_stream, m_buffer, *m_parser,
                         beast::bind_front_handler(&Session::onBody, shared_from_this()));
    }

    void onBody(beast::error_code ec, std::size_t)
    {
        if (ec == http::error::body_limit) {
            m_budget.release();
            refuseRequest(413, "A requisição passa do limite de " +
                                   mib(m_server.limits.maxBodyBytes) + ".");
            return;
        }
        if (ec) {
            m_budget.release();
            close();
            return;
        }
        http::request<http::string_body> message = m_parser->release();
        m_parser.reset();
        // An idle connection keeps no more than the header needs.
        if (m_buffer.capacity() > kBodyChunk / 8)
            m_buffer.shrink_to_fit();
        m_keepAlive = message.keep_alive();
        HttpRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        for (const auto& field : message)
            request.headers.emplace_back(std::string(field.name_string()),
                                         std::string(field.value()));
        request.body = std::move(message.body());
        request.peer = m_peer;
        // No deadline while the worker has it: the client waits for the answer.
        lowest().expires_never();

        // The request and its share of the budget travel together; both are let go as soon as
        // the handler is done with them.
        struct Job {
            HttpRequest request;
            BudgetHold hold;
        };
        auto job = std::make_shared<Job>(Job{std::move(request), std::move(m_budget)});
        std::function<void()> task = [self = shared_from_this(), route = m_route, job] {
            HttpResponse response;
            try {
                response = route->handler(job->request);
            } catch (...) {
                response = self->m_server.refusal(500, "Erro interno do servidor.");
            }
            std::string().swap(job->request.body);
            job->hold.release();
            auto answer = std::make_shared<HttpResponse>(std::move(response));
            asio::post(self->m_stream.get_executor(),
                       [self, answer] { self->answer(std::move(*answer), false); });
        };
        if (!m_server.pool.tryPost(task)) {
            m_server.noteRefusal("fila de " + std::to_string(m_server.limits.queueDepth) +
                                 " requisições cheia");
            answer(m_server.refusal(503, kBusy), false);
        }
    }

    // An answer before the body was read: the connection cannot go on.
    void refuseRequest(int status, const std::string& message)
    {
        if (status != 503)
            m_server.noteRefusal(std::to_string(status) + " para " + m_peer + ": " + message);
        answer(m_server.refusal(status, message), true);
    }

    std::unique_ptr<http::response<PartsBody>> makeResponse(HttpResponse out, bool keepAlive) const
    {
        auto message = std::make_unique<http::response<PartsBody>>();
        message->version(m_version);
        message->result(static_cast<unsigned>(out.status));
        if (!out.contentType.empty())
            message->set(http::field::content_type, out.contentType);
        if (out.status == 503)
            message->set(http::field::retry_after, "1");
        message->body().first = std::move(out.body);
        message->body().more = std::move(out.more);
        message->keep_alive(keepAlive);
        message->prepare_payload();
        return message;
    }

    void answer(HttpResponse out, bool closeAfter)
    {
        m_response = makeResponse(std::move(out), m_keepAlive && !closeAfter);
        lowest().expires_after(m_server.limits.writeTimeout);
        http::async_write(m_stream, *m_response,
                          beast::bind_front_handler(&Session::onWritten, shared_from_this()));
    }

    void onWritten(beast::error_code ec, std::size_t)
    {
        const bool again = !ec && m_response->keep_alive();
        m_response.reset();
        if (again)
            readHeader();
        else if (ec)
            close();
        else
            lingerAndClose();
    }

    // TLS says it is done (close_notify) before the connection closes, so that the client can tell
    // a whole answer from a cut one; then as over plain TCP.
    void lingerAndClose()
    {
        if constexpr (kTls) {
            lowest().expires_after(kLinger);
            m_stream.async_shutdown(
                [self = shared_from_this()](beast::error_code) { self->lingerTcp(); });
        } else {
            lingerTcp();
        }
    }

    // Half-closes and reads what the client still sends for a moment, so that closing with
    // unread bytes does not reset the connection before the client has read the answer.
    void lingerTcp()
    {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        lowest().expires_after(kLinger);
        drain();
    }

    void drain()
    {
        lowest().async_read_some(
            asio::buffer(m_drain),
            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                self->m_drained += n;
                if (ec || self->m_drained > kMaxDrain)
                    self->close();
                else
                    self->drain();
            });
    }

    void close()
    {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    Core& m_server;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::unique_ptr<http::response<http::empty_body>> m_continue;
    std::unique_ptr<http::response<PartsBody>> m_response;
    std::array<char, 4096> m_drain{};
    std::size_t m_drained = 0;
    std::string m_peer;
    bool m_counted;
    const Route* m_route = nullptr;
    BudgetHold m_budget;
    Clock::time_point m_requestDeadline{};
    unsigned m_version = 11;
    bool m_keepAlive = false;
};

void Core::accept()
{
    acceptor.async_accept(
        asio::make_strand(ioc),
        [this](beast::error_code ec, tcp::socket socket) {
            if (!acceptor.is_open())
                return;
            if (ec) {
                // Out of descriptors, most likely: try again in a moment instead of spinning.
                noteRefusal("falha ao aceitar conexão: " + ec.message());
                auto timer =
                    std::make_shared<asio::steady_timer>(ioc, std::chrono::milliseconds(50));
                timer->async_wait([this, timer](beast::error_code) {
                    if (acceptor.is_open())
                        accept();
                });
                return;
            }
            beast::error_code peerError;
            // An answer goes out in one write: nothing to gain from holding its last segment.
            socket.set_option(tcp::no_delay(true), peerError);
            const auto endpoint = socket.remote_endpoint(peerError);
            const std::string peer = peerError ? std::string("?") : endpoint.address().to_string();
            const std::string refused = admit(peer);
            if (refused.empty() && tls) {
                std::make_shared<Session<TlsStream>>(*this, peer, true, std::move(socket),
                                                     tls->context())
                    ->start();
            } else if (refused.empty()) {
                std::make_shared<Session<beast::tcp_stream>>(*this, peer, true, std::move(socket))
                    ->start();
            } else if (tls) {
                // Over TLS an answer would cost a handshake, more than the refusal is worth: the
                // connection is closed at once.
                noteRefusal(refused);
                socket.close(peerError);
            } else {
                noteRefusal(refused);
                std::make_shared<Session<beast::tcp_stream>>(*this, peer, false, std::move(socket))
                    ->refuse(503, "O servidor atingiu o limite de conexões. Tente novamente em "
                                  "instantes.");
            }
            accept();
        });
}

} // namespace

struct HttpServer::Impl : Core {
    using Core::Core;
};

HttpServer::HttpServer(HttpLimits limits, Refusal refusal, Log log, std::shared_ptr<TlsContext> tls)
    : m_impl(std::make_unique<Impl>(limits, std::move(refusal), std::move(log), std::move(tls)))
{}

HttpServer::~HttpServer()
{
    stop();
}

void HttpServer::route(std::string method, std::string path, Handler handler)
{
    m_impl->routes.push_back({std::move(method), std::move(path), std::move(handler)});
}

int HttpServer::bind(const std::string& host, int port)
{
    Impl& impl = *m_impl;
    try {
        const auto address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host);
        const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
        impl.acceptor.open(endpoint.protocol());
        impl.acceptor.set_option(asio::socket_base::reuse_address(true));
        impl.acceptor.bind(endpoint);
        impl.acceptor.listen(asio::socket_base::max_listen_connections);
        impl.port = impl.acceptor.local_endpoint().port();
    } catch (const std::exception&) {
        beast::error_code ignored;
        impl.acceptor.close(ignored);
        throw std::runtime_error("Não foi possível escutar em " + host + ":" +
                                 std::to_string(port) + ".");
    }
    impl.accept();
    return impl.port;
}

void HttpServer::run()
{
    Impl& impl = *m_impl;
    std::vector<std::thread> extra;
    for (std::size_t i = 1; i < impl.limits.ioThreads; ++i)
        extra.emplace_back([&impl] { impl.ioc.run(); });
    impl.ioc.run();
    for (std::thread& t : extra)
        t.join();
}

void HttpServer::start()
{
    m_impl->background = std::thread([this] { run(); });
}

void HttpServer::stop()
{
    Impl& impl = *m_impl;
    if (impl.stopped.exchange(true))
        return;
    asio::post(impl.acceptor.get_executor(), [&impl] {
        beast::error_code ignored;
        impl.acceptor.close(ignored);
    });
    impl.ioc.stop();
    if (impl.background.joinable()) {
        impl.background.join();
        // No thread runs the context now: the acceptor can be closed from here.
        beast::error_code ignored;
        impl.acceptor.close(ignored);
    }
    impl.pool.stop();
}

int HttpServer::port() const
{
    return m_impl->port;
}

const HttpLimits& HttpServer::limits() const
{
    return m_impl->limits;
}

bool HttpServer::tls() const
{
    return m_impl->tls != nullptr;
}

std::size_t HttpServer::openConnections() const
{
    std::lock_guard lock(m_impl->connectionsMutex);
    return m_impl->connections;
}

} // namespace cht::server
