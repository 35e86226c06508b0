// A real cht-server on loopback over a fresh database per test, on SQLite and on PostgreSQL.
#pragma once

#include "server/CancelaChtService.h"
#include "server/ChtKey.h"
#include "server/RpcServer.h"
#include "server/SessionService.h"
#include "server/Store.h"

#include "platform/wire/Wire.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace cht::server::test {

enum class Backend { Sqlite, Postgres };

/// The day the fixture's CHTs are generated around (an OLE day number).
constexpr std::int64_t kDay = 46000;

// Keys of the fixture's CHTs.
ChtKey key1(); // P1/01 001/001 00001 F1: pending, kDay 08:00, client C1
ChtKey key2(); // P1/01 001/001 00002 F2: approved, kDay 23:59:59.999, client C1
ChtKey key3(); // P2/01 001/001 00001 F,"3: billed, kDay-1 23:59, client C,2"x
ChtKey key4(); // P3/01 001/001 00001 F1: not to bill, kDay+1 00:00, client C3
ChtKey key5(); // P1/01 001/002 00001 F2: pending, kDay+5 12:00, client C1 (parcels)

/// The code of the client whose code holds a comma and a quote.
inline const std::string kOddClient = "C,2\"x";
inline const std::string kOddFunc = "F,\"3";

/// The password of the fixture's operators: DEMO manages C1 and C3, OUTRO the odd client.
inline const std::string kPassword = "senha-de-teste";

class ServerTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Calls a method of the remote object; the reply must be a well-formed JSON-RPC reply.
    wire::RpcResponse call(const std::string& method, std::vector<wire::RpcArg> params);
    /// A raw POST /rpc.
    httplib::Result post(const std::string& body);
    /// Signs in through Sessao.Entrar; the token, or empty with the refusal in *failure.
    std::string signIn(const std::string& operador, const std::string& password,
                       std::string* failure = nullptr);
    /// Makes the fixture's client carry this token (empty: none).
    void useToken(const std::string& token);
    /// Gives another client the session of the fixture's client.
    void authorize(httplib::Client& client) const;
    /// Moves the servers' clock (sessions, throttling, audit times) by milliseconds.
    void advance(std::int64_t ms) { m_now += ms; }
    /// Rows of the audit trail of one method, in order: "CHT|FIELD|OLD|NEW|OPERATOR".
    std::vector<std::string> auditRows(const std::string& method);
    wire::RpcResponse getCht(const std::string& clientes, const std::string& todosClientes,
                             const std::string& funcs, const std::string& todosFuncs,
                             double dataIni, double dataFin, const std::string& situacao);
    /// The NRSEQUCHT/NRPROPOSFAS/CDFUNC of every row of a CHT list, in order.
    static std::vector<std::string> ids(const wire::ColumnTable& list);
    static std::string id(const ChtKey& key);
    /// A key packet of the given CHTs.
    static wire::RpcArg keyPacket(const std::vector<ChtKey>& keys);
    /// The full row of a CHT from an all-inclusive GetCHT.
    std::vector<wire::Value> rowOf(const ChtKey& key);
    /// A delta packet of one update per row: old values as loaded, new values changed.
    static wire::RpcArg
    delta(const std::vector<std::pair<std::vector<wire::Value>, std::vector<wire::Value>>>& rows);
    static std::size_t field(const char* name);
    /// Stored status of a CHT ("" when it does not exist).
    std::string statusOf(const ChtKey& key);
    /// Asserts that the server still answers a simple call.
    void expectServing();
    /// Another server over the fixture's service with these options (on any free port), started.
    std::unique_ptr<RpcServer> serveWith(RpcServerOptions options);

    Store& store() { return *m_store; }
    int port() const { return m_port; }

    /// Derived suites that want an empty database clear it in their constructor.
    bool m_seed = true;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<CancelaChtService> m_service;
    std::unique_ptr<SessionService> m_sessions;
    std::atomic<std::int64_t> m_now{0};
    std::string m_token;
    /// The operator getCht and rowOf list for: the session's.
    std::string m_operador = "DEMO";
    std::unique_ptr<RpcServer> m_server;
    std::unique_ptr<httplib::Client> m_client;
    int m_port = 0;
    std::int64_t m_nextId = 1;
    std::string m_file;
    std::string m_adminUrl;
    std::string m_schema;
};

std::string describeBackend(const ::testing::TestParamInfo<Backend>& info);

/// Runs a program to its end and returns its exit code (-1 when killed); what it wrote on its
/// standard output and error goes to *output when given.
int runProgram(const std::vector<std::string>& args, std::string* output = nullptr);

} // namespace cht::server::test

/// A suite that only means something on one backend.
#define CHT_SQLITE_SUITE(Suite)                                                                    \
    INSTANTIATE_TEST_SUITE_P(Sqlite, Suite,                                                        \
                             ::testing::Values(::cht::server::test::Backend::Sqlite),              \
                             ::cht::server::test::describeBackend)
#define CHT_POSTGRES_SUITE(Suite)                                                                  \
    INSTANTIATE_TEST_SUITE_P(Postgres, Suite,                                                      \
                             ::testing::Values(::cht::server::test::Backend::Postgres),            \
                             ::cht::server::test::describeBackend)

#define CHT_SERVER_SUITE(Suite)                                                                    \
    INSTANTIATE_TEST_SUITE_P(Sqlite, Suite,                                                        \
                             ::testing::Values(::cht::server::test::Backend::Sqlite),              \
                             ::cht::server::test::describeBackend);                                \
    INSTANTIATE_TEST_SUITE_P(Postgres, Suite,                                                      \
                             ::testing::Values(::cht::server::test::Backend::Postgres),            \
                             ::cht::server::test::describeBackend)
