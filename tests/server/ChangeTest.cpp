// ConfirmaCHT, CancelaCHT and SetCHT: the rules, all-or-nothing, conflicts.
#include "ServerFixture.h"

#include "server/Audit.h"
#include "server/ChtRepository.h"
#include "server/SqlDate.h"
#include "server/SqlTransaction.h"

#include <atomic>
#include <thread>

namespace cht::server::test {
namespace {

using wire::RpcArg;
using wire::Value;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class ChangeTest : public ServerTest {
protected:
    std::int64_t count(const std::string& sql)
    {
        auto lease = store().acquire();
        auto st = lease->prepare(sql);
        return st->step() ? st->integer(0) : -1;
    }
    std::string justificationOf(const ChtKey& key)
    {
        auto lease = store().acquire();
        auto state = ChtRepository::find(*lease, key);
        return state ? state->dsAlteracaoCht : "<ausente>";
    }
    std::string flagOf(const ChtKey& key)
    {
        auto lease = store().acquire();
        auto state = ChtRepository::find(*lease, key);
        return state ? state->idChtPgtoOk + state->idChtAssinada : "<ausente>";
    }
    /// SetCHT with one row changed as the lambda says.
    template <class Edit> wire::RpcResponse setOne(const ChtKey& key, Edit edit)
    {
        auto before = rowOf(key);
        auto after = before;
        edit(after);
        return call("SetCHT", {delta({{before, after}})});
    }
    static void put(std::vector<Value>& row, const char* name, Value v)
    {
        row[field(name)] = std::move(v);
    }
};

TEST_P(ChangeTest, ConfirmaApprovesPendingAndNotToBillAndKeepsApproved)
{
    auto reply = call("ConfirmaCHT", {keyPacket({key1(), key2(), key4()})});
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    EXPECT_EQ(statusOf(key1()), "A");
    EXPECT_EQ(statusOf(key2()), "A");
    EXPECT_EQ(statusOf(key4()), "A");
    EXPECT_EQ(statusOf(key5()), "P");
}

TEST_P(ChangeTest, ConfirmaOfABilledOrMissingChtChangesNothing)
{
    auto billed = call("ConfirmaCHT", {keyPacket({key1(), key3()})});
    EXPECT_FALSE(billed.ok);
    EXPECT_TRUE(contains(billed.failure, "CHT 00001 (proposta P2/01")) << billed.failure;
    EXPECT_TRUE(contains(billed.failure, "faturada")) << billed.failure;
    EXPECT_EQ(statusOf(key1()), "P");

    ChtKey missing = key1();
    missing.nrSequCht = "99999";
    auto gone = call("ConfirmaCHT", {keyPacket({key5(), missing})});
    EXPECT_FALSE(gone.ok);
    EXPECT_TRUE(contains(gone.failure, "CHT 99999")) << gone.failure;
    EXPECT_EQ(statusOf(key5()), "P");
}

TEST_P(ChangeTest, KeyPacketsAreChecked)
{
    auto empty = call("ConfirmaCHT", {keyPacket({})});
    EXPECT_FALSE(empty.ok);
    EXPECT_TRUE(contains(empty.failure, "Nenhuma CHT")) << empty.failure;

    wire::ColumnTable partial({{"NRPROPOSFAS", wire::FieldType::Text, 10}});
    partial.appendRow();
    auto noKey = call("CancelaCHT", {RpcArg::ofData(std::move(partial))});
    EXPECT_EQ(noKey.errorCode, wire::kInvalidParams);
    EXPECT_TRUE(contains(noKey.errorMessage, "NRVERPROPFAS")) << noKey.errorMessage;

    auto text = call("ConfirmaCHT", {RpcArg::ofText("P1")});
    EXPECT_EQ(text.errorCode, wire::kInvalidParams);
    auto two = call("CancelaCHT", {keyPacket({key1()}), keyPacket({key2()})});
    EXPECT_EQ(two.errorCode, wire::kInvalidParams);
    EXPECT_EQ(statusOf(key1()), "P");
    expectServing();
}

TEST_P(ChangeTest, CancelaDeletesAndReleasesTheCdas)
{
    auto reply = call("CancelaCHT", {keyPacket({key1(), key1(), key5()})});
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    EXPECT_EQ(statusOf(key1()), "");
    EXPECT_EQ(statusOf(key5()), "");
    EXPECT_EQ(count("SELECT COUNT(*) FROM CHT"), 3);
    // The CDAs stay, free for a new CHT; a generated one is confirmed again.
    EXPECT_EQ(count("SELECT COUNT(*) FROM CDA"), 3);
    EXPECT_EQ(count("SELECT COUNT(*) FROM CDA WHERE NRSEQUCHT IS NULL"), 2);
    EXPECT_EQ(count("SELECT COUNT(*) FROM CDA WHERE NRSEQUCHT IS NULL AND IDSITSERVPREST = 'C'"),
              1);
    auto list = getCht("", "T", "", "T", 0, 100000, "_P_A_R_N_");
    EXPECT_EQ(ids(*list.data), (std::vector<std::string>{id(key3()), id(key2()), id(key4())}));
}

TEST_P(ChangeTest, CancelaOfABilledChtFailsTheWholeCall)
{
    auto reply = call("CancelaCHT", {keyPacket({key1(), key3()})});
    EXPECT_FALSE(reply.ok);
    EXPECT_TRUE(contains(reply.failure, "faturada")) << reply.failure;
    EXPECT_TRUE(contains(reply.failure, kOddFunc)) << reply.failure;
    EXPECT_EQ(statusOf(key1()), "P");
    EXPECT_EQ(count("SELECT COUNT(*) FROM CDA WHERE NRSEQUCHT IS NULL"), 0);
}

TEST_P(ChangeTest, SetChtSavesTheFlagsAndIgnoresTheTick)
{
    auto reply = setOne(key1(), [](auto& row) {
        put(row, "IDCHTPGTOOK", std::string("S"));
        put(row, "IDCHTASSINADA", std::string("S"));
        put(row, "IDCHECK", std::string("S"));
    });
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    EXPECT_EQ(flagOf(key1()), "SS");
    // A delta of ticks only is accepted and changes nothing.
    auto ticks = setOne(key2(), [](auto& row) { put(row, "IDCHECK", std::string("S")); });
    EXPECT_TRUE(ticks.ok) << ticks.failure;
    EXPECT_EQ(flagOf(key2()), "NN");

    // Rows of one delta with different changes each get their own.
    auto signedOnly = rowOf(key2());
    auto signedOnlyNew = signedOnly;
    put(signedOnlyNew, "IDCHTASSINADA", std::string("S"));
    auto okOnly = rowOf(key5());
    auto okOnlyNew = okOnly;
    put(okOnlyNew, "IDCHTPGTOOK", std::string("S"));
    auto both = rowOf(key4());
    auto bothNew = both;
    put(bothNew, "IDCHTPGTOOK", std::string("S"));
    put(bothNew, "IDCHTASSINADA", std::string("S"));
    ASSERT_TRUE(
        call("SetCHT", {delta({{signedOnly, signedOnlyNew}, {okOnly, okOnlyNew}, {both, bothNew}})})
            .ok);
    EXPECT_EQ(flagOf(key2()), "NS");
    EXPECT_EQ(flagOf(key5()), "SN");
    EXPECT_EQ(flagOf(key4()), "SS");
}

TEST_P(ChangeTest, SetChtMarksNotToBillWithAJustification)
{
    auto reply = setOne(key1(), [](auto& row) {
        put(row, "IDSTATUSCHT", std::string("N"));
        put(row, "DSALTERACAOCHT", std::string("Cortesia acordada com o cliente"));
        put(row, "IDCHECK", std::string("D"));
    });
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    EXPECT_EQ(statusOf(key1()), "N");
    EXPECT_EQ(justificationOf(key1()), "Cortesia acordada com o cliente");
    // An approved one too; a row already "N" may get a new justification.
    EXPECT_TRUE(setOne(key2(), [](auto& row) {
                    put(row, "IDSTATUSCHT", std::string("N"));
                    put(row, "DSALTERACAOCHT", std::string("Duplicada"));
                }).ok);
    EXPECT_EQ(statusOf(key2()), "N");
    auto again = setOne(
        key4(), [](auto& row) { put(row, "DSALTERACAOCHT", std::string("Nova justificativa")); });
    EXPECT_TRUE(again.ok) << again.failure;
    EXPECT_EQ(justificationOf(key4()), "Nova justificativa");
}

TEST_P(ChangeTest, SetChtJustificationRules)
{
    auto status = [&](Value just) {
        return setOne(key1(), [&](auto& row) {
            put(row, "IDSTATUSCHT", std::string("N"));
            put(row, "DSALTERACAOCHT", just);
        });
    };
    auto none = status(Value{});
    EXPECT_FALSE(none.ok);
    EXPECT_TRUE(contains(none.failure, "justificativa")) << none.failure;
    // Blank is also what nobody could read: control characters, no-break and zero-width spaces.
    for (const char* invisible : {"   ", "\x01\x02\x1b\x7f", "\t\r\n\x0b\x0c",
                                  "\xc2\xa0\xe2\x80\x8b\xef\xbb\xbf", "\xc2\x85\xe3\x80\x80"}) {
        auto blank = status(std::string(invisible));
        EXPECT_FALSE(blank.ok) << "aceita como justificativa: "
                               << ::testing::PrintToString(invisible);
        EXPECT_TRUE(contains(blank.failure, "justificativa")) << blank.failure;
    }
    EXPECT_EQ(statusOf(key1()), "P");
    std::string longest;
    for (int i = 0; i < 2000; ++i)
        longest += "ç";
    // The packet's own size would cut the text: declare the field without a limit.
    auto before = rowOf(key1());
    auto after = before;
    put(after, "IDSTATUSCHT", std::string("N"));
    put(after, "DSALTERACAOCHT", longest + "a");
    auto fields = wire::chtListFields();
    fields[field("DSALTERACAOCHT")].size = 0;
    wire::DeltaPacket unlimited(fields);
    unlimited.add(wire::ChangeOp::Update, before, after);
    auto tooLong = call("SetCHT", {RpcArg::ofDelta(std::move(unlimited))});
    EXPECT_FALSE(tooLong.ok);
    EXPECT_TRUE(contains(tooLong.failure, "2000")) << tooLong.failure;
    EXPECT_EQ(statusOf(key1()), "P");
    EXPECT_TRUE(status(longest).ok);
    EXPECT_EQ(justificationOf(key1()), longest);
    // A justification alone is only for rows already not to be billed.
    auto alone =
        setOne(key5(), [](auto& row) { put(row, "DSALTERACAOCHT", std::string("Sem marcar")); });
    EXPECT_FALSE(alone.ok);
    EXPECT_EQ(justificationOf(key5()), "");
}

TEST_P(ChangeTest, SetChtRefusesOtherChangesNamingTheField)
{
    auto approve = setOne(key1(), [](auto& row) { put(row, "IDSTATUSCHT", std::string("A")); });
    EXPECT_FALSE(approve.ok);
    auto billed = setOne(key3(), [](auto& row) {
        put(row, "IDSTATUSCHT", std::string("N"));
        put(row, "DSALTERACAOCHT", std::string("x"));
    });
    EXPECT_FALSE(billed.ok);
    EXPECT_TRUE(contains(billed.failure, "faturada")) << billed.failure;
    auto name = setOne(key1(), [](auto& row) { put(row, "NMFANTCLIE", std::string("Outro")); });
    EXPECT_FALSE(name.ok);
    EXPECT_TRUE(contains(name.failure, "NMFANTCLIE")) << name.failure;
    auto value = setOne(key1(), [](auto& row) { put(row, "VRFATU", 1.0); });
    EXPECT_TRUE(contains(value.failure, "VRFATU")) << value.failure;
    auto flag = setOne(key1(), [](auto& row) { put(row, "IDCHTPGTOOK", std::string("X")); });
    EXPECT_TRUE(contains(flag.failure, "IDCHTPGTOOK")) << flag.failure;
    auto keyField = setOne(key1(), [](auto& row) { put(row, "NRSEQUCHT", std::string("00009")); });
    EXPECT_TRUE(contains(keyField.failure, "NRSEQUCHT")) << keyField.failure;
    EXPECT_EQ(statusOf(key1()), "P");
    EXPECT_EQ(flagOf(key1()), "NN");
}

TEST_P(ChangeTest, SecondSaveOfTwoCopiesIsAConflictAndNothingApplies)
{
    auto first = rowOf(key1());
    auto second = first;
    auto firstNew = first;
    put(firstNew, "IDCHTPGTOOK", std::string("S"));
    ASSERT_TRUE(call("SetCHT", {delta({{first, firstNew}})}).ok);

    // The second copy still has the old values; with it goes a valid change of another CHT.
    auto other = rowOf(key2());
    auto otherNew = other;
    put(otherNew, "IDCHTASSINADA", std::string("S"));
    auto secondNew = second;
    put(secondNew, "IDCHTPGTOOK", std::string("S"));
    put(secondNew, "IDCHTASSINADA", std::string("S"));
    auto reply = call("SetCHT", {delta({{other, otherNew}, {second, secondNew}})});
    EXPECT_FALSE(reply.ok);
    EXPECT_TRUE(contains(reply.failure, "alterada por outro usuário")) << reply.failure;
    EXPECT_TRUE(contains(reply.failure, "CHT 00001 (proposta P1/01")) << reply.failure;
    EXPECT_EQ(flagOf(key1()), "SN");
    EXPECT_EQ(flagOf(key2()), "NN");

    // A CHT deleted meanwhile.
    ASSERT_TRUE(call("CancelaCHT", {keyPacket({key5()})}).ok);
    auto deleted = rowOf(key1());
    deleted[field("NRSERVCONT")] = std::string("002");
    deleted[field("NRSEQUCHT")] = std::string("00001");
    deleted[field("CDFUNC")] = std::string("F2");
    auto deletedNew = deleted;
    put(deletedNew, "IDCHTASSINADA", std::string("S"));
    auto gone = call("SetCHT", {delta({{deleted, deletedNew}})});
    EXPECT_FALSE(gone.ok);
    EXPECT_TRUE(contains(gone.failure, "excluída")) << gone.failure;
}

// The rows of a delta are read before its rules run: a CHT changed twice in one delta has its
// second change checked against the first, as if the first were stored already.
TEST_P(ChangeTest, AChtChangedTwiceInOneDeltaIsCheckedAgainstItsFirstChange)
{
    auto stored = rowOf(key1());
    auto okSet = stored;
    put(okSet, "IDCHTPGTOOK", std::string("S"));
    auto signedToo = okSet;
    put(signedToo, "IDCHTASSINADA", std::string("S"));
    ASSERT_TRUE(call("SetCHT", {delta({{stored, okSet}, {okSet, signedToo}})}).ok);
    EXPECT_EQ(flagOf(key1()), "SS");
    EXPECT_EQ(auditRows("SetCHT"),
              (std::vector<std::string>{Audit::keyText(key1()) + "|IDCHTPGTOOK|N|S|DEMO",
                                        Audit::keyText(key1()) + "|IDCHTASSINADA|N|S|DEMO"}));

    // The same change twice: the second still expects the value the first one replaced. A
    // conflict, and the first change does not stay either.
    auto now = rowOf(key1());
    auto okBack = now;
    put(okBack, "IDCHTPGTOOK", std::string("N"));
    auto stale = call("SetCHT", {delta({{now, okBack}, {now, okBack}})});
    EXPECT_FALSE(stale.ok);
    EXPECT_TRUE(contains(stale.failure, "alterada por outro usuário")) << stale.failure;
    EXPECT_EQ(flagOf(key1()), "SS");
    EXPECT_EQ(auditRows("SetCHT").size(), 2u);
}

TEST_P(ChangeTest, RacingSavesOfOneRowLetExactlyOneThrough)
{
    auto before = rowOf(key1());
    auto after = before;
    put(after, "IDCHTPGTOOK", std::string("S"));
    const std::string body = [&] {
        wire::RpcRequest r;
        r.id = 1;
        r.method = "COT09800.rdmCancelaCHT.SetCHT";
        r.params = {delta({{before, after}})};
        return wire::encodeRequest(r);
    }();
    std::atomic<int> ok{0};
    std::atomic<int> conflicts{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            httplib::Client client("127.0.0.1", port());
            authorize(client);
            auto res = client.Post("/rpc", body, "application/json");
            if (!res)
                return;
            auto reply = wire::decodeResponse(res->body);
            if (reply.ok)
                ++ok;
            else if (contains(reply.failure, "alterada por outro usuário"))
                ++conflicts;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok.load(), 1);
    EXPECT_EQ(conflicts.load(), 3);
    EXPECT_EQ(flagOf(key1()), "SN");
}

TEST_P(ChangeTest, SetChtIsOneTransaction)
{
    auto a = rowOf(key2());
    auto aNew = a;
    put(aNew, "IDCHTPGTOOK", std::string("S"));
    auto b = rowOf(key1());
    auto bNew = b;
    put(bNew, "NMFUNC", std::string("Outro"));
    EXPECT_FALSE(call("SetCHT", {delta({{a, aNew}, {b, bNew}})}).ok);
    EXPECT_EQ(flagOf(key2()), "NN");
}

TEST_P(ChangeTest, SetChtRefusesInsertsDeletesAndDeltasWithoutTheKey)
{
    wire::DeltaPacket insert(wire::chtListFields());
    insert.add(wire::ChangeOp::Insert, {}, rowOf(key1()));
    auto ins = call("SetCHT", {RpcArg::ofDelta(insert)});
    EXPECT_FALSE(ins.ok);
    wire::DeltaPacket del(wire::chtListFields());
    del.add(wire::ChangeOp::Delete, rowOf(key1()), {});
    EXPECT_FALSE(call("SetCHT", {RpcArg::ofDelta(del)}).ok);
    EXPECT_EQ(statusOf(key1()), "P");

    wire::DeltaPacket partial(
        {{"NRPROPOSFAS", wire::FieldType::Text, 10}, {"IDCHTPGTOOK", wire::FieldType::Text, 1}});
    partial.add(wire::ChangeOp::Update, {std::string("P1"), std::string("N")},
                {std::string("P1"), std::string("S")});
    auto noKey = call("SetCHT", {RpcArg::ofDelta(partial)});
    EXPECT_FALSE(noKey.ok);
    EXPECT_TRUE(contains(noKey.failure, "NRVERPROPFAS")) << noKey.failure;
    auto notDelta = call("SetCHT", {keyPacket({key1()})});
    EXPECT_EQ(notDelta.errorCode, wire::kInvalidParams);
    expectServing();
}

TEST_P(ChangeTest, ASnapshotKeepsSeeingTheStateItStartedOn)
{
    auto statusIn = [](SqlConnection& c, const ChtKey& k) {
        auto st =
            c.prepare("SELECT IDSTATUSCHT FROM CHT WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ?"
                      " AND CDTIPOSERV = ? AND NRSERVCONT = ? AND NRSEQUCHT = ? AND CDFUNC = ?");
        int p = 1;
        for (const std::string* v : {&k.nrProposFas, &k.nrVerPropFas, &k.cdTipoServ, &k.nrServCont,
                                     &k.nrSequCht, &k.cdFunc})
            st->bindText(p++, *v);
        return st->step() ? std::string(st->text(0)) : std::string("<ausente>");
    };
    {
        Store::Snapshot snapshot = store().acquireSnapshot(3);
        ASSERT_EQ(snapshot.size(), 3u);
        {
            auto lease = store().acquire();
            SqlTransaction tx(*lease);
            ChtRepository::setStatus(*lease, key1(), "A");
            tx.commit();
        }
        for (std::size_t i = 0; i < snapshot.size(); ++i)
            EXPECT_EQ(statusIn(snapshot[i], key1()), "P") << "conexão " << i;
    }
    // Its connections go back to the pool out of their transactions.
    for (int i = 0; i < 3; ++i) {
        auto lease = store().acquire();
        EXPECT_EQ(statusIn(*lease, key1()), "A");
    }
}

TEST_P(ChangeTest, AChtsCdaDatesFollowEveryChangeOfItsCdas)
{
    // "first..last" as the list shows them, in days from kDay; "-" for none.
    auto range = [&](const ChtKey& k) {
        auto row = rowOf(k);
        auto day = [&](const char* name) -> std::string {
            const Value& v = row[field(name)];
            return std::holds_alternative<double>(v)
                       ? std::to_string(static_cast<std::int64_t>(std::get<double>(v)) - kDay)
                       : "-";
        };
        return day("INICIOCSA") + ".." + day("FIMCSA");
    };
    auto run = [&](const std::string& sql, const std::vector<std::string>& args) {
        auto lease = store().acquire();
        SqlTransaction tx(*lease);
        auto st = lease->prepare(sql);
        for (std::size_t i = 0; i < args.size(); ++i) {
            st->bindText(static_cast<int>(i + 1), args[i]);
        }
        st->run();
        tx.commit();
    };
    const ChtKey k = key1();
    const ChtKey other = key5();
    ASSERT_EQ(range(k), "-3..-2");
    ASSERT_EQ(range(other), "-..-");
    run("INSERT INTO CDA (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, CDFUNC, NRSEQUCHT,"
        " DTSERVPREST, NMOPERINC) VALUES (?,?,?,?,?,?,?,'teste')",
        {k.nrProposFas, k.nrVerPropFas, k.cdTipoServ, k.nrServCont, k.cdFunc, k.nrSequCht,
         sqldate::fromDay(kDay - 5)});
    EXPECT_EQ(range(k), "-5..-2");
    const char* moved = "UPDATE CDA SET DTSERVPREST = ? WHERE NMOPERINC = 'teste'";
    run(moved, {sqldate::fromDay(kDay - 1)});
    EXPECT_EQ(range(k), "-3..-1");
    run("UPDATE CDA SET NRSERVCONT = ?, NRSEQUCHT = ?, CDFUNC = ? WHERE NMOPERINC = 'teste'",
        {other.nrServCont, other.nrSequCht, other.cdFunc});
    EXPECT_EQ(range(k), "-3..-2");
    EXPECT_EQ(range(other), "-1..-1");
    run("UPDATE CDA SET NRSEQUCHT = NULL WHERE NMOPERINC = 'teste'", {});
    EXPECT_EQ(range(other), "-..-");
    run("DELETE FROM CDA WHERE NRSEQUCHT = ? AND CDFUNC = ? AND DTSERVPREST = ?",
        {k.nrSequCht, k.cdFunc, sqldate::fromDay(kDay - 3)});
    EXPECT_EQ(range(k), "-2..-2");
}

CHT_SERVER_SUITE(ChangeTest);

} // namespace
} // namespace cht::server::test
