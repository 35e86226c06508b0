// Malformed requests, limits, health, concurrency: the server answers each and goes on serving.
#include "ServerFixture.h"

#include <atomic>
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
};

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
    RpcServer small(*m_service, options);
    const int p = small.bind();
    small.start();
    httplib::Client client("127.0.0.1", p);
    auto res = client.Post("/rpc", std::string(10000, ' '), "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    auto reply = wire::decodeResponse(res->body);
    EXPECT_EQ(reply.errorCode, wire::kInvalidRequest);
    EXPECT_NE(reply.errorMessage.find("limite"), std::string::npos) << reply.errorMessage;
    httplib::Client again("127.0.0.1", p);
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
