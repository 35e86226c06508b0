// Malformed requests, limits, health, concurrency: the server answers each and goes on serving.
#include "RawConnection.h"
#include "ServerFixture.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <thread>

namespace cht::server::test {
namespace {

using wire::RpcArg;

class ProtocolTest : public ServerTest {
protected:
    wire::RpcResponse raw(const std::string& body)
    {
        auto res = post(body);
        if (!res) {
            ADD_FAILURE() << "sem resposta";
            return {};
        }
        EXPECT_EQ(res->get_header_value("Content-Type").rfind("application/json", 0), 0u);
        return wire::decodeResponse(res->body);
    }
    /// A body answered with these answers, in order.
    void expectAnswers(const std::string& body, const std::vector<Answer>& expected)
    {
        auto res = post(body);
        ASSERT_TRUE(res) << body;
        EXPECT_EQ(res->status, 200) << body;
        EXPECT_EQ(answersOf(res->body), expected) << body << "\n" << res->body;
    }
    /// A body of notifications only: answered with nothing at all.
    void expectNoAnswer(const std::string& body)
    {
        auto res = post(body);
        ASSERT_TRUE(res) << body;
        EXPECT_EQ(res->status, 204) << body;
        EXPECT_EQ(res->body, "") << body;
    }
    /// A server over the fixture's service whose log lines land in `lines`.
    std::unique_ptr<RpcServer> serveLogging(std::vector<std::string>& lines, std::mutex& mutex)
    {
        RpcServerOptions options;
        options.log = [&](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
        return serveWith(options);
    }
    static std::string request(const std::string& method, const std::string& id,
                               const std::string& params = "[]")
    {
        return R"({"jsonrpc":"2.0","method":"COT09800.rdmCancelaCHT.)" + method + "\"" +
               (id.empty() ? std::string() : ",\"id\":" + id) + ",\"params\":" + params + "}";
    }
};

constexpr int kNotFound = wire::kMethodNotFound;
constexpr int kInvalid = wire::kInvalidRequest;

// The examples of the JSON-RPC 2.0 specification, word for word. This server has none of their
// methods: those calls come back as "method not found", with the id each was sent with.
TEST_P(ProtocolTest, JsonRpcSpecificationExamples)
{
    expectAnswers(R"({"jsonrpc": "2.0", "method": "subtract", "params": [42, 23], "id": 1})",
                  {{"1", kNotFound}});
    expectAnswers(
        R"({"jsonrpc": "2.0", "method": "subtract", "params": {"subtrahend": 23, "minuend": 42}, "id": 3})",
        {{"3", kNotFound}});
    expectNoAnswer(R"({"jsonrpc": "2.0", "method": "update", "params": [1,2,3,4,5]})");
    expectNoAnswer(R"({"jsonrpc": "2.0", "method": "foobar"})");
    expectAnswers(R"({"jsonrpc": "2.0", "method": "foobar", "id": "1"})", {{"\"1\"", kNotFound}});
    expectAnswers(R"({"jsonrpc": "2.0", "method": "foobar, "params": "bar", "baz])",
                  {{"null", wire::kParseError}});
    expectAnswers(R"({"jsonrpc": "2.0", "method": 1, "params": "bar"})", {{"null", kInvalid}});
    expectAnswers(R"([
  {"jsonrpc": "2.0", "method": "sum", "params": [1,2,4], "id": "1"},
  {"jsonrpc": "2.0", "method"
])",
                  {{"null", wire::kParseError}});
    expectAnswers("[]", {{"null", kInvalid}});
    expectAnswers("[1]", {{"null", kInvalid}});
    expectAnswers("[1,2,3]", {{"null", kInvalid}, {"null", kInvalid}, {"null", kInvalid}});
    expectAnswers(R"([
        {"jsonrpc": "2.0", "method": "sum", "params": [1,2,4], "id": "1"},
        {"jsonrpc": "2.0", "method": "notify_hello", "params": [7]},
        {"jsonrpc": "2.0", "method": "subtract", "params": [42,23], "id": "2"},
        {"foo": "boo"},
        {"jsonrpc": "2.0", "method": "foo.get", "params": {"name": "myself"}, "id": "5"},
        {"jsonrpc": "2.0", "method": "get_data", "id": "9"}
    ])",
                  {{"\"1\"", kNotFound},
                   {"\"2\"", kNotFound},
                   {"null", kInvalid},
                   {"\"5\"", kNotFound},
                   {"\"9\"", kNotFound}});
    expectNoAnswer(R"([
        {"jsonrpc": "2.0", "method": "notify_sum", "params": [1,2,4]},
        {"jsonrpc": "2.0", "method": "notify_hello", "params": [7]}
    ])");
    expectServing();
}

// The remote object's own methods the same way: ids of either kind, batches, notifications that
// run and answer nothing.
TEST_P(ProtocolTest, TheRemoteObjectSpeaksJsonRpcToAnyClient)
{
    expectAnswers(request("GetData", "\"a-1\""), {{"\"a-1\"", 0}});
    expectAnswers(request("GetData", "2.50"), {{"2.50", 0}});
    auto asSent = post(request("GetData", "1e2"));
    ASSERT_TRUE(asSent);
    EXPECT_NE(asSent->body.find("\"id\":1e2,"), std::string::npos) << asSent->body;
    expectAnswers(request("GetData", "null"), {{"null", 0}});
    expectAnswers(request("GetData", "7", R"({"a":1})"), {{"7", wire::kInvalidParams}});
    expectAnswers(request("GetCHT", "\"x\"", "[1]"), {{"\"x\"", wire::kInvalidParams}});

    const std::string key1Packet = wire::encodeDataPacket(keyPacket({key1()}).data);
    expectAnswers("[" + request("GetData", "1") + "," +
                      request("ConfirmaCHT", "", "[" + key1Packet + "]") + "," +
                      request("GetCHT", "\"x\"", "[1]") + "," + request("Apaga", "4") + "]",
                  {{"1", 0}, {"\"x\"", wire::kInvalidParams}, {"4", kNotFound}});
    EXPECT_EQ(statusOf(key1()), "A") << "a notificação não foi executada";
    const std::string key2Packet = wire::encodeDataPacket(keyPacket({key2()}).data);
    expectNoAnswer(request("CancelaCHT", "", "[" + key2Packet + "]"));
    EXPECT_EQ(statusOf(key2()), "");

    // A batch longer than the limit is refused whole, and none of it runs.
    std::string many = "[";
    for (int i = 0; i <= 100; ++i)
        many += (i > 0 ? "," : "") +
                request("ConfirmaCHT", std::to_string(i),
                        "[" + wire::encodeDataPacket(keyPacket({key5()}).data) + "]");
    expectAnswers(many + "]", {{"null", kInvalid}});
    EXPECT_EQ(statusOf(key5()), "P");
}

TEST_P(ProtocolTest, ABatchStopsRunningCallsOnceItsAnswersReachTheLimit)
{
    RpcServerOptions options;
    options.maxBatchReplyBytes = 1;
    auto server = serveWith(options);
    httplib::Client client("127.0.0.1", server->port());
    authorize(client);
    auto res = client.Post("/rpc",
                           "[" + request("GetData", "1") + "," + request("GetData", "2") + "," +
                               request("GetData", "3") + "]",
                           "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(answersOf(res->body),
              (std::vector<Answer>{{"1", 0}, {"2", wire::kServerBusy}, {"3", wire::kServerBusy}}))
        << res->body;
}

// A method name is the client's text: a line break in it must not start a line of the log.
TEST_P(ProtocolTest, ClientTextCannotForgeALogLine)
{
    std::vector<std::string> lines;
    std::mutex mutex;
    auto server = serveLogging(lines, mutex);
    httplib::Client client("127.0.0.1", server->port());
    authorize(client);
    for (const std::string forged : {"GetData\n2026-01-01 10:00:00 GetCHT rows=9 ms=1.0 ok",
                                     "GetData\r\x1b[2K\xc2\x85x\xe2\x80\xa8y"}) {
        wire::RpcRequest r;
        r.id = 1;
        r.method = "COT09800.rdmCancelaCHT." + forged;
        auto res = client.Post("/rpc", wire::encodeRequest(r), "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(wire::decodeResponse(res->body).errorCode, kNotFound);
    }
    server->stop();
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) {
            return c == '\n' || c == '\r' || c == '\x1b';
        })) << line;
        EXPECT_EQ(line.find("\xc2\x85"), std::string::npos) << line;
        EXPECT_EQ(line.find("\xe2\x80\xa8"), std::string::npos) << line;
    }
    EXPECT_NE(lines[0].find("\\n2026-01-01"), std::string::npos) << lines[0];
}

// The client learns that the database failed, with a code; the log line with the same code has
// the database's own words. Neither the file nor the SQL reaches the client.
TEST_P(ProtocolTest, DatabaseFailuresReachTheClientWithoutPathOrSql)
{
    std::vector<std::string> lines;
    std::mutex mutex;
    auto server = serveLogging(lines, mutex);
    {
        auto lease = store().acquire();
        lease->exec("DROP TABLE VENCSERVCLIE");
    }
    wire::RpcRequest r;
    r.id = 1;
    r.method = "COT09800.rdmCancelaCHT.GetParcVenc";
    r.params = {wire::RpcArg::ofText("C1"), wire::RpcArg::ofText("P1"), wire::RpcArg::ofText("01")};
    httplib::Client client("127.0.0.1", server->port());
    authorize(client);
    auto res = client.Post("/rpc", wire::encodeRequest(r), "application/json");
    ASSERT_TRUE(res);
    const auto reply = wire::decodeResponse(res->body);
    EXPECT_EQ(reply.errorCode, wire::kInternalError);
    std::string lower = reply.errorMessage;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* secret : {"vencservclie", "select", "sqlite", "postgres", "relation", "table"})
        EXPECT_EQ(lower.find(secret), std::string::npos) << reply.errorMessage;
    EXPECT_TRUE(m_file.empty() || reply.errorMessage.find(m_file) == std::string::npos)
        << reply.errorMessage;
    const auto at = reply.errorMessage.find("ocorrência ");
    ASSERT_NE(at, std::string::npos) << reply.errorMessage;
    const std::string code = reply.errorMessage.substr(at + std::string("ocorrência ").size(), 8);
    server->stop();
    std::lock_guard lock(mutex);
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(code) != std::string::npos;
    });
    ASSERT_NE(line, lines.end()) << "nenhuma linha do log tem a ocorrência " << code;
    std::string logged = *line;
    std::transform(logged.begin(), logged.end(), logged.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_NE(logged.find("vencservclie"), std::string::npos) << *line;
}

TEST_P(ProtocolTest, MalformedRequestsGetJsonRpcErrors)
{
    struct Case {
        std::string body;
        int code;
    };
    const std::vector<Case> cases = {
        {"", wire::kParseError},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":", wire::kParseError},
        {"\xff\xfe{}", wire::kParseError},
        {"[1", wire::kParseError},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"params\":[]}", wire::kInvalidRequest},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"COT09800.rdmCancelaCHT.GetData\","
         "\"params\":{}}",
         0},
    };
    for (const auto& c : cases) {
        auto reply = raw(c.body);
        if (c.code != 0)
            EXPECT_EQ(reply.errorCode, c.code) << c.body;
        else
            EXPECT_NE(reply.errorCode, 0) << c.body;
        EXPECT_FALSE(reply.errorMessage.empty()) << c.body;
        expectServing();
    }
}

TEST_P(ProtocolTest, UnknownObjectOrMethod)
{
    auto object = raw("{\"jsonrpc\":\"2.0\",\"id\":7,\"method\":\"COT09801.rdmOutro.GetData\","
                      "\"params\":[]}");
    EXPECT_EQ(object.errorCode, wire::kMethodNotFound);
    EXPECT_EQ(object.id, 7);
    EXPECT_NE(object.errorMessage.find("COT09801.rdmOutro"), std::string::npos)
        << object.errorMessage;
    auto method = call("ApagaTudo", {});
    EXPECT_EQ(method.errorCode, wire::kMethodNotFound);
    EXPECT_NE(method.errorMessage.find("ApagaTudo"), std::string::npos) << method.errorMessage;
    auto bare = raw("{\"jsonrpc\":\"2.0\",\"id\":8,\"method\":\"GetData\",\"params\":[]}");
    EXPECT_EQ(bare.errorCode, wire::kMethodNotFound);
    // Late-bound names do not depend on case.
    EXPECT_TRUE(call("getdata", {}).ok);
    expectServing();
}

TEST_P(ProtocolTest, OversizedBodyIsRefusedInJsonRpc)
{
    RpcServerOptions options;
    options.port = 0;
    options.limits.maxBodyBytes = 4096;
    RpcServer small(*m_service, *m_sessions, options);
    const int p = small.bind();
    small.start();
    httplib::Client client("127.0.0.1", p);
    authorize(client);
    auto res = client.Post("/rpc", std::string(10000, ' '), "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    auto reply = wire::decodeResponse(res->body);
    EXPECT_EQ(reply.errorCode, wire::kInvalidRequest);
    EXPECT_NE(reply.errorMessage.find("limite"), std::string::npos) << reply.errorMessage;
    httplib::Client again("127.0.0.1", p);
    authorize(again);
    auto ok = again.Post("/rpc",
                         "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":"
                         "\"COT09800.rdmCancelaCHT.GetData\",\"params\":[]}",
                         "application/json");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(wire::decodeResponse(ok->body).ok);
    small.stop();
}

TEST_P(ProtocolTest, HealthAndUnknownPaths)
{
    auto health = m_client->Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_NE(health->body.find("\"ok\""), std::string::npos);
    auto unknown = m_client->Get("/rpc.php");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    EXPECT_EQ(wire::decodeResponse(unknown->body).errorCode, wire::kInvalidRequest);
    auto wrongVerb = m_client->Get("/rpc");
    ASSERT_TRUE(wrongVerb);
    EXPECT_EQ(wrongVerb->status, 405);
    EXPECT_EQ(wire::decodeResponse(wrongVerb->body).errorCode, wire::kInvalidRequest);
    expectServing();
}

TEST_P(ProtocolTest, ConcurrentClientsAllServed)
{
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", port());
            authorize(client);
            for (int i = 0; i < 15; ++i) {
                wire::RpcRequest request;
                request.id = t * 100 + i;
                request.method = "COT09800.rdmCancelaCHT.GetCHT";
                request.params = {RpcArg::ofText(""),          RpcArg::ofText("T"),
                                  RpcArg::ofText(""),          RpcArg::ofText("T"),
                                  RpcArg::ofNumber(kDay - 5),  RpcArg::ofNumber(kDay + 5),
                                  RpcArg::ofText("_P_A_R_N_"), RpcArg::ofText("DEMO")};
                if (i % 3 == 0) {
                    request.method = "COT09800.rdmCancelaCHT.ConfirmaCHT";
                    request.params = {keyPacket({key2()})};
                }
                auto res = client.Post("/rpc", wire::encodeRequest(request), "application/json");
                if (!res || !wire::decodeResponse(res->body).ok)
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

CHT_SERVER_SUITE(ProtocolTest);

} // namespace
} // namespace cht::server::test
