// HTTPS on the server's listener: the same calls and the same protections as HTTP (deadlines and
// caps before and after the handshake), TLS 1.2 at least, and a certificate or key that cannot be
// used stopping the server at start.
#include "RawConnection.h"
#include "ServerFixture.h"

#include "server/TlsContext.h"
#include "tests/support/TestCertificate.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace cht::server::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using cht::testing::TestCertificate;
using std::chrono::milliseconds;

milliseconds since(Clock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

/// A folder of its own with a certificate for localhost and 127.0.0.1 and its key.
class TlsFiles {
public:
    TlsFiles()
        : m_dir(fs::temp_directory_path() /
                ("cht-tls-" + std::to_string(::getpid()) + "-" + std::to_string(s_next++)))
    {
        fs::create_directories(m_dir);
        const auto made = TestCertificate::selfSigned({"localhost", "127.0.0.1"});
        made.write(cert(), key());
    }
    ~TlsFiles()
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::string cert() const { return path("cert.pem"); }
    std::string key() const { return path("key.pem"); }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path(name), std::ios::binary) << text;
    }

private:
    static inline int s_next = 0;
    fs::path m_dir;
};

/// A TLS handshake with the server, by a client that offers nothing newer than `maxVersion`
/// and would accept any protocol and cipher (security level 0): whether it completed.
bool handshakes(int port, int maxVersion)
{
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                          SSL_CTX_free);
    SSL_CTX_set_security_level(ctx.get(), 0);
    SSL_CTX_set_cipher_list(ctx.get(), "ALL:@SECLEVEL=0");
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_VERSION);
    SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    SSL* ssl = SSL_new(ctx.get());
    SSL_set_fd(ssl, fd);
    const bool done = SSL_connect(ssl) == 1;
    SSL_free(ssl);
    ::close(fd);
    return done;
}

class TlsTest : public ServerTest {
protected:
    /// A client of the HTTPS server that trusts the test's certificate.
    httplib::Client client(int port) const
    {
        httplib::Client c("https://localhost:" + std::to_string(port));
        c.set_ca_cert_path(m_files.cert());
        c.enable_server_certificate_verification(true);
        c.set_read_timeout(5, 0);
        authorize(c);
        return c;
    }

    TlsFiles m_files;
};

// Calls and the health check over HTTPS; a client that opens a socket and never starts the
// handshake is released at the header deadline, the per-address cap counts TLS connections, plain
// HTTP is told to use HTTPS, and nothing older than TLS 1.2 is spoken.
TEST_P(TlsTest, ServesHttpsUnderTheSameDeadlinesAndCaps)
{
    RpcServerOptions options;
    options.tls = TlsContext::load(m_files.cert(), m_files.key());
    options.limits.headerTimeout = milliseconds(1000);
    options.limits.maxConnectionsPerAddress = 2;
    auto server = serveWith(options);
    const int p = server->port();

    auto https = client(p);
    auto health = https.Get("/health");
    ASSERT_TRUE(health) << httplib::to_string(health.error());
    EXPECT_EQ(health->status, 200);
    const auto data = https.Post(
        "/rpc", wire::encodeRequest({1, "COT09800.rdmCancelaCHT.GetData", {}}), "application/json");
    ASSERT_TRUE(data);
    EXPECT_TRUE(wire::decodeResponse(data->body).ok) << data->body;
    // A list read in pieces goes out in parts, over TLS as over plain HTTP.
    ListSplit pieces;
    pieces.workers = 3;
    pieces.minRows = 1;
    m_service->setListSplit(pieces);
    const std::string list = wire::encodeRequest(
        {2,
         "COT09800.rdmCancelaCHT.GetCHT",
         {wire::RpcArg::ofText(""), wire::RpcArg::ofText("T"), wire::RpcArg::ofText(""),
          wire::RpcArg::ofText("T"), wire::RpcArg::ofNumber(kDay - 10),
          wire::RpcArg::ofNumber(kDay + 10), wire::RpcArg::ofText("_P_A_R_N_"),
          wire::RpcArg::ofText(m_operador)}});
    const auto overTls = https.Post("/rpc", list, "application/json");
    const auto plainList = post(list);
    ASSERT_TRUE(overTls && plainList);
    EXPECT_EQ(overTls->body, plainList->body);
    const wire::RpcResponse listed = wire::decodeResponse(overTls->body);
    ASSERT_TRUE(listed.data);
    EXPECT_EQ(listed.data->rowCount(), 5u);

    // Two silent sockets from one address take its places; a third is closed at once, long
    // before the deadline; the two are closed at the deadline.
    const auto start = Clock::now();
    RawConnection silent1(p, "127.0.0.2");
    RawConnection silent2(p, "127.0.0.2");
    ASSERT_TRUE(silent1.connected() && silent2.connected());
    RawConnection over(p, "127.0.0.2");
    EXPECT_TRUE(over.closedWithin(milliseconds(500)));
    EXPECT_LT(since(start), milliseconds(700));
    EXPECT_TRUE(silent1.closedWithin(milliseconds(2000)));
    EXPECT_TRUE(silent2.closedWithin(milliseconds(500)));
    EXPECT_GE(since(start), milliseconds(950));
    EXPECT_LT(since(start), milliseconds(2500));
    for (int i = 0; i < 100 && server->openConnections() > 0; ++i)
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(server->openConnections(), 0u);

    RawConnection plain(p);
    ASSERT_TRUE(plain.send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const std::string told = plain.receive(milliseconds(2000));
    EXPECT_EQ(told.rfind("HTTP/1.1 400", 0), 0u) << told;
    EXPECT_NE(told.find("use https://"), std::string::npos) << told;

    EXPECT_TRUE(handshakes(p, TLS1_2_VERSION));
    EXPECT_FALSE(handshakes(p, TLS1_1_VERSION));
    EXPECT_FALSE(handshakes(p, TLS1_VERSION));

    // Through all of it the server kept serving.
    auto again = https.Get("/health");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
}

CHT_SQLITE_SUITE(TlsTest);

// A certificate or key that cannot be used is a clear message at start and a non-zero exit,
// before the database is even opened.
TEST(ChtServerProgram, RefusesToStartWithACertificateOrKeyItCannotUse)
{
    TlsFiles files;
    const TestCertificate other = TestCertificate::selfSigned({"localhost"});
    files.write("other-key.pem", other.key);
    files.write("not-pem.pem", "isto não é um certificado\n");
    fs::create_directories(files.path("folder"));
    const std::string db = "sqlite:" + files.path("nenhum.db");
    struct Case {
        std::vector<std::string> tls;
        int exitCode;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--tls-cert", files.path("missing.pem"), "--tls-key", files.key()},
         1,
         "o arquivo não existe"},
        {{"--tls-cert", files.path("folder"), "--tls-key", files.key()},
         1,
         "não é um arquivo comum"},
        {{"--tls-cert", files.path("not-pem.pem"), "--tls-key", files.key()},
         1,
         "não contém um certificado no formato PEM"},
        {{"--tls-cert", files.cert(), "--tls-key", files.cert()},
         1,
         "não contém uma chave privada no formato PEM"},
        {{"--tls-cert", files.cert(), "--tls-key", files.path("other-key.pem")},
         1,
         "não corresponde ao certificado"},
        {{"--tls-cert", files.cert()}, 2, "vão juntos"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{CHT_SERVER_EXE, "--db", db, "--listen", "127.0.0.1:0"};
        args.insert(args.end(), c.tls.begin(), c.tls.end());
        std::string output;
        EXPECT_EQ(runProgram(args, &output), c.exitCode) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        // Refused before the database: not a word about it.
        EXPECT_EQ(output.find("nenhum.db"), std::string::npos) << output;
    }
}

} // namespace
} // namespace cht::server::test
