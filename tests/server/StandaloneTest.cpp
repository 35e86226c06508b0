// The pieces without a running server, and the cht-server program itself.
#include "ServerFixture.h"

#include "server/CancelaChtService.h"
#include "server/ChtRepository.h"
#include "server/Credentials.h"
#include "server/DemoData.h"
#include "server/RuleError.h"
#include "server/Schema.h"
#include "server/SessionService.h"
#include "server/SqlDate.h"
#include "server/SqlTransaction.h"
#include "server/SqliteStore.h"
#include "server/Store.h"
#include "server/StoreError.h"

#include "platform/wire/Wire.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cht::server::test {
namespace {

namespace fs = std::filesystem;
using wire::RpcArg;

std::string tempFile(const std::string& name)
{
    return (fs::temp_directory_path() / ("cht-" + name + "-" + std::to_string(::getpid()) + ".db"))
        .string();
}

void removeDb(const std::string& file)
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(file + suffix, ec);
}

TEST(SqlDate, RoundTripsToTheMillisecondAndReadsPostgresOutput)
{
    for (double ole : {46000.0, 46000.5, 46000.999988425925926, -1.25, 2.0 + 1.0 / 86400000}) {
        const std::string text = sqldate::fromOle(ole);
        EXPECT_NEAR(sqldate::toOle(text), ole, 0.6 / 86400000) << text;
    }
    EXPECT_EQ(sqldate::fromOle(46000.5), "2025-12-09 12:00:00.000");
    EXPECT_EQ(sqldate::fromDay(-1), "1899-12-29");
    EXPECT_DOUBLE_EQ(sqldate::toOle("2025-12-09"), 46000);
    EXPECT_DOUBLE_EQ(sqldate::toOle("2025-12-09 12:00:00"), 46000.5);
    EXPECT_DOUBLE_EQ(sqldate::toOle("2025-12-09 06:00:00.25"), 46000.25 + 0.25 / 86400);
    for (const char* bad : {"", "2025-12", "2025-13-01", "2025-12-09 1200", "2025-12-09 12:00:00x"})
        EXPECT_THROW(sqldate::toOle(bad), StoreError) << bad;
}

TEST(ChtRepository, HoursTexts)
{
    EXPECT_EQ(ChtRepository::hoursText(0), "00:00");
    EXPECT_EQ(ChtRepository::hoursText(65), "01:05");
    EXPECT_EQ(ChtRepository::hoursText(6000), "100:00");
    EXPECT_EQ(ChtRepository::hoursText(-30), "-00:30");
}

TEST(Schema, IsVersionedAndRefusesANewerDatabase)
{
    const std::string file = tempFile("schema");
    removeDb(file);
    {
        auto store = Store::open("sqlite:" + file, OpenMode::Create);
        auto lease = store->acquire();
        EXPECT_EQ(Schema::version(*lease), Schema::kLatestVersion);
    }
    {
        // Opening again migrates nothing and keeps the data.
        auto store = Store::open("sqlite:" + file, OpenMode::Create);
        auto lease = store->acquire();
        lease->exec("INSERT INTO FUNCIONARIO VALUES ('F1', 'Ana')");
        lease->exec("INSERT INTO SCHEMA_VERSION VALUES (99, 'do futuro')");
    }
    EXPECT_THROW(Store::open("sqlite:" + file), StoreError);
    removeDb(file);
    EXPECT_THROW(Store::open("mysql://x"), StoreError);
    EXPECT_THROW(Store::open("sqlite:"), StoreError);
}

// The write-ahead log is copied into the database by the store's own thread, not by the commit
// that fills it: the database file must still get the pages of each such commit, with every
// connection open and nothing else written.
TEST(SqliteStore, TheLogIsCopiedIntoTheDatabaseBesideTheCommits)
{
    const std::string file = tempFile("checkpoint");
    removeDb(file);
    auto size = [](const std::string& f) {
        std::error_code ec;
        const auto bytes = fs::file_size(f, ec);
        return ec ? std::uintmax_t{0} : bytes;
    };
    // Some 3,000 pages a commit (a row of 4,000 bytes fills a page): past the log's threshold,
    // short of where a commit would copy the log itself.
    constexpr std::uintmax_t kPageRows = 3000;
    {
        SqliteStore store(file, OpenMode::Create);
        auto lease = store.acquire();
        lease->exec("CREATE TABLE BIG (V BLOB)");
        for (int commit = 1; commit <= 5; ++commit) {
            {
                SqlTransaction tx(*lease);
                for (std::uintmax_t i = 0; i < kPageRows; ++i) {
                    SqlStatement& st = lease->cached("INSERT INTO BIG VALUES (zeroblob(4000))");
                    st.run();
                }
                tx.commit();
            }
            const auto expected = commit * kPageRows * 4096;
            for (int wait = 0; wait < 1000 && size(file) < expected; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_GE(size(file), expected) << "commit " << commit;
        }
    }
    removeDb(file);
}

TEST(Schema, MovingToVersionTwoFillsTheCdaDatesOfExistingChts)
{
    const std::string file = tempFile("schema-v1");
    removeDb(file);
    {
        SqliteStore store(file, OpenMode::Create);
        auto lease = store.acquire();
        Schema::migrate(*lease, 1);
        ASSERT_EQ(Schema::version(*lease), 1);
        lease->exec(
            "INSERT INTO CLIENTE VALUES ('C1', '11222333000181', 'Alfa', 'J', 'Alfa Ltda', 'DEMO');"
            "INSERT INTO FUNCIONARIO VALUES ('F1', 'Ana');"
            "INSERT INTO TIPOSERV VALUES ('001', 'Consultoria');"
            "INSERT INTO PROPOSTA VALUES ('P1', '01', 'C1', '01', NULL, 'M', 'H', NULL);"
            "INSERT INTO SERVCONT VALUES ('P1', '01', '001', '001', 'H', 100);"
            "INSERT INTO CHT (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC,"
            " DTINCLCHT, IDSTATUSCHT) VALUES"
            " ('P1', '01', '001', '001', '00001', 'F1', '2026-03-10 08:00:00.000', 'P'),"
            " ('P1', '01', '001', '001', '00002', 'F1', '2026-03-11 08:00:00.000', 'P');"
            "INSERT INTO CDA (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, CDFUNC, NRSEQUCHT,"
            " DTSERVPREST) VALUES ('P1', '01', '001', '001', 'F1', '00001', '2026-03-05'),"
            " ('P1', '01', '001', '001', 'F1', '00001', '2026-03-02'),"
            " ('P1', '01', '001', '001', 'F1', NULL, '2026-03-01');");
        Schema::migrate(*lease);
        EXPECT_EQ(Schema::version(*lease), Schema::kLatestVersion);
        auto st = lease->prepare("SELECT NRSEQUCHT, COALESCE(DTINICIOCDA, '-'),"
                                 " COALESCE(DTFIMCDA, '-') FROM CHT ORDER BY NRSEQUCHT");
        std::vector<std::string> rows;
        while (st->step()) {
            rows.push_back(std::string(st->text(0)) + " " + std::string(st->text(1)) + " " +
                           std::string(st->text(2)));
        }
        EXPECT_EQ(rows, (std::vector<std::string>{"00001 2026-03-02 2026-03-05", "00002 - -"}));
        // Version 3 makes every client manager an operator, without a password until an
        // administrator sets one: nobody signs in meanwhile.
        auto ops = lease->prepare("SELECT CDOPERADOR, IDATIVO, COALESCE(DSSENHAHASH, '-')"
                                  " FROM OPERADOR");
        ASSERT_TRUE(ops->step());
        EXPECT_EQ(std::string(ops->text(0)) + std::string(ops->text(1)) + std::string(ops->text(2)),
                  "DEMOS-");
        EXPECT_FALSE(ops->step());
    }
    {
        auto store = Store::open("sqlite:" + file);
        SessionService sessions(*store);
        EXPECT_THROW(sessions.signIn("DEMO", "", "127.0.0.1"), RuleError);
    }
    removeDb(file);
}

bool validCnpj(const std::string& n)
{
    if (n.size() != 14)
        return false;
    auto digit = [&](std::size_t len) {
        const int w[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
        int sum = 0;
        for (std::size_t i = 0; i < len; ++i)
            sum += (n[i] - '0') * w[i + 13 - len];
        int r = sum % 11;
        return r < 2 ? 0 : 11 - r;
    };
    return digit(12) == n[12] - '0' && digit(13) == n[13] - '0';
}

bool validCpf(const std::string& n)
{
    if (n.size() != 11)
        return false;
    auto digit = [&](std::size_t len) {
        int sum = 0;
        for (std::size_t i = 0; i < len; ++i)
            sum += (n[i] - '0') * static_cast<int>(len + 1 - i);
        int v = (sum * 10) % 11;
        return v == 10 ? 0 : v;
    };
    return digit(9) == n[9] - '0' && digit(10) == n[10] - '0';
}

class DemoDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_file = tempFile("demo");
        removeDb(m_file);
        m_store = Store::open("sqlite:" + m_file, OpenMode::Create);
    }
    void TearDown() override
    {
        m_store.reset();
        removeDb(m_file);
    }
    std::map<std::string, int> histogram(const std::string& sql)
    {
        std::map<std::string, int> out;
        auto lease = m_store->acquire();
        auto st = lease->prepare(sql);
        while (st->step())
            out[std::string(st->text(0))] = static_cast<int>(st->integer(1));
        return out;
    }
    std::string m_file;
    std::unique_ptr<Store> m_store;
};

TEST_F(DemoDataTest, CoversEveryCaseAndListsDemosPendingChtsOfToday)
{
    const std::int64_t today = 46000;
    DemoOptions options;
    options.chts = 400;
    options.passwordCost = HashCost::Minimal;
    options.today = today;
    {
        auto lease = m_store->acquire();
        auto summary = DemoData::generate(*lease, options);
        EXPECT_EQ(summary.chts, 400u);
        EXPECT_GT(summary.cdas, summary.chts);
        EXPECT_GT(summary.parcels, 0u);
        EXPECT_THROW(DemoData::generate(*lease, options), StoreError);
    }
    auto statuses = histogram("SELECT IDSTATUSCHT, COUNT(*) FROM CHT GROUP BY IDSTATUSCHT");
    for (const char* s : {"P", "A", "R", "N"})
        EXPECT_GT(statuses[s], 0) << s;
    auto situations = histogram("SELECT IDSITSERVPREST, COUNT(*) FROM CDA GROUP BY IDSITSERVPREST");
    for (const char* s : {"", "P", "C", "R"})
        EXPECT_GT(situations[s], 0) << "situação '" << s << "'";
    for (const char* column : {"IDASSINATURACLIENTE", "IDORIGINALENTREGUE"}) {
        auto marks =
            histogram(std::string("SELECT ") + column + ", COUNT(*) FROM CDA GROUP BY " + column);
        for (const char* m : {"S", "N", "X"})
            EXPECT_GT(marks[m], 0) << column << " " << m;
    }
    auto billing = histogram("SELECT IDTIPOCOBRSERV, COUNT(*) FROM SERVCONT GROUP BY 1");
    for (const char* b : {"H", "P", "F"})
        EXPECT_GT(billing[b], 0) << b;
    auto managers = histogram("SELECT CDGERENTEIMPCLI, COUNT(*) FROM CLIENTE GROUP BY 1");
    EXPECT_EQ(managers.size(), DemoData::operators().size());
    EXPECT_GT(managers["DEMO"], 0);
    {
        auto lease = m_store->acquire();
        auto st = lease->prepare("SELECT NRINSJURCLIE, IDTPIJURCLIE FROM CLIENTE");
        std::set<std::string> kinds;
        while (st->step()) {
            const std::string number(st->text(0));
            const std::string kind(st->text(1));
            kinds.insert(kind);
            EXPECT_TRUE(kind == "J" ? validCnpj(number) : validCpf(number)) << number;
        }
        EXPECT_EQ(kinds, (std::set<std::string>{"F", "J"}));
        // Every parcel belongs to a proposal with a service billed by parcels.
        auto orphan = lease->prepare(
            "SELECT COUNT(*) FROM VENCSERVCLIE V WHERE NOT EXISTS (SELECT 1 FROM SERVCONT S"
            " WHERE S.NRPROPOSFAS = V.NRPROPOSFAS AND S.NRVERPROPFAS = V.NRVERPROPFAS"
            " AND S.IDTIPOCOBRSERV = 'P')");
        ASSERT_TRUE(orphan->step());
        EXPECT_EQ(orphan->integer(0), 0);
    }
    // The filter's defaults (today, pending, everyone) list DEMO's rows.
    CancelaChtService service(*m_store);
    auto result = service.getCht({RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""),
                                  RpcArg::ofText("T"), RpcArg::ofNumber(today + 0.4),
                                  RpcArg::ofNumber(today + 0.4), RpcArg::ofText("_P_"),
                                  RpcArg::ofText("DEMO")},
                                 Caller{"DEMO", 0, {}, 0});
    auto list = wire::decodeDataPacket(result.dataJson);
    const auto manager = static_cast<std::size_t>(list.indexOf("CDGERENTEIMPCLI"));
    std::size_t demo = 0;
    for (std::size_t r = 0; r < list.rowCount(); ++r)
        demo += list.text(r, manager) == "DEMO" ? 1 : 0;
    EXPECT_GE(demo, 12u);
}

TEST_F(DemoDataTest, IsDeterministic)
{
    DemoOptions options;
    options.chts = 150;
    options.passwordCost = HashCost::Minimal;
    options.today = 46000;
    auto dump = [&](Store& store) {
        auto lease = store.acquire();
        DemoData::generate(*lease, options);
        CancelaChtService service(store);
        return service
            .getCht({RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""),
                     RpcArg::ofText("T"), RpcArg::ofNumber(0), RpcArg::ofNumber(100000),
                     RpcArg::ofText("_P_A_R_N_"), RpcArg::ofText("DEMO")},
                    Caller{"DEMO", 0, {}, 0})
            .dataJson;
    };
    const std::string other = tempFile("demo2");
    removeDb(other);
    auto second = Store::open("sqlite:" + other, OpenMode::Create);
    const std::string a = dump(*m_store);
    EXPECT_EQ(a, dump(*second));
    EXPECT_GT(a.size(), 1000u);
    second.reset();
    removeDb(other);
}

int freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

TEST(ChtServerProgram, MakesADatabaseOnlyWhenAsked)
{
    const std::string file = tempFile("create");
    removeDb(file);
    auto serve = [&](std::string& output) {
        return runProgram({"/usr/bin/timeout", "10", CHT_SERVER_EXE, "--db", "sqlite:" + file,
                           "--listen", "127.0.0.1:0", "--quiet"},
                          &output);
    };
    std::string output;
    EXPECT_EQ(serve(output), 1) << output;
    EXPECT_NE(output.find("não existe"), std::string::npos) << output;
    EXPECT_NE(output.find("--create"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(file));

    // A file without the tables (left empty by anything) is refused and left as it is.
    {
        std::ofstream touch(file);
    }
    output.clear();
    EXPECT_EQ(serve(output), 1) << output;
    EXPECT_NE(output.find("não tem as tabelas"), std::string::npos) << output;
    EXPECT_EQ(fs::file_size(file), 0u);

    // --create makes the tables and stops; a second --create changes nothing.
    for (int i = 0; i < 2; ++i) {
        output.clear();
        EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", "sqlite:" + file, "--create"}, &output), 0)
            << output;
    }
    {
        auto store = Store::open("sqlite:" + file);
        auto lease = store->acquire();
        EXPECT_EQ(Schema::version(*lease), Schema::kLatestVersion);
    }
    // --init-demo only fills a database without CHTs.
    EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", "sqlite:" + file, "--init-demo", "--chts", "20"}),
              0);
    output.clear();
    EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", "sqlite:" + file, "--init-demo"}, &output), 1)
        << output;
    removeDb(file);
}

TEST(ChtServerProgram, InitDemoServeAndStopCleanlyOnSigterm)
{
    const std::string file = tempFile("program");
    removeDb(file);
    ASSERT_EQ(runProgram({CHT_SERVER_EXE, "--db", "sqlite:" + file, "--init-demo", "--chts", "60"}),
              0);
    EXPECT_NE(runProgram({CHT_SERVER_EXE, "--bogus"}), 0);

    const int port = freePort();
    pid_t pid = ::fork();
    if (pid == 0) {
        std::string listen = "127.0.0.1:" + std::to_string(port);
        std::string db = "sqlite:" + file;
        ::execl(CHT_SERVER_EXE, CHT_SERVER_EXE, "--listen", listen.c_str(), "--db", db.c_str(),
                "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    httplib::Client client("127.0.0.1", port);
    bool up = false;
    for (int i = 0; i < 200 && !up; ++i) {
        auto res = client.Get("/health");
        up = res && res->status == 200;
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_TRUE(up) << "cht-server não subiu";
    // The demo operator signs in with the demo password, then calls with the session.
    wire::RpcRequest signIn;
    signIn.id = 1;
    signIn.method = "Sessao.Entrar";
    signIn.params = {RpcArg::ofText("demo"), RpcArg::ofText(DemoData::kDemoPassword)};
    auto in = client.Post("/rpc", wire::encodeRequest(signIn), "application/json");
    ASSERT_TRUE(in);
    const auto session = wire::decodeResponse(in->body);
    ASSERT_TRUE(session.ok && session.data) << session.failure << session.errorMessage;
    EXPECT_EQ(session.data->text(0, 1), "DEMO");
    client.set_bearer_token_auth(std::string(session.data->text(0, 0)));
    wire::RpcRequest request;
    request.id = 2;
    request.method = "COT09800.rdmCancelaCHT.GetData";
    auto res = client.Post("/rpc", wire::encodeRequest(request), "application/json");
    ASSERT_TRUE(res);
    EXPECT_TRUE(wire::decodeResponse(res->body).ok);

    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The sign-in is in the trail the administrator reads.
    std::string trail;
    EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", "sqlite:" + file, "--audit", "--operator", "demo",
                          "--since", "2000-01-01"},
                         &trail),
              0);
    EXPECT_NE(trail.find("Entrar"), std::string::npos) << trail;
    EXPECT_NE(trail.find("1 registro"), std::string::npos) << trail;
    removeDb(file);
}

// An administrator sets a password (read from standard input when it is not a terminal), and
// disables and enables operators; the password never shows in what the program prints.
TEST(ChtServerProgram, OperatorsAreManagedFromTheCommandLine)
{
    const std::string file = tempFile("operators");
    removeDb(file);
    const std::string db = "sqlite:" + file;
    ASSERT_EQ(runProgram({CHT_SERVER_EXE, "--db", db, "--create"}), 0);
    const std::string exe = CHT_SERVER_EXE;
    std::string output;
    EXPECT_EQ(runProgram({"/bin/sh", "-c",
                          "printf 'segredo-novo-1\\n' | '" + exe + "' --db '" + db +
                              "' --set-password joao.silva"},
                         &output),
              0)
        << output;
    EXPECT_EQ(output.find("segredo-novo-1"), std::string::npos);
    EXPECT_NE(runProgram({"/bin/sh", "-c",
                          "printf 'curta\\n' | '" + exe + "' --db '" + db +
                              "' --set-password joao.silva"}),
              0);
    EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", db, "--disable-operator", "JOAO.SILVA"}), 0);
    EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", db, "--enable-operator", "ninguem"}), 1);
    EXPECT_EQ(runProgram({CHT_SERVER_EXE, "--db", db, "--audit", "--set-password", "X"}), 2);
    {
        auto store = Store::open(db);
        auto lease = store->acquire();
        auto st = lease->prepare("SELECT IDATIVO, DSSENHAHASH FROM OPERADOR WHERE CDOPERADOR ="
                                 " 'JOAO.SILVA'");
        ASSERT_TRUE(st->step());
        EXPECT_EQ(st->text(0), "N");
        EXPECT_TRUE(Credentials::verifyPassword(std::string(st->text(1)), "segredo-novo-1"));
    }
    removeDb(file);
}

} // namespace
} // namespace cht::server::test
