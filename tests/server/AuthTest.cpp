// Sessions, the screen's rules enforced by the server, throttled sign-in and the audit trail.
#include "ServerFixture.h"

#include "server/Audit.h"
#include "server/ChtRepository.h"
#include "server/Operators.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <sstream>

namespace cht::server::test {
namespace {

using wire::RpcArg;
using wire::Value;

constexpr std::int64_t kMinuteMs = 60'000;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class AuthTest : public ServerTest {
protected:
    wire::RpcResponse confirm(const std::vector<ChtKey>& keys)
    {
        return call("ConfirmaCHT", {keyPacket(keys)});
    }
    std::int64_t count(const std::string& sql)
    {
        auto lease = store().acquire();
        auto st = lease->prepare(sql);
        return st->step() ? st->integer(0) : -1;
    }
    /// Every text the database holds in the tables of sessions, operators and the trail.
    std::string storedTexts()
    {
        std::string all;
        auto lease = store().acquire();
        for (const char* sql : {"SELECT DSTOKENHASH, CDOPERADOR, DSENDERECO FROM SESSAO",
                                "SELECT CDOPERADOR, NMOPERADOR, DSSENHAHASH FROM OPERADOR",
                                "SELECT CDOPERADOR, NMMETODO, DSVALORANTIGO, DSVALORNOVO"
                                " FROM AUDITORIA"}) {
            auto st = lease->prepare(sql);
            while (st->step())
                for (int c = 0; c < 4 && (c < 3 || contains(sql, "DSVALORNOVO")); ++c)
                    all += (st->isNull(c) ? std::string() : std::string(st->text(c))) + "\n";
        }
        return all;
    }
    std::vector<Value> withFlag(const ChtKey& key, const char* field, Value value)
    {
        auto row = rowOf(key);
        row[ServerTest::field(field)] = std::move(value);
        return row;
    }
};

// No token, a forged one, an expired one (idle, then absolute) and a revoked one: each refused as
// a call that needs a session, and nothing changes.
TEST_P(AuthTest, CallsWithoutAValidSessionAreRefusedAndChangeNothing)
{
    const std::string good = m_token;
    auto expectRefused = [&](const std::string& why) {
        auto reply = confirm({key1()});
        EXPECT_EQ(reply.errorCode, wire::kSessionRequired) << why;
        EXPECT_TRUE(contains(reply.errorMessage, "operador e senha")) << reply.errorMessage;
        EXPECT_EQ(statusOf(key1()), "P") << why;
    };
    useToken("");
    expectRefused("sem token");
    useToken(std::string(64, 'a'));
    expectRefused("token forjado");
    useToken(good.substr(0, 63) + (good.back() == '0' ? "1" : "0"));
    expectRefused("token alterado");

    // Idle: used within the idle limit it lives on; past it, it is gone.
    useToken(good);
    advance(59 * kMinuteMs);
    EXPECT_TRUE(call("GetData", {}).ok);
    advance(59 * kMinuteMs);
    EXPECT_TRUE(call("GetData", {}).ok);
    advance(61 * kMinuteMs);
    expectRefused("sessão ociosa");

    // Absolute: a session used all along still ends 12 hours after it began.
    useToken(signIn("DEMO", kPassword));
    for (int hour = 0; hour < 11; ++hour) {
        advance(59 * kMinuteMs);
        ASSERT_TRUE(call("GetData", {}).ok) << hour;
    }
    advance(62 * kMinuteMs);
    expectRefused("sessão vencida");

    // Signing out revokes the session.
    useToken(signIn("DEMO", kPassword));
    EXPECT_TRUE(call("GetData", {}).ok);
    EXPECT_TRUE(call("GetData", {}).ok);
    wire::RpcRequest out;
    out.id = 99;
    out.method = "Sessao.Sair";
    auto res = post(wire::encodeRequest(out));
    ASSERT_TRUE(res);
    EXPECT_TRUE(wire::decodeResponse(res->body).ok);
    expectRefused("sessão encerrada");

    // A disabled operator's sessions end with it.
    useToken(signIn("DEMO", kPassword));
    {
        auto lease = store().acquire();
        ASSERT_TRUE(Operators::setActive(*lease, "DEMO", false));
    }
    expectRefused("operador desativado");
    EXPECT_TRUE(auditRows("ConfirmaCHT").empty());
}

// A page of another site can make a browser post here: it names that site, or sends a form.
TEST_P(AuthTest, RequestsFromOtherSitesOrNotJsonAreRefused)
{
    const std::string body =
        wire::encodeRequest({1, "COT09800.rdmCancelaCHT.ConfirmaCHT", {keyPacket({key1()})}});
    httplib::Headers foreign{{"Host", "evil.example:8080"}};
    auto res = m_client->Post("/rpc", foreign, body, "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 421);
    EXPECT_EQ(wire::decodeResponse(res->body).errorCode, wire::kRequestRefused);
    res = m_client->Post("/rpc", body, "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 415);
    EXPECT_TRUE(contains(wire::decodeResponse(res->body).errorMessage, "application/json"));
    EXPECT_EQ(statusOf(key1()), "P");
    // The loopback names, any case, with or without a port, and the JSON type with a charset.
    for (const char* host : {"LOCALHOST", "127.0.0.1:1", "[::1]:8080", "localhost"}) {
        res = m_client->Post("/rpc", httplib::Headers{{"Host", host}},
                             wire::encodeRequest({2, "COT09800.rdmCancelaCHT.GetData", {}}),
                             "application/json; charset=utf-8");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << host;
    }
    // Names given to the server replace the defaults.
    RpcServerOptions named;
    named.allowedHosts = {"cht.empresa.local"};
    auto other = serveWith(named);
    EXPECT_TRUE(other->hostAllowed("CHT.empresa.local:8080"));
    EXPECT_FALSE(other->hostAllowed("localhost"));
    EXPECT_FALSE(other->hostAllowed(""));
}

// Approving and deleting are the client's manager's; one CHT of another manager refuses the whole
// call, naming it. The marks are anyone's; not billing is the manager's.
TEST_P(AuthTest, ChangesFollowTheScreensRules)
{
    useToken(signIn("outro", kPassword));
    m_operador = "OUTRO";
    auto approve = confirm({key5(), key1()});
    EXPECT_FALSE(approve.ok);
    EXPECT_TRUE(contains(approve.failure, key5().describe())) << approve.failure;
    EXPECT_TRUE(contains(approve.failure, "outro gerente")) << approve.failure;
    auto remove = call("CancelaCHT", {keyPacket({key1()})});
    EXPECT_FALSE(remove.ok);
    EXPECT_EQ(statusOf(key1()), "P");
    EXPECT_EQ(statusOf(key5()), "P");

    auto list = call("GetCHT", {RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""),
                                RpcArg::ofText("T"), RpcArg::ofNumber(0), RpcArg::ofNumber(100000),
                                RpcArg::ofText("_P_"), RpcArg::ofText("DEMO")});
    EXPECT_FALSE(list.ok);
    EXPECT_TRUE(contains(list.failure, "operador da sessão (OUTRO)")) << list.failure;

    const auto before = rowOf(key1());
    auto marks = call("SetCHT", {delta({{before, withFlag(key1(), "IDCHTASSINADA", "S")}})});
    EXPECT_TRUE(marks.ok) << marks.failure;
    auto notBilling = rowOf(key1());
    auto after = notBilling;
    after[field("IDSTATUSCHT")] = std::string("N");
    after[field("DSALTERACAOCHT")] = std::string("Cortesia");
    auto refused = call("SetCHT", {delta({{notBilling, after}})});
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(contains(refused.failure, key1().describe())) << refused.failure;
    EXPECT_EQ(statusOf(key1()), "P");
    EXPECT_EQ(auditRows("SetCHT"),
              std::vector<std::string>{Audit::keyText(key1()) + "|IDCHTASSINADA|N|S|OUTRO"});

    // The manager may.
    useToken(signIn("DEMO", kPassword));
    m_operador = "DEMO";
    EXPECT_TRUE(call("SetCHT", {delta({{rowOf(key1()), after}})}).ok);
    EXPECT_EQ(statusOf(key1()), "N");
}

// Each change writes its rows with it; a refused call writes none.
TEST_P(AuthTest, EveryChangeIsAuditedInItsTransaction)
{
    ASSERT_TRUE(confirm({key1(), key2()}).ok);
    // key2 was approved already: only key1 changed.
    EXPECT_EQ(auditRows("ConfirmaCHT"),
              std::vector<std::string>{Audit::keyText(key1()) + "|IDSTATUSCHT|P|A|DEMO"});
    // Billed key3 refuses the set: no row, nothing deleted.
    EXPECT_FALSE(call("CancelaCHT", {keyPacket({key5(), key3()})}).ok);
    EXPECT_TRUE(auditRows("CancelaCHT").empty());
    ASSERT_TRUE(call("CancelaCHT", {keyPacket({key5()})}).ok);
    EXPECT_EQ(auditRows("CancelaCHT"),
              std::vector<std::string>{Audit::keyText(key5()) + "|IDSTATUSCHT|P|-|DEMO"});

    auto row = rowOf(key4());
    auto changed = row;
    changed[field("IDCHTPGTOOK")] = std::string("S");
    changed[field("DSALTERACAOCHT")] = std::string("Garantia estendida");
    ASSERT_TRUE(call("SetCHT", {delta({{row, changed}})}).ok);
    EXPECT_EQ(auditRows("SetCHT"),
              (std::vector<std::string>{Audit::keyText(key4()) +
                                            "|DSALTERACAOCHT|Garantia|Garantia estendida|DEMO",
                                        Audit::keyText(key4()) + "|IDCHTPGTOOK|N|S|DEMO"}));
    // A conflict (the old value no longer stored) writes nothing.
    EXPECT_FALSE(call("SetCHT", {delta({{row, changed}})}).ok);
    EXPECT_EQ(auditRows("SetCHT").size(), 2u);
    // Every row names the session.
    EXPECT_EQ(count("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO IN ('ConfirmaCHT',"
                    " 'CancelaCHT', 'SetCHT') AND (NRSESSAO IS NULL OR DSENDERECO <> '127.0.0.1')"),
              0);

    // The table the administrator reads, filtered by CHT and operator.
    std::ostringstream out;
    AuditFilter filter;
    filter.cht = key4().nrProposFas + "/" + key4().nrVerPropFas;
    filter.operador = "demo";
    auto lease = store().acquire();
    EXPECT_EQ(Audit::print(*lease, filter, out), 2u);
    EXPECT_TRUE(contains(out.str(), "Garantia estendida")) << out.str();
    EXPECT_TRUE(contains(out.str(), "2 registros")) << out.str();
    filter.since = m_now.load() + kMinuteMs;
    std::ostringstream none;
    EXPECT_EQ(Audit::print(*lease, filter, none), 0u);
}

// Wrong password, unknown and disabled operators hear the same; five refusals of a code or from an
// address lock sign-in for 15 minutes, the right password included; then it opens again.
TEST_P(AuthTest, SignInRefusalsAreAlikeAndThrottled)
{
    {
        auto lease = store().acquire();
        ASSERT_TRUE(Operators::setActive(*lease, "OUTRO", false));
    }
    std::string wrong, unknown, disabled;
    EXPECT_TRUE(signIn("DEMO", "errada", &wrong).empty());
    EXPECT_TRUE(signIn("NINGUEM", kPassword, &unknown).empty());
    EXPECT_TRUE(signIn("OUTRO", kPassword, &disabled).empty());
    EXPECT_EQ(wrong, std::string(SessionService::kRefused));
    EXPECT_EQ(unknown, wrong);
    EXPECT_EQ(disabled, wrong);

    // Two more for DEMO make five from this address: locked for everyone here.
    advance(kMinuteMs);
    EXPECT_TRUE(signIn("DEMO", "errada").empty());
    EXPECT_TRUE(signIn("DEMO", "").empty());
    std::string locked;
    EXPECT_TRUE(signIn("DEMO", kPassword, &locked).empty());
    EXPECT_TRUE(contains(locked, "bloqueada")) << locked;
    EXPECT_TRUE(contains(locked, "15 minutos")) << locked;
    advance(14 * kMinuteMs);
    EXPECT_TRUE(signIn("DEMO", kPassword, &locked).empty());
    EXPECT_TRUE(contains(locked, "1 minuto.")) << locked;
    // Attempts while locked do not extend the lock.
    advance(kMinuteMs + 1000);
    EXPECT_FALSE(signIn("DEMO", kPassword).empty());
    EXPECT_EQ(count("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'EntrarRecusado'"), 5);
    EXPECT_EQ(count("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'EntrarBloqueado'"), 2);
    // Spread over more than the window, refusals lock nothing.
    for (int i = 0; i < 6; ++i) {
        advance(4 * kMinuteMs);
        EXPECT_TRUE(signIn("DEMO", "errada").empty());
    }
    EXPECT_FALSE(signIn("DEMO", kPassword).empty());
}

// Every sign-in reads the refusals of its code and of its address: through the indexes that hold
// refused sign-ins only, never through a scan of a trail that grows with every change.
TEST_P(AuthTest, ThrottlingReadsRefusalsThroughTheirIndexes)
{
    ASSERT_TRUE(confirm({key1()}).ok);
    EXPECT_TRUE(signIn("DEMO", "errada").empty());
    auto lease = store().acquire();
    const bool pg = lease->dialect() == Dialect::Postgres;
    if (pg)
        lease->exec("ANALYZE AUDITORIA; SET enable_seqscan = off");
    for (const bool byAddress : {false, true}) {
        std::string sql = SessionService::refusalsSql(byAddress);
        std::string plan;
        if (pg) {
            // EXPLAIN takes no parameters: the code (or address) and the time written in.
            for (const char* value : {"'DEMO'", "0"})
                sql.replace(sql.find('?'), 1, value);
            auto st = lease->prepare("EXPLAIN " + sql);
            while (st->step())
                plan += std::string(st->text(0)) + "\n";
        } else {
            auto st = lease->prepare("EXPLAIN QUERY PLAN " + sql);
            while (st->step())
                plan += std::string(st->text(3)) + "\n";
        }
        std::string index = byAddress ? "AUDITORIA_ENDERECO" : "AUDITORIA_OPERADOR";
        if (pg)
            std::transform(index.begin(), index.end(), index.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_TRUE(contains(plan, index)) << plan;
    }
    if (pg)
        lease->exec("RESET enable_seqscan");
}

// The database keeps only hashes: no token, no password in clear anywhere.
TEST_P(AuthTest, DatabaseNeverHoldsATokenOrAPassword)
{
    const std::string other = signIn("OUTRO", kPassword);
    ASSERT_FALSE(other.empty());
    EXPECT_TRUE(signIn("DEMO", "senha-errada-123").empty());
    const std::string texts = storedTexts();
    EXPECT_FALSE(contains(texts, m_token));
    EXPECT_FALSE(contains(texts, other));
    EXPECT_FALSE(contains(texts, kPassword));
    EXPECT_FALSE(contains(texts, "senha-errada-123"));
    EXPECT_TRUE(contains(texts, "$argon2id$"));
    EXPECT_GE(m_token.size() * 4, 128u);
    EXPECT_NE(m_token, other);
}

// Each call's log line names its operator; a sign-in's names the code tried, never the password.
TEST_P(AuthTest, LogLinesNameTheOperatorAndNeverThePassword)
{
    std::mutex mutex;
    std::vector<std::string> lines;
    RpcServerOptions options;
    options.log = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    auto logged = serveWith(options);
    httplib::Client client("127.0.0.1", logged->port());
    authorize(client);
    ASSERT_TRUE(client.Post("/rpc", wire::encodeRequest({1, "COT09800.rdmCancelaCHT.GetData", {}}),
                            "application/json"));
    httplib::Client anonymous("127.0.0.1", logged->port());
    ASSERT_TRUE(anonymous.Post(
        "/rpc",
        wire::encodeRequest({2, "Sessao.Entrar", {RpcArg::ofText("ana"), RpcArg::ofText("x9!k")}}),
        "application/json"));
    logged->stop();
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("GetData op=DEMO ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Sessao.Entrar op=ANA ", 0), 0u) << lines[1];
    EXPECT_TRUE(contains(lines[1], std::string(SessionService::kRefused))) << lines[1];
    EXPECT_FALSE(contains(lines[1], "x9!k"));
}

CHT_SERVER_SUITE(AuthTest);

} // namespace
} // namespace cht::server::test
