#include "HttpConnection.h"

#include "NetMessages.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace cht::framework {

namespace {

using Deadline = HttpConnection::Deadline;
using Clock = HttpConnection::Clock;

// Large enough that a list of tens of megabytes takes a few hundred reads, small enough to stay
// in the cache between the read and its copy into the reply.
constexpr std::size_t kReadChunk = 256u << 10;
constexpr std::size_t kMaxHeadBytes = 64u << 10;
constexpr std::size_t kMaxChunkLine = 1024;
// No answer of this server comes near it; past it, the answer is refused rather than let grow.
constexpr std::uint64_t kMaxBodyBytes = 1ull << 30;

/// Waits until the socket is ready for `events` (or in error, which the next read or write
/// reports); false when the deadline passed first.
bool waitFor(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline.at)
            return false;
        // Rounded up: a wait of 0 with time left would spin.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline.at - now).count();
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (r > 0 || (r < 0 && errno != EINTR))
            return true;
    }
}

// OpenSSL writes to the socket with write(): a server that has gone away would raise SIGPIPE and
// end the host. A broken connection is an error of the call instead (unless someone set a handler).
void ignoreBrokenPipes()
{
    static const bool once = [] {
        struct sigaction current {};
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)once;
}

bool isAddressLiteral(const std::string& host)
{
    unsigned char buf[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buf) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// Why OpenSSL did not trust the server's certificate, in the operator's words.
QString distrust(long verifyResult, const ServerAddress& address, const QString& trustedCa)
{
    switch (verifyResult) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("ele não foi emitido para o nome \"%1\"").arg(address.host);
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("ele expirou");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("ele ainda não é válido (confira o relógio deste computador)");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return trustedCa.isEmpty()
                   ? QStringLiteral("ele não foi emitido por uma autoridade certificadora "
                                    "confiável deste computador (informe a autoridade do "
                                    "servidor com --ca)")
                   : QStringLiteral("ele não foi emitido pela autoridade certificadora de %1")
                         .arg(trustedCa);
    default:
        return QStringLiteral("a verificação falhou (%1)")
            .arg(QString::fromUtf8(X509_verify_cert_error_string(verifyResult)));
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(
                                       a.begin(), a.end(), b.begin(),
                                       [](char x, char y) {
                                           return std::tolower(static_cast<unsigned char>(x)) ==
                                                  std::tolower(static_cast<unsigned char>(y));
                                       });
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

/// Whether a comma-separated header value holds `token`.
bool hasToken(std::string_view value, std::string_view token)
{
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        if (equalsIgnoringCase(trimmed(value.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

[[noreturn]] void malformed(const char* what)
{
    net::raise(net::invalidReply(QString::fromUtf8(what)));
}

/// What the head of an answer says about its body and its connection.
struct Head {
    int status = 0;
    bool keepsOpen = false;
    bool chunked = false;
    bool hasLength = false;
    std::uint64_t length = 0;
};

Head parseHead(std::string_view head)
{
    Head h;
    std::size_t eol = head.find("\r\n");
    const std::string_view statusLine = head.substr(0, eol);
    // "HTTP/1.1 200 OK"
    const auto digit = [&](std::size_t i) { return statusLine[i] >= '0' && statusLine[i] <= '9'; };
    if (statusLine.size() < 12 || !statusLine.starts_with("HTTP/1.") ||
        (statusLine[7] != '0' && statusLine[7] != '1') || statusLine[8] != ' ' || !digit(9) ||
        !digit(10) || !digit(11) || (statusLine.size() > 12 && statusLine[12] != ' '))
        malformed("a primeira linha da resposta não é de HTTP/1.x.");
    const bool http10 = statusLine[7] == '0';
    h.status = (statusLine[9] - '0') * 100 + (statusLine[10] - '0') * 10 + (statusLine[11] - '0');
    bool close = false, keepAlive = false;
    while (eol != std::string_view::npos && eol + 2 < head.size()) {
        const std::size_t start = eol + 2;
        eol = head.find("\r\n", start);
        const std::string_view line = head.substr(start, eol - start);
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            malformed("uma linha do cabeçalho HTTP da resposta não tem nome e valor.");
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (equalsIgnoringCase(name, "Content-Length")) {
            std::uint64_t n = 0;
            if (value.empty() || value.size() > 19 ||
                !std::all_of(value.begin(), value.end(),
                             [](char c) { return c >= '0' && c <= '9'; }))
                malformed("Content-Length inválido.");
            for (char c : value)
                n = n * 10 + static_cast<std::uint64_t>(c - '0');
            if (h.hasLength && n != h.length)
                malformed("dois Content-Length diferentes.");
            h.hasLength = true;
            h.length = n;
        } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            if (!equalsIgnoringCase(value, "chunked"))
                malformed("codificação de transferência não suportada.");
            h.chunked = true;
        } else if (equalsIgnoringCase(name, "Connection")) {
            close = close || hasToken(value, "close");
            keepAlive = keepAlive || hasToken(value, "keep-alive");
        }
    }
    h.keepsOpen = !close && (!http10 || keepAlive);
    return h;
}

} // namespace

HttpConnection::Deadline HttpConnection::Deadline::after(int timeoutMs)
{
    return {Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 1)), timeoutMs};
}

struct HttpConnection::Impl {
    ServerAddress address;
    QString trustedCa;
    int fd = -1;
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    std::vector<char> chunk = std::vector<char>(kReadChunk);
    // Bytes read and not yet taken (the head's end, the start of the body).
    std::string in;
    std::size_t inAt = 0;

    ~Impl()
    {
        if (ssl)
            SSL_free(ssl);
        if (ctx)
            SSL_CTX_free(ctx);
        if (fd >= 0)
            ::close(fd);
    }

    [[noreturn]] void timedOut(const Deadline& d) const { net::raise(net::timedOut(d.timeoutMs)); }
    [[noreturn]] void lost() const
    {
        net::raise(net::connectionLost(address.server(), address.port));
    }

    void connect(const Deadline& deadline)
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const std::string host = address.host.toStdString();
        const std::string port = std::to_string(address.port);
        if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
            net::raise(net::cannotConnect(address.server(), address.port));
        std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, ::freeaddrinfo);
        for (addrinfo* a = found; a && fd < 0 && Clock::now() < deadline.at; a = a->ai_next) {
            const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                   a->ai_protocol);
            if (s < 0)
                continue;
            bool connected = ::connect(s, a->ai_addr, a->ai_addrlen) == 0;
            if (!connected && errno == EINPROGRESS && waitFor(s, POLLOUT, deadline)) {
                int error = 0;
                socklen_t size = sizeof error;
                connected = ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
            }
            if (connected)
                fd = s;
            else
                ::close(s);
        }
        if (fd < 0)
            net::raise(net::cannotConnect(address.server(), address.port));
        // A request goes out as head and body: Nagle would hold the body until the server's
        // delayed acknowledgement of the head, 40 ms later.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    void shakeHands(const Deadline& deadline)
    {
        ignoreBrokenPipes();
        ctx = SSL_CTX_new(TLS_client_method());
        if (!ctx)
            net::raise(QStringLiteral("Não foi possível preparar a conexão segura (HTTPS) com o "
                                      "servidor de aplicação em %1.")
                           .arg(address.display()));
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        const std::string ca = trustedCa.toStdString();
        const int loaded = ca.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                                      : SSL_CTX_load_verify_locations(ctx, ca.c_str(), nullptr);
        if (loaded != 1)
            net::raise(QStringLiteral("Os certificados das autoridades confiáveis não puderam ser "
                                      "carregados; nada foi enviado ao servidor em %1.")
                           .arg(address.display()));
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        ssl = SSL_new(ctx);
        if (!ssl || SSL_set_fd(ssl, fd) != 1)
            net::raise(QStringLiteral("Não foi possível preparar a conexão segura (HTTPS) com o "
                                      "servidor de aplicação em %1.")
                           .arg(address.display()));
        SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        // The certificate must name the host as the operator wrote it, address or name.
        const std::string host = address.host.toStdString();
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
        if (isAddressLiteral(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl, host.c_str());
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        }
        for (;;) {
            ERR_clear_error();
            const int r = SSL_connect(ssl);
            if (r == 1)
                return;
            const int e = SSL_get_error(ssl, r);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
                if (!waitFor(fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
                    timedOut(deadline);
                continue;
            }
            const long verify = SSL_get_verify_result(ssl);
            if (verify != X509_V_OK)
                net::raise(QStringLiteral("O certificado do servidor de aplicação em %1 não é "
                                          "confiável: %2. Nada foi enviado.")
                               .arg(address.display(), distrust(verify, address, trustedCa)));
            net::raise(QStringLiteral("Não foi possível estabelecer uma conexão segura (HTTPS) "
                                      "com o servidor de aplicação em %1. Confira se ele atende "
                                      "por HTTPS.")
                           .arg(address.display()));
        }
    }

    /// After a TLS call that did not complete: waits for what it wants; false past the deadline.
    bool waitForTls(int result, const Deadline& deadline, bool* end)
    {
        const int e = SSL_get_error(ssl, result);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
                timedOut(deadline);
            return true;
        }
        if (e == SSL_ERROR_ZERO_RETURN && end) {
            *end = true;
            return false;
        }
        lost();
    }

    void writeAll(std::string_view head, std::string_view body, const Deadline& deadline)
    {
        if (ssl) {
            for (std::string_view piece : {head, body}) {
                while (!piece.empty()) {
                    ERR_clear_error();
                    std::size_t written = 0;
                    const int r = SSL_write_ex(ssl, piece.data(), piece.size(), &written);
                    if (r == 1)
                        piece.remove_prefix(written);
                    else
                        waitForTls(r, deadline, nullptr);
                }
            }
            return;
        }
        // Head and body in one go, so that the body does not wait on a packet of its own.
        std::size_t done = 0;
        const std::size_t total = head.size() + body.size();
        while (done < total) {
            iovec pieces[2];
            int count = 0;
            if (done < head.size())
                pieces[count++] = {const_cast<char*>(head.data()) + done, head.size() - done};
            const std::size_t bodyDone = done > head.size() ? done - head.size() : 0;
            if (bodyDone < body.size())
                pieces[count++] = {const_cast<char*>(body.data()) + bodyDone,
                                   body.size() - bodyDone};
            msghdr message{};
            message.msg_iov = pieces;
            message.msg_iovlen = static_cast<std::size_t>(count);
            const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
            if (n >= 0) {
                done += static_cast<std::size_t>(n);
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!waitFor(fd, POLLOUT, deadline))
                    timedOut(deadline);
            } else if (errno != EINTR) {
                lost();
            }
        }
    }

    /// Up to `size` bytes into `to`; 0 at the end of the stream.
    std::size_t readSome(char* to, std::size_t size, const Deadline& deadline)
    {
        for (;;) {
            if (ssl) {
                ERR_clear_error();
                std::size_t got = 0;
                const int r = SSL_read_ex(ssl, to, size, &got);
                if (r == 1)
                    return got;
                bool end = false;
                if (!waitForTls(r, deadline, &end) && end)
                    return 0;
                continue;
            }
            // Read first: on a long answer the data is usually there already.
            const ssize_t n = ::recv(fd, to, size, 0);
            if (n >= 0)
                return static_cast<std::size_t>(n);
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!waitFor(fd, POLLIN, deadline))
                    timedOut(deadline);
            } else if (errno != EINTR) {
                lost();
            }
        }
    }

    /// Reads more into `in`; false at the end of the stream.
    bool readMore(const Deadline& deadline)
    {
        if (inAt > 0 && inAt == in.size()) {
            in.clear();
            inAt = 0;
        }
        const std::size_t n = readSome(chunk.data(), chunk.size(), deadline);
        in.append(chunk.data(), n);
        return n > 0;
    }

    std::string_view unread() const { return std::string_view(in).substr(inAt); }

    /// The answer's head, up to and without its blank line; the bytes past it stay in `in`.
    std::string readHead(const Deadline& deadline)
    {
        std::size_t searchFrom = 0;
        for (;;) {
            const std::string_view data = unread();
            const std::size_t end = data.find("\r\n\r\n", searchFrom);
            if (end != std::string_view::npos) {
                std::string head(data.substr(0, end + 2));
                inAt += end + 4;
                return head;
            }
            if (data.size() > kMaxHeadBytes)
                malformed("o cabeçalho HTTP da resposta é longo demais.");
            searchFrom = data.size() < 3 ? 0 : data.size() - 3;
            if (!readMore(deadline))
                lost();
        }
    }

    void checkSize(std::uint64_t size) const
    {
        if (size > kMaxBodyBytes)
            malformed("a resposta passa de 1 GiB.");
    }

    /// `length` bytes of body, those already read first.
    void readBody(std::uint64_t length, std::string& body, const Deadline& deadline)
    {
        const std::string_view ready = unread();
        const std::size_t first =
            static_cast<std::size_t>(std::min<std::uint64_t>(ready.size(), length));
        body.append(ready.data(), first);
        inAt += first;
        std::uint64_t left = length - first;
        while (left > 0) {
            const std::size_t n = readSome(
                chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), left)),
                deadline);
            if (n == 0)
                lost();
            body.append(chunk.data(), n);
            left -= n;
        }
    }

    /// One line of a chunked body (a size or a trailer), without its CRLF.
    std::string chunkLine(const Deadline& deadline)
    {
        for (;;) {
            const std::string_view data = unread();
            const std::size_t eol = data.find("\r\n");
            if (eol != std::string_view::npos) {
                std::string line(data.substr(0, eol));
                inAt += eol + 2;
                return line;
            }
            if (data.size() > kMaxChunkLine)
                malformed("linha de tamanho de bloco longa demais.");
            if (!readMore(deadline))
                lost();
        }
    }

    void readChunked(std::string& body, const Deadline& deadline)
    {
        for (;;) {
            const std::string line = chunkLine(deadline);
            const std::string_view digits =
                trimmed(std::string_view(line).substr(0, line.find(';')));
            if (digits.empty() || digits.size() > 15)
                malformed("tamanho de bloco inválido.");
            std::uint64_t size = 0;
            for (char c : digits) {
                const int v = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
                if (v < 0)
                    malformed("tamanho de bloco inválido.");
                size = size * 16 + static_cast<std::uint64_t>(v);
            }
            if (size == 0)
                break;
            checkSize(body.size() + size);
            readBody(size, body, deadline);
            if (!chunkLine(deadline).empty())
                malformed("bloco sem o fim de linha que o encerra.");
        }
        // Trailers, up to the blank line.
        while (!chunkLine(deadline).empty()) {
        }
    }

    void readToEnd(std::string& body, const Deadline& deadline)
    {
        body.append(unread());
        inAt = in.size();
        for (;;) {
            const std::size_t n = readSome(chunk.data(), chunk.size(), deadline);
            if (n == 0)
                return;
            body.append(chunk.data(), n);
            checkSize(body.size());
        }
    }
};

HttpConnection::HttpConnection(const ServerAddress& address, const std::string& trustedCa,
                               const Deadline& deadline)
    : m(std::make_unique<Impl>())
{
    m->address = address;
    m->trustedCa = QString::fromStdString(trustedCa);
    m->connect(deadline);
    if (address.https)
        m->shakeHands(deadline);
}

HttpConnection::~HttpConnection() = default;

HttpConnection::Answer HttpConnection::exchange(const Request& request, std::string& body,
                                                const std::function<void(std::uint64_t)>& sized,
                                                const Deadline& deadline)
{
    const ServerAddress& a = m->address;
    std::string head;
    head.reserve(256);
    head.append(request.method).append(" ").append(request.path).append(" HTTP/1.1\r\nHost: ");
    const std::string host = a.host.toStdString();
    if (host.find(':') != std::string::npos)
        head.append("[").append(host).append("]");
    else
        head.append(host);
    head.append(":").append(std::to_string(a.port)).append("\r\n");
    if (!request.contentType.empty())
        head.append("Content-Type: ").append(request.contentType).append("\r\n");
    if (!request.bearer.empty())
        head.append("Authorization: Bearer ").append(request.bearer).append("\r\n");
    if (request.method != "GET" || !request.body.empty())
        head.append("Content-Length: ").append(std::to_string(request.body.size())).append("\r\n");
    head.append("Connection: keep-alive\r\n\r\n");
    m->in.clear();
    m->inAt = 0;
    m->writeAll(head, request.body, deadline);

    Head h;
    do // an interim answer (100 Continue) is passed over
        h = parseHead(m->readHead(deadline));
    while (h.status >= 100 && h.status < 200);

    const bool noBody = h.status == 204 || h.status == 304;
    if (noBody) {
    } else if (h.chunked) {
        m->readChunked(body, deadline);
    } else if (h.hasLength) {
        m->checkSize(h.length);
        if (sized)
            sized(h.length);
        m->readBody(h.length, body, deadline);
    } else {
        // Neither length nor chunks: the body runs to the end of the connection.
        m->readToEnd(body, deadline);
        h.keepsOpen = false;
    }
    // Bytes past the answer were never asked for: the connection is not trusted again.
    return {h.status, h.keepsOpen && m->unread().empty()};
}

bool HttpConnection::idleAndOpen() const
{
    if (m->ssl && SSL_pending(m->ssl) > 0)
        return false;
    pollfd p{m->fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}

} // namespace cht::framework
