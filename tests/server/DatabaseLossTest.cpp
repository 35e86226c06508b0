// The SQLite file taken away from a running server: removed, made unreadable, replaced. Nothing is
// acknowledged that was not stored, no empty database appears, /health says so, and a restart
// refuses to start.
#include "ServerFixture.h"

#include "server/ChtRepository.h"
#include "server/SqlTransaction.h"
#include "server/StoreError.h"

#include <filesystem>

namespace cht::server::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class DatabaseLossTest : public ServerTest {
protected:
    /// A call that must be refused because of the database, naming no path and no SQL.
    void expectRefused(const std::string& method, std::vector<wire::RpcArg> params,
                       const std::string& reason)
    {
        auto reply = call(method, std::move(params));
        EXPECT_FALSE(reply.ok) << method;
        EXPECT_EQ(reply.errorCode, wire::kInternalError) << method;
        EXPECT_TRUE(contains(reply.errorMessage, reason)) << reply.errorMessage;
        EXPECT_TRUE(contains(reply.errorMessage, "(ocorrência ")) << reply.errorMessage;
        EXPECT_FALSE(contains(reply.errorMessage, m_file)) << reply.errorMessage;
        EXPECT_FALSE(contains(reply.errorMessage, fs::path(m_file).filename().string()));
    }
    /// GET /health: its status and body.
    std::pair<int, std::string> health()
    {
        auto res = m_client->Get("/health");
        if (!res)
            return {0, {}};
        return {res->status, res->body};
    }
    /// The exit code and output of cht-server started on the fixture's file (124 when it went
    /// on serving for ten seconds).
    int restart(std::string& output)
    {
        return runProgram({"/usr/bin/timeout", "10", CHT_SERVER_EXE, "--db", "sqlite:" + m_file,
                           "--listen", "127.0.0.1:0", "--quiet"},
                          &output);
    }
};

TEST_P(DatabaseLossTest, RemovedFileRefusesWritesAndReadsAndIsNeverRecreated)
{
    ASSERT_TRUE(call("GetData", {}).ok);
    EXPECT_EQ(health().first, 200);
    ASSERT_TRUE(fs::remove(m_file));

    expectRefused("ConfirmaCHT", {keyPacket({key1()})}, "o arquivo foi removido");
    expectRefused("CancelaCHT", {keyPacket({key2()})}, "o arquivo foi removido");
    auto list = getCht("", "T", "", "T", 0, 100000, "_P_A_R_N_");
    EXPECT_EQ(list.errorCode, wire::kInternalError);
    const auto [status, body] = health();
    EXPECT_EQ(status, 503);
    EXPECT_TRUE(contains(body, "\"reachable\":false")) << body;
    EXPECT_TRUE(contains(body, "\"sameFile\":false")) << body;
    EXPECT_TRUE(contains(body, "removido")) << body;
    EXPECT_FALSE(contains(body, m_file)) << body;
    EXPECT_FALSE(fs::exists(m_file)) << "o servidor criou um banco vazio";

    std::string output;
    EXPECT_EQ(restart(output), 1) << output;
    EXPECT_TRUE(contains(output, "não existe")) << output;
    EXPECT_TRUE(contains(output, "--create")) << output;
    EXPECT_FALSE(fs::exists(m_file)) << "a nova partida criou um banco vazio";
}

TEST_P(DatabaseLossTest, UnreadableFileRefusesUntilItIsReadableAgain)
{
    ASSERT_TRUE(call("GetData", {}).ok);
    fs::permissions(m_file, fs::perms::none);
    expectRefused("ConfirmaCHT", {keyPacket({key1()})}, "não pode mais ser lido ou gravado");
    const auto [status, body] = health();
    EXPECT_EQ(status, 503);
    EXPECT_TRUE(contains(body, "\"reachable\":false")) << body;
    EXPECT_TRUE(contains(body, "\"sameFile\":true")) << body;
    std::string output;
    EXPECT_EQ(restart(output), 1) << output;

    // The same file back in order: served again, without a restart.
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write);
    auto confirmed = call("ConfirmaCHT", {keyPacket({key1()})});
    EXPECT_TRUE(confirmed.ok) << confirmed.errorMessage;
    EXPECT_EQ(statusOf(key1()), "A");
    EXPECT_EQ(health().first, 200);
}

TEST_P(DatabaseLossTest, ReplacedFileIsNotServed)
{
    const std::string copy = m_file + ".copia";
    fs::copy_file(m_file, copy);
    fs::rename(copy, m_file);
    expectRefused("ConfirmaCHT", {keyPacket({key1()})}, "trocado por outro");
    const auto [status, body] = health();
    EXPECT_EQ(status, 503);
    EXPECT_TRUE(contains(body, "\"sameFile\":false")) << body;
}

// A write already under way when the file goes: its commit fails instead of landing in a file
// nobody will read again.
TEST_P(DatabaseLossTest, AWriteUnderWayFailsAtItsCommit)
{
    auto lease = store().acquire();
    SqlTransaction tx(*lease);
    ChtRepository::setStatus(*lease, key1(), "A");
    ASSERT_TRUE(fs::remove(m_file));
    try {
        tx.commit();
        ADD_FAILURE() << "a transação foi confirmada num arquivo removido";
    } catch (const StoreError& e) {
        EXPECT_TRUE(contains(e.forClient(), "o arquivo foi removido")) << e.forClient();
        EXPECT_TRUE(contains(e.what(), m_file)) << "o log guarda o caminho";
    }
}

CHT_SQLITE_SUITE(DatabaseLossTest);

} // namespace
} // namespace cht::server::test
