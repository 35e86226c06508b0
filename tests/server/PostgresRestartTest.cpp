// PostgreSQL restarted under a running server: the next request is served on a new connection; a
// request in flight fails with a clear message and leaves nothing half done. Needs the throwaway
// cluster of ./cht test, which says how to restart it in CHT_PG_RESTART.
#include "ServerFixture.h"

#include <cstdlib>
#include <future>
#include <thread>

namespace cht::server::test {
namespace {

class PostgresRestartTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        const char* command = std::getenv("CHT_PG_RESTART");
        if (command == nullptr || *command == '\0') {
            GTEST_SKIP() << "CHT_PG_RESTART não definido: só o cluster descartável de ./cht test"
                            " pode ser reiniciado por um teste";
        }
        m_restart = command;
    }
    void restartPostgres()
    {
        ASSERT_EQ(std::system((m_restart + " >/dev/null 2>&1").c_str()), 0)
            << "o PostgreSQL não reiniciou: " << m_restart;
    }
    bool listOk()
    {
        auto reply = getCht("", "T", "", "T", 0, 100000, "_P_A_R_N_");
        EXPECT_TRUE(reply.ok) << reply.errorMessage;
        return reply.ok && reply.data && reply.data->rowCount() == 5;
    }

    std::string m_restart;
};

TEST_P(PostgresRestartTest, TheNextRequestAfterARestartIsServed)
{
    ASSERT_TRUE(listOk());
    ASSERT_TRUE(call("ConfirmaCHT", {keyPacket({key1()})}).ok);
    restartPostgres();
    EXPECT_TRUE(listOk());
    auto confirmed = call("ConfirmaCHT", {keyPacket({key5()})});
    EXPECT_TRUE(confirmed.ok) << confirmed.errorMessage;
    EXPECT_EQ(statusOf(key5()), "A");
    auto health = m_client->Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200) << health->body;
}

// ConfirmaCHT approves key1, then waits for key5's row, held by another transaction: the restart
// comes while it is in flight.
TEST_P(PostgresRestartTest, ARequestInFlightFailsClearlyAndChangesNothing)
{
    ASSERT_TRUE(listOk());
    auto holder = store().acquire();
    holder->beginWrite();
    holder->prepare("SELECT 1 FROM CHT WHERE NRPROPOSFAS = 'P1' AND NRSERVCONT = '002' FOR UPDATE")
        ->run();
    auto inFlight = std::async(std::launch::async, [&] {
        return call("ConfirmaCHT", {keyPacket({key1(), key5()})});
    });
    ASSERT_EQ(inFlight.wait_for(std::chrono::milliseconds(700)), std::future_status::timeout)
        << "a chamada não esperou pela linha presa";
    restartPostgres();
    const wire::RpcResponse reply = inFlight.get();
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.errorCode, wire::kInternalError);
    EXPECT_NE(reply.errorMessage.find("perdida durante a operação"), std::string::npos)
        << reply.errorMessage;
    EXPECT_NE(reply.errorMessage.find("Nada foi alterado"), std::string::npos)
        << reply.errorMessage;
    EXPECT_EQ(statusOf(key1()), "P");
    EXPECT_EQ(statusOf(key5()), "P");
    // And the next call goes through.
    auto again = call("ConfirmaCHT", {keyPacket({key1(), key5()})});
    EXPECT_TRUE(again.ok) << again.errorMessage;
    EXPECT_EQ(statusOf(key1()), "A");
}

CHT_POSTGRES_SUITE(PostgresRestartTest);

} // namespace
} // namespace cht::server::test
