// The HTTP layer against hostile clients: slow headers and bodies, idle connections, too many
// connections, a full queue. A well-behaved caller keeps being answered, or is told at once.
#include "RawConnection.h"
#include "ServerFixture.h"

#include "server/SqlTransaction.h"
#include "server/TextPool.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

namespace cht::server::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kGetData =
    R"({"jsonrpc":"2.0","id":1,"method":"COT09800.rdmCancelaCHT.GetData","params":[]})";

milliseconds since(Clock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class HttpLayerTest : public ServerTest {
protected:
    /// POST /rpc of GetData to a server on `port`.
    httplib::Result getData(int port)
    {
        httplib::Client client("127.0.0.1", port);
        authorize(client);
        client.set_read_timeout(5, 0);
        return client.Post("/rpc", kGetData, "application/json");
    }
};

// Headers sent a byte at a time by many connections, from other client addresses: each costs the
// server a socket; a normal call and the health check still answer within a second.
TEST_P(HttpLayerTest, SlowHeadersOfManyConnectionsDoNotHoldANormalCall)
{
    const std::string header =
        "POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json"
        "\r\nContent-Length: 80\r\n";
    for (const std::size_t attackers : {std::size_t{16}, std::size_t{200}}) {
        std::vector<std::unique_ptr<RawConnection>> slow;
        for (std::size_t i = 0; i < attackers; ++i)
            slow.push_back(
                std::make_unique<RawConnection>(port(), "127.0.0." + std::to_string(2 + i % 4)));
        ASSERT_TRUE(std::all_of(slow.begin(), slow.end(), [](auto& c) { return c->connected(); }));
        std::atomic<bool> stop{false};
        std::thread dribbler([&] {
            for (std::size_t at = 0; !stop; ++at) {
                for (auto& c : slow)
                    c->send(header.substr(at % header.size(), 1));
                std::this_thread::sleep_for(milliseconds(100));
            }
        });
        milliseconds worst{0};
        int calls = 0;
        for (const auto start = Clock::now(); since(start) < milliseconds(3000); ++calls) {
            const auto before = Clock::now();
            auto reply = call("GetData", {});
            auto health = m_client->Get("/health");
            worst = std::max(worst, since(before));
            EXPECT_TRUE(reply.ok);
            EXPECT_TRUE(health && health->status == 200);
            std::this_thread::sleep_for(milliseconds(100));
        }
        // The slow ones were held open all along, not dropped.
        EXPECT_GE(m_server->openConnections(), attackers);
        stop = true;
        dribbler.join();
        EXPECT_GT(calls, 5);
        EXPECT_LT(worst, milliseconds(1000)) << attackers << " conexões lentas";
    }
}

TEST_P(HttpLayerTest, WholeRequestDeadlinesCloseSlowAndIdleConnections)
{
    RpcServerOptions options;
    options.limits.headerTimeout = milliseconds(400);
    options.limits.requestTimeout = milliseconds(1200);
    auto server = serveWith(options);
    const int p = server->port();

    // Headers that never end: closed at the header deadline, however steadily they come.
    RawConnection headers(p);
    auto start = Clock::now();
    for (const char c : std::string("POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: "))
        if (!headers.send(std::string(1, c)) || headers.closedWithin(milliseconds(50)))
            break;
    EXPECT_TRUE(headers.closedWithin(milliseconds(1000)));
    EXPECT_GE(since(start), milliseconds(350));
    EXPECT_LT(since(start), milliseconds(1100));

    // Prompt headers, then a body a byte at a time: closed at the deadline of the whole request.
    RawConnection body(p);
    start = Clock::now();
    ASSERT_TRUE(body.send("POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n"));
    for (int i = 0; i < 40 && body.send("{"); ++i)
        if (body.closedWithin(milliseconds(100)))
            break;
    EXPECT_TRUE(body.closedWithin(milliseconds(1000)));
    EXPECT_GE(since(start), milliseconds(1100));
    EXPECT_LT(since(start), milliseconds(2500));

    // A keep-alive connection answered, then idle: closed after the header deadline.
    RawConnection idle(p);
    ASSERT_TRUE(idle.send("POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json"
                          "\r\nAuthorization: Bearer " +
                          m_token + "\r\nContent-Length: " + std::to_string(kGetData.size()) +
                          "\r\n\r\n" + kGetData));
    const std::string answer = idle.receive(milliseconds(300));
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    start = Clock::now();
    EXPECT_TRUE(idle.closedWithin(milliseconds(1500)));
    EXPECT_LT(since(start), milliseconds(1000));

    // HTTP/1.0 (what the cht script's health probe speaks): answered, then closed.
    RawConnection old(p);
    ASSERT_TRUE(old.send("GET /health HTTP/1.0\r\n\r\n"));
    const std::string health = old.receive(milliseconds(1000));
    EXPECT_EQ(health.rfind("HTTP/1.0 200", 0), 0u) << health;
    EXPECT_TRUE(old.closedWithin(milliseconds(100)));
}

TEST_P(HttpLayerTest, ConnectionCapsPerAddressAndInAllAnswer503)
{
    RpcServerOptions options;
    options.limits.maxConnectionsPerAddress = 3;
    options.limits.maxConnections = 6;
    auto server = serveWith(options);
    const int p = server->port();

    std::vector<std::unique_ptr<RawConnection>> first;
    for (int i = 0; i < 3; ++i)
        first.push_back(std::make_unique<RawConnection>(p, "127.0.0.2"));
    RawConnection over(p, "127.0.0.2");
    const std::string refused = over.receive(milliseconds(1000));
    EXPECT_EQ(refused.rfind("HTTP/1.1 503", 0), 0u) << refused;
    EXPECT_NE(refused.find(std::to_string(wire::kServerBusy)), std::string::npos) << refused;
    EXPECT_TRUE(over.closedWithin(milliseconds(1500)));
    // Another address is still served.
    auto mine = getData(p);
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->status, 200);

    // All six places taken: everyone is told at once.
    std::vector<std::unique_ptr<RawConnection>> second;
    for (int i = 0; i < 3; ++i)
        second.push_back(std::make_unique<RawConnection>(p, "127.0.0.3"));
    auto full = getData(p);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->status, 503);
    EXPECT_EQ(wire::decodeResponse(full->body).errorCode, wire::kServerBusy);

    second.clear();
    for (int i = 0; i < 100 && server->openConnections() > 3; ++i)
        std::this_thread::sleep_for(milliseconds(10));
    auto again = getData(p);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
}

// One worker busy (waiting for the database's write lock), one request queued: the next is
// answered 503 at once instead of waiting; the first two complete once the lock is let go.
TEST_P(HttpLayerTest, FullQueueAnswers503AtOnce)
{
    RpcServerOptions options;
    options.limits.workers = 1;
    options.limits.queueDepth = 1;
    auto server = serveWith(options);
    const int p = server->port();

    auto lock = store().acquire();
    auto holder = std::make_unique<SqlTransaction>(*lock);
    auto confirm = std::async(std::launch::async, [&] {
        wire::RpcRequest r;
        r.id = 1;
        r.method = "COT09800.rdmCancelaCHT.ConfirmaCHT";
        r.params = {keyPacket({key1()})};
        httplib::Client client("127.0.0.1", p);
        authorize(client);
        client.set_read_timeout(30, 0);
        auto res = client.Post("/rpc", wire::encodeRequest(r), "application/json");
        return res ? wire::decodeResponse(res->body).ok : false;
    });
    std::this_thread::sleep_for(milliseconds(300));
    auto queued = std::async(std::launch::async, [&] {
        auto res = getData(p);
        return res ? res->status : 0;
    });
    std::this_thread::sleep_for(milliseconds(300));
    const auto start = Clock::now();
    auto busy = getData(p);
    EXPECT_LT(since(start), milliseconds(1000));
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->status, 503);
    EXPECT_EQ(busy->get_header_value("Retry-After"), "1");
    EXPECT_EQ(wire::decodeResponse(busy->body).errorCode, wire::kServerBusy);

    holder.reset();
    EXPECT_TRUE(confirm.get());
    EXPECT_EQ(queued.get(), 200);
    EXPECT_EQ(statusOf(key1()), "A");
}

TEST_P(HttpLayerTest, BodiesOverTheLimitOrTheBudgetAreRefusedBeforeTheyAreRead)
{
    RpcServerOptions options;
    options.limits.maxBodyBytes = 4096;
    options.limits.bodyBudgetBytes = 2048;
    auto server = serveWith(options);

    RawConnection huge(server->port());
    const auto start = Clock::now();
    ASSERT_TRUE(
        huge.send("POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000000\r\n\r\n"));
    const std::string tooBig = huge.receive(milliseconds(1000));
    EXPECT_LT(since(start), milliseconds(1000));
    EXPECT_EQ(tooBig.rfind("HTTP/1.1 413", 0), 0u) << tooBig;

    RawConnection overBudget(server->port());
    ASSERT_TRUE(
        overBudget.send("POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3000\r\n\r\n"));
    const std::string busy = overBudget.receive(milliseconds(1000));
    EXPECT_EQ(busy.rfind("HTTP/1.1 503", 0), 0u) << busy;

    RawConnection chunked(server->port());
    ASSERT_TRUE(chunked.send(
        "POST /rpc HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    EXPECT_EQ(chunked.receive(milliseconds(1000)).rfind("HTTP/1.1 411", 0), 0u);

    auto fits = getData(server->port());
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->status, 200);
}

CHT_SQLITE_SUITE(HttpLayerTest);

} // namespace
} // namespace cht::server::test

namespace cht::server::test {
namespace {

std::string textOf(std::size_t room, const char* content = "x")
{
    std::string text(content);
    text.reserve(room);
    return text;
}

// Long answers' memory is kept for the next ones, and only within the pool's bounds.
TEST(TextPool, KeepsLongTextsWithinItsBoundsAndHandsOutTheRoomiest)
{
    // An empty pool hands out a text with no room to speak of.
    while (TextPool::take().capacity() >= TextPool::kMinBytes) {
    }
    TextPool::give(textOf(1024));
    TextPool::give(textOf(TextPool::kMaxBytes + 1));
    EXPECT_EQ(TextPool::keptBytes(), 0u);

    TextPool::give(textOf(2u << 20, "resposta anterior"));
    TextPool::give(textOf(3u << 20));
    const std::string roomiest = TextPool::take();
    EXPECT_GE(roomiest.capacity(), 3u << 20);
    const std::string next = TextPool::take();
    EXPECT_GE(next.capacity(), 2u << 20);
    EXPECT_TRUE(next.empty());
    EXPECT_LT(TextPool::take().capacity(), TextPool::kMinBytes);

    // More texts than it keeps: the smallest make way, and the bytes stay within the bound.
    for (std::size_t i = 0; i <= TextPool::kMaxTexts; ++i)
        TextPool::give(textOf((2u << 20) + i * 4096));
    std::size_t kept = 0;
    std::size_t smallest = SIZE_MAX;
    while (true) {
        const std::string text = TextPool::take();
        if (text.capacity() < TextPool::kMinBytes)
            break;
        ++kept;
        smallest = std::min(smallest, text.capacity());
    }
    EXPECT_EQ(kept, TextPool::kMaxTexts);
    EXPECT_GE(smallest, (2u << 20) + 4096);
}

} // namespace
} // namespace cht::server::test
