// The demo data on each store, served through the server; both stores give the same answers.
#include "ServerFixture.h"

#include "server/Audit.h"
#include "server/ChtListReader.h"
#include "server/DemoData.h"

#include <algorithm>

#include <filesystem>
#include <unistd.h>

namespace cht::server::test {
namespace {

using wire::RpcArg;

class DemoStoreTest : public ServerTest {
protected:
    DemoStoreTest() { m_seed = false; }

    static DemoOptions options()
    {
        DemoOptions o;
        o.chts = 300;
        o.today = kDay;
        o.passwordCost = HashCost::Minimal;
        return o;
    }
    static std::vector<RpcArg> everything()
    {
        return {RpcArg::ofText(""),          RpcArg::ofText("T"),   RpcArg::ofText(""),
                RpcArg::ofText("T"),         RpcArg::ofNumber(0),   RpcArg::ofNumber(100000),
                RpcArg::ofText("_P_A_R_N_"), RpcArg::ofText("DEMO")};
    }
};

TEST_P(DemoStoreTest, DefaultFilterListsDemosPendingChtsAndBothStoresAgree)
{
    {
        auto lease = store().acquire();
        DemoData::generate(*lease, options());
    }
    useToken(signIn("DEMO", DemoData::kDemoPassword));
    auto today = getCht("", "T", "", "T", kDay + 0.6, kDay + 0.6, "_P_");
    ASSERT_TRUE(today.ok) << today.failure << today.errorMessage;
    const auto& list = *today.data;
    const auto manager = static_cast<std::size_t>(list.indexOf("CDGERENTEIMPCLI"));
    const auto status = static_cast<std::size_t>(list.indexOf("IDSTATUSCHT"));
    std::size_t demo = 0;
    for (std::size_t r = 0; r < list.rowCount(); ++r) {
        EXPECT_EQ(list.text(r, status), "P");
        demo += list.text(r, manager) == "DEMO" ? 1 : 0;
    }
    EXPECT_GE(demo, 12u);

    // The same generation on a private SQLite file answers byte for byte alike.
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("cht-demo-ref-" + std::to_string(::getpid()) + ".db"))
                                 .string();
    std::filesystem::remove(file);
    std::string reference;
    {
        auto other = Store::open("sqlite:" + file, OpenMode::Create);
        {
            auto lease = other->acquire();
            DemoData::generate(*lease, options());
        }
        CancelaChtService service(*other);
        reference = service.getCht(everything(), Caller{"DEMO", 0, {}, 0}).dataJson;
    }
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(file + suffix);
    EXPECT_EQ(m_service->getCht(everything(), Caller{"DEMO", 0, {}, 0}).dataJson, reference);

    // The CDAs and parcels of the first CHT with parcels come through too.
    auto all = getCht("", "T", "", "T", 0, 100000, "_P_A_R_N_");
    const auto& t = *all.data;
    auto col = [&](const char* n) { return static_cast<std::size_t>(t.indexOf(n)); };
    bool sawParcels = false;
    for (std::size_t r = 0; r < t.rowCount() && !sawParcels; ++r) {
        if (t.text(r, col("IDTIPOCOBRSERV")) != "P")
            continue;
        auto parcels =
            call("GetParcVenc", {RpcArg::ofText(std::string(t.text(r, col("CDCLIENTE")))),
                                 RpcArg::ofText(std::string(t.text(r, col("NRPROPOSFAS")))),
                                 RpcArg::ofText(std::string(t.text(r, col("NRVERPROPFAS"))))});
        ASSERT_TRUE(parcels.ok);
        EXPECT_GE(parcels.data->rowCount(), 3u);
        std::vector<RpcArg> args;
        for (const char* n : {"CDCLIENTE", "CDFUNC", "CDTIPOSERV", "NRPROPOSFAS", "NRVERPROPFAS",
                              "NRSEQUCHT", "CDEMPRESA", "NRSERVCONT"})
            args.push_back(RpcArg::ofText(std::string(t.text(r, col(n)))));
        auto cdas = call("GetConsultaCSA", std::move(args));
        ASSERT_TRUE(cdas.ok);
        EXPECT_GE(cdas.data->rowCount(), 1u);
        sawParcels = true;
    }
    EXPECT_TRUE(sawParcels);
}

TEST_P(DemoStoreTest, LongListsReadInPiecesEqualTheListQuery)
{
    {
        auto lease = store().acquire();
        DemoData::generate(*lease, options());
    }
    // minRows 1: every list is long (joined in memory, in pieces); a huge minRows: the query.
    // The pieces copied into one text, or kept apart as the server sends them.
    auto packet = [&](const ChtFilter& filter, unsigned workers, std::size_t minRows) {
        ListSplit split;
        split.workers = workers;
        split.minRows = minRows;
        std::string out;
        wire::PacketWriter writer(out);
        const std::size_t rows = ChtListReader::write(store(), filter, writer, split);
        EXPECT_EQ(wire::decodeDataPacket(out).rowCount(), rows);
        std::string joined;
        std::vector<std::string> apart;
        {
            wire::PacketWriter partsWriter(joined, &apart);
            EXPECT_EQ(ChtListReader::write(store(), filter, partsWriter, split), rows);
        }
        for (const std::string& text : apart)
            joined += text;
        EXPECT_TRUE(joined == out) << workers << " peças";
        return out;
    };
    ChtFilter all;
    all.firstDay = kDay - 400;
    all.lastDay = kDay + 400;
    all.situacao = "_P_A_R_N_";
    const auto whole = wire::decodeDataPacket(packet(all, 1, 1u << 30));
    ASSERT_GT(whole.rowCount(), 200u);
    // Some clients and some employees of the list, for the filtered variants.
    auto some = [&](const char* field) {
        std::vector<std::string> picked;
        const auto col = static_cast<std::size_t>(whole.indexOf(field));
        for (std::size_t r = 0; r < whole.rowCount() && picked.size() < 3; ++r) {
            std::string v(whole.text(r, col));
            if (std::find(picked.begin(), picked.end(), v) == picked.end())
                picked.push_back(v);
        }
        return picked;
    };
    ChtFilter byClient = all;
    byClient.allClients = false;
    byClient.clients = some("CDCLIENTE");
    byClient.situacao = "_P_R_";
    ChtFilter byEmployee = all;
    byEmployee.allFuncs = false;
    byEmployee.funcs = some("CDFUNC");
    ChtFilter oneDay = all;
    oneDay.firstDay = oneDay.lastDay = kDay;
    for (const ChtFilter& filter : {all, byClient, byEmployee, oneDay}) {
        const std::string reference = packet(filter, 1, 1u << 30);
        for (unsigned workers : {1u, 2u, 3u, 7u}) {
            // Compared whole but not printed whole: a packet is too long to read in a failure.
            EXPECT_TRUE(packet(filter, workers, 1) == reference) << workers << " peças";
        }
    }
}

// The list's order comes from an index on both databases: with sorting forbidden, PostgreSQL
// still finds a plan without one only when an index holds the key in "C" order.
TEST_P(DemoStoreTest, ListOrderNeedsNoSort)
{
    auto lease = store().acquire();
    DemoData::generate(*lease, options());
    const std::string sql = ChtListReader::listSql(lease->dialect(), true, true);
    std::string plan;
    if (lease->dialect() == Dialect::Postgres) {
        lease->exec("ANALYZE");
        lease->exec("SET enable_sort = off");
        std::string explain = "EXPLAIN " + sql;
        // EXPLAIN takes no parameters: the generation range and the status set written in.
        for (const char* value : {"'1990-01-01'", "'2091-01-01'", "'_P_A_R_N_'"})
            explain.replace(explain.find('?'), 1, value);
        auto st = lease->prepare(explain);
        while (st->step())
            plan += std::string(st->text(0)) + "\n";
        lease->exec("RESET enable_sort");
        EXPECT_EQ(plan.find("Sort"), std::string::npos) << plan;
    } else {
        auto st = lease->prepare("EXPLAIN QUERY PLAN " + sql);
        while (st->step())
            plan += std::string(st->text(3)) + "\n";
        EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
    }
    EXPECT_NE(plan, "");
}

// The load may set references aside for speed; afterwards both stores refuse a CDA of no CHT
// and a CHT of no employee.
TEST_P(DemoStoreTest, ReferencesHoldAfterTheLoad)
{
    auto lease = store().acquire();
    DemoData::generate(*lease, options());
    EXPECT_ANY_THROW(lease->exec(
        "INSERT INTO CDA (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, CDFUNC, NRSEQUCHT,"
        " DTSERVPREST) SELECT NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, CDFUNC, '99999',"
        " DTSERVPREST FROM CDA WHERE NRSEQUCHT IS NOT NULL LIMIT 1"));
    EXPECT_ANY_THROW(lease->exec(
        "INSERT INTO CHT (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC,"
        " DTINCLCHT, IDSTATUSCHT) SELECT NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT,"
        " '99999', 'NINGUEM', DTINCLCHT, 'P' FROM CHT LIMIT 1"));
    auto st = lease->prepare("SELECT COUNT(*) FROM CHT WHERE NRSEQUCHT = '99999'");
    ASSERT_TRUE(st->step());
    EXPECT_EQ(st->integer(0), 0);
}

// Thousands of CHTs in one call: each read, checked, changed and audited once, in the call's own
// order (here the list's, reversed); a smaller call after it acts on its own CHTs only.
TEST_P(DemoStoreTest, ThousandsOfChtsInOneCallChangeEachOnceInTheirOrder)
{
    {
        DemoOptions many = options();
        many.chts = 3000;
        auto lease = store().acquire();
        DemoData::generate(*lease, many);
        lease->exec("UPDATE CLIENTE SET CDGERENTEIMPCLI = 'DEMO'");
    }
    useToken(signIn("DEMO", DemoData::kDemoPassword));
    auto keysOf = [](const wire::ColumnTable& list, std::size_t r) {
        auto text = [&](const char* name) {
            return std::string(list.text(r, static_cast<std::size_t>(list.indexOf(name))));
        };
        return ChtKey{text("NRPROPOSFAS"), text("NRVERPROPFAS"), text("CDTIPOSERV"),
                      text("NRSERVCONT"),  text("NRSEQUCHT"),    text("CDFUNC")};
    };
    auto unbilled = getCht("", "T", "", "T", 0, 100000, "_P_A_N_");
    ASSERT_TRUE(unbilled.ok) << unbilled.failure;
    const auto& list = *unbilled.data;
    const auto status = static_cast<std::size_t>(list.indexOf("IDSTATUSCHT"));
    std::vector<ChtKey> keys;
    std::vector<std::string> approvals;
    for (std::size_t r = list.rowCount(); r-- > 0;) {
        keys.push_back(keysOf(list, r));
        if (list.text(r, status) != "A")
            approvals.push_back(Audit::keyText(keys.back()) + "|IDSTATUSCHT|" +
                                std::string(list.text(r, status)) + "|A|DEMO");
    }
    ASSERT_GT(keys.size(), 1000u);
    ASSERT_TRUE(call("ConfirmaCHT", {keyPacket(keys)}).ok);
    EXPECT_EQ(auditRows("ConfirmaCHT"), approvals);
    EXPECT_EQ(getCht("", "T", "", "T", 0, 100000, "_P_N_").data->rowCount(), 0u);

    // Every other one marked not to be billed in one delta.
    auto approved = getCht("", "T", "", "T", 0, 100000, "_A_");
    ASSERT_EQ(approved.data->rowCount(), keys.size());
    std::vector<std::pair<std::vector<wire::Value>, std::vector<wire::Value>>> marks;
    std::vector<std::string> markRows;
    for (std::size_t r = 0; r < approved.data->rowCount(); r += 2) {
        std::vector<wire::Value> before;
        for (std::size_t c = 0; c < approved.data->columnCount(); ++c)
            before.push_back(approved.data->value(r, c));
        auto after = before;
        after[field("IDSTATUSCHT")] = std::string("N");
        after[field("DSALTERACAOCHT")] = std::string("Lote sem cobrança");
        marks.emplace_back(std::move(before), std::move(after));
        const std::string key = Audit::keyText(keysOf(*approved.data, r));
        // Approving a CHT that was not to be billed kept its justification.
        const auto old = approved.data->text(
            r, static_cast<std::size_t>(approved.data->indexOf("DSALTERACAOCHT")));
        markRows.push_back(key + "|IDSTATUSCHT|A|N|DEMO");
        markRows.push_back(key + "|DSALTERACAOCHT|" + (old.empty() ? "-" : std::string(old)) +
                           "|Lote sem cobrança|DEMO");
    }
    ASSERT_TRUE(call("SetCHT", {delta(marks)}).ok);
    EXPECT_EQ(getCht("", "T", "", "T", 0, 100000, "_N_").data->rowCount(), marks.size());
    // The delta's fields go in the list's order: the status before the justification.
    EXPECT_EQ(auditRows("SetCHT"), markRows);

    const std::vector<ChtKey> three = {keys[5], keys[50], keys[500]};
    ASSERT_TRUE(call("CancelaCHT", {keyPacket(three)}).ok);
    EXPECT_EQ(getCht("", "T", "", "T", 0, 100000, "_A_N_").data->rowCount(), keys.size() - 3);
    for (const ChtKey& k : three)
        EXPECT_EQ(statusOf(k), "");
}

// A statement kept for reuse is prepared once on PostgreSQL, under one name, however often it
// runs.
TEST_P(DemoStoreTest, ReusedStatementsArePreparedOnce)
{
    auto lease = store().acquire();
    DemoData::generate(*lease, options());
    const std::string sql = "SELECT COUNT(*) FROM CHT WHERE IDSTATUSCHT = ?";
    std::int64_t counts[2] = {};
    for (std::int64_t& count : counts) {
        SqlStatement& st = lease->cached(sql);
        st.bindText(1, "P");
        ASSERT_TRUE(st.step());
        count = st.integer(0);
        st.reset();
    }
    EXPECT_GT(counts[0], 0);
    EXPECT_EQ(counts[1], counts[0]);
    if (lease->dialect() != Dialect::Postgres)
        return;
    auto st = lease->prepare("SELECT COUNT(*) FROM pg_prepared_statements WHERE statement ="
                             " 'SELECT COUNT(*) FROM CHT WHERE IDSTATUSCHT = $1'");
    ASSERT_TRUE(st->step());
    EXPECT_EQ(st->integer(0), 1);
}

CHT_SERVER_SUITE(DemoStoreTest);

} // namespace
} // namespace cht::server::test
