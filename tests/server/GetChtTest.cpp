// GetCHT: the list packet and the filter semantics.
#include "ServerFixture.h"

#include "server/ChtListReader.h"

namespace cht::server::test {
namespace {

using wire::RpcArg;
using Ids = std::vector<std::string>;

class GetChtTest : public ServerTest {
protected:
    Ids list(const std::string& clientes, const std::string& todosClientes,
             const std::string& funcs, const std::string& todosFuncs, double ini, double fin,
             const std::string& situacao)
    {
        auto reply = getCht(clientes, todosClientes, funcs, todosFuncs, ini, fin, situacao);
        EXPECT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
        return reply.data ? ids(*reply.data) : Ids{};
    }
    Ids byStatus(const std::string& situacao)
    {
        return list("", "T", "", "T", kDay - 10, kDay + 10, situacao);
    }
    Ids byDays(double ini, double fin) { return list("", "T", "", "T", ini, fin, "_P_A_R_N_"); }
    Ids byClients(const std::vector<std::string>& clients)
    {
        return list(wire::encodeKeyList(clients), "", "", "T", kDay - 10, kDay + 10, "_P_A_R_N_");
    }
};

TEST_P(GetChtTest, PacketHasTheListFieldsAndEveryRowIsUnticked)
{
    auto reply = getCht("", "T", "", "T", kDay - 10, kDay + 10, "_P_A_R_N_");
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    ASSERT_TRUE(reply.data.has_value());
    const auto& t = *reply.data;
    EXPECT_EQ(t.fields(), wire::chtListFields());
    ASSERT_EQ(t.columnCount(), 32u);
    EXPECT_EQ(t.fields()[18].name, "DSALTERACAOCHT");
    EXPECT_EQ(t.fields()[18].size, 2000u);
    EXPECT_EQ(t.fields()[20].type, wire::FieldType::Float);
    ASSERT_EQ(t.rowCount(), 5u);
    for (std::size_t r = 0; r < t.rowCount(); ++r)
        EXPECT_EQ(t.text(r, 0), "N");
    // key1 is the second row (after key3 of the day before).
    const std::size_t r = 1;
    auto col = [&](const char* name) { return static_cast<std::size_t>(t.indexOf(name)); };
    ASSERT_EQ(ids(t)[r], id(key1()));
    EXPECT_EQ(t.text(r, col("IDSTATUSCHT")), "P");
    EXPECT_NEAR(t.number(r, col("DTINCLCHT")), kDay + 8.0 / 24, 1e-9);
    EXPECT_EQ(t.text(r, col("NMFANTCLIE")), "Alfa Máquinas");
    EXPECT_EQ(t.text(r, col("NMFUNC")), "Ana");
    EXPECT_EQ(t.text(r, col("NMTIPOSERV")), "Consultoria técnica");
    EXPECT_DOUBLE_EQ(t.number(r, col("INICIOCSA")), kDay - 3);
    EXPECT_DOUBLE_EQ(t.number(r, col("FIMCSA")), kDay - 2);
    EXPECT_EQ(t.text(r, col("NRINSJURCLIE")), "11222333000181");
    EXPECT_EQ(t.text(r, col("CDCLIENTE")), "C1");
    EXPECT_TRUE(t.isNull(r, col("NRLANCTONF")));
    EXPECT_EQ(t.text(r, col("QTHRAPROFATUCHT")), "08:30");
    EXPECT_DOUBLE_EQ(t.number(r, col("VRFATU")), 1275.5);
    EXPECT_EQ(t.text(r, col("CDEMPRESA")), "01");
    EXPECT_EQ(t.text(r, col("CDGERENTEIMPCLI")), "DEMO");
    EXPECT_EQ(t.text(r, col("IDCDAOK")), "S");
    EXPECT_EQ(t.text(r, col("PROPOSTA")), "P1/01");
    EXPECT_EQ(t.text(r, col("DSREFEPROPOSFAS")), "Manutenção anual");
    EXPECT_EQ(t.text(r, col("IDTIPOPROPFAS")), "M");
    EXPECT_EQ(t.text(r, col("IDTIPOCOBRCONT")), "H");
    EXPECT_EQ(t.text(r, col("IDTIPOCOBRSERV")), "H");
    // key5 has no CDA: no period; key4 carries its justification; key3 its invoice.
    EXPECT_TRUE(t.isNull(4, col("INICIOCSA")));
    EXPECT_EQ(t.text(4, col("IDTIPOCOBRSERV")), "P");
    EXPECT_EQ(t.text(3, col("DSALTERACAOCHT")), "Garantia");
    EXPECT_EQ(t.text(0, col("NRLANCTONF")), "000123");
}

// 31/12/9999, the last day a date may have, is a valid end of the range; and 01/01/0100 a valid
// start.
TEST_P(GetChtTest, DatesReachTheEndsOfTheAcceptedRange)
{
    const double firstDay = -657434;
    const double lastDay = 2958465;
    ASSERT_TRUE(wire::isOleInRange(firstDay) && wire::isOleInRange(lastDay));
    ASSERT_FALSE(wire::isOleInRange(lastDay + 1));
    EXPECT_EQ(byDays(kDay - 10, lastDay).size(), 5u);
    EXPECT_EQ(byDays(firstDay, lastDay).size(), 5u);
    EXPECT_EQ(byDays(lastDay, lastDay), Ids{});
    EXPECT_EQ(byDays(firstDay, firstDay), Ids{});
    auto beyond = getCht("", "T", "", "T", kDay, lastDay + 1, "_P_");
    EXPECT_FALSE(beyond.ok);
    EXPECT_TRUE(beyond.failure.find("data final") != std::string::npos) << beyond.failure;
}

TEST_P(GetChtTest, OrderIsGenerationTimeThenKey)
{
    EXPECT_EQ(byDays(0, 100000), (Ids{id(key3()), id(key1()), id(key2()), id(key4()), id(key5())}));
}

TEST_P(GetChtTest, DatesCountInWholeDaysBothEndsIncluded)
{
    // The time of day of the limits is ignored; 23:59:59.999 is still the same day.
    EXPECT_EQ(byDays(kDay + 0.75, kDay + 0.25), (Ids{id(key1()), id(key2())}));
    EXPECT_EQ(byDays(kDay + 1, kDay + 1), (Ids{id(key4())}));
    EXPECT_EQ(byDays(kDay - 1, kDay), (Ids{id(key3()), id(key1()), id(key2())}));
    EXPECT_EQ(byDays(kDay + 2, kDay + 4), Ids{});
    EXPECT_EQ(byDays(kDay + 1, kDay), Ids{});
}

TEST_P(GetChtTest, StatusLetterWantedExactlyWhenTheSetHoldsIt)
{
    EXPECT_EQ(byStatus("_P_"), (Ids{id(key1()), id(key5())}));
    EXPECT_EQ(byStatus("_A_"), (Ids{id(key2())}));
    EXPECT_EQ(byStatus("_R_N_"), (Ids{id(key3()), id(key4())}));
    EXPECT_EQ(byStatus("_N_P_"), (Ids{id(key1()), id(key4()), id(key5())}));
    EXPECT_EQ(byStatus("_P_A_R_N_").size(), 5u);
    EXPECT_EQ(byStatus("_"), Ids{});
    EXPECT_EQ(byStatus(""), Ids{});
    EXPECT_EQ(byStatus("PARN"), Ids{});
    EXPECT_EQ(byStatus("_p_"), Ids{});
}

TEST_P(GetChtTest, ClientListCarriesCommasAndQuotes)
{
    EXPECT_EQ(byClients({kOddClient}), (Ids{id(key3())}));
    EXPECT_EQ(byClients({"C1", kOddClient}), (Ids{id(key3()), id(key1()), id(key2()), id(key5())}));
    // No splitting of a code, and an empty selection selects nothing.
    EXPECT_EQ(byClients({"C1,C3"}), Ids{});
    EXPECT_EQ(list("", "", "", "T", kDay - 10, kDay + 10, "_P_A_R_N_"), Ids{});
    // "T" (exactly) ignores the list, whatever it holds; anything else applies it.
    EXPECT_EQ(list("not a list", "T", "", "T", kDay - 10, kDay + 10, "_P_A_R_N_").size(), 5u);
    EXPECT_EQ(list(wire::encodeKeyList({"C3"}), "t", "", "T", kDay - 10, kDay + 10, "_P_A_R_N_"),
              (Ids{id(key4())}));
}

TEST_P(GetChtTest, EmployeeListFilters)
{
    auto funcs = [&](const std::vector<std::string>& f) {
        return list("", "T", wire::encodeKeyList(f), "", kDay - 10, kDay + 10, "_P_A_R_N_");
    };
    EXPECT_EQ(funcs({kOddFunc}), (Ids{id(key3())}));
    EXPECT_EQ(funcs({"F1"}), (Ids{id(key1()), id(key4())}));
    EXPECT_EQ(funcs({}), Ids{});
    // Both lists together.
    EXPECT_EQ(list(wire::encodeKeyList({"C1"}), "", wire::encodeKeyList({"F2"}), "", kDay - 10,
                   kDay + 10, "_P_"),
              (Ids{id(key5())}));
}

TEST_P(GetChtTest, MalformedListIsRefusedAndTheServerGoesOn)
{
    for (const char* bad : {"C1,C3", "[\"C1\",1]", "[\"C1\"", "{\"a\":1}", "'C1'"}) {
        auto reply = getCht(bad, "", "", "T", kDay, kDay, "_P_");
        EXPECT_FALSE(reply.ok) << bad;
        EXPECT_EQ(reply.errorCode, 0) << bad;
        EXPECT_NE(reply.failure.find("lista de clientes"), std::string::npos) << reply.failure;
    }
    auto reply = getCht("", "T", "F1", "", kDay, kDay, "_P_");
    EXPECT_FALSE(reply.ok);
    EXPECT_NE(reply.failure.find("lista de funcionários"), std::string::npos) << reply.failure;
    expectServing();
}

TEST_P(GetChtTest, ByReferenceArgumentsComeBack)
{
    const std::string clients = wire::encodeKeyList({kOddClient});
    auto reply = getCht(clients, "", "", "T", kDay - 1.5, kDay + 0.5, "_R_");
    ASSERT_TRUE(reply.ok) << reply.failure;
    ASSERT_EQ(reply.refs.size(), 8u);
    EXPECT_EQ(reply.refs[0].text, clients);
    EXPECT_EQ(reply.refs[1].text, "");
    EXPECT_EQ(reply.refs[3].text, "T");
    EXPECT_DOUBLE_EQ(reply.refs[4].number, kDay - 1.5);
    EXPECT_DOUBLE_EQ(reply.refs[5].number, kDay + 0.5);
    EXPECT_EQ(reply.refs[6].text, "_R_");
    // The operator goes by value: nothing of it comes back.
    EXPECT_EQ(reply.refs[7].kind, wire::RpcArg::Kind::Null);
    EXPECT_EQ(ids(*reply.data), (Ids{id(key3())}));
}

// Texts longer than the method knows them to be are refused, and the refusal does not carry them
// back.
TEST_P(GetChtTest, ArgumentsOverTheirSizesAreRefusedWithoutEcho)
{
    const std::string hugeList = "[\"" + std::string(300 * 1024, 'C') + "\"]";
    auto list = getCht(hugeList, "", "", "T", kDay, kDay, "_P_");
    EXPECT_EQ(list.errorCode, wire::kInvalidParams);
    EXPECT_NE(list.errorMessage.find("Clientes"), std::string::npos) << list.errorMessage;
    EXPECT_LT(list.errorMessage.size(), 200u);
    EXPECT_EQ(getCht("", "TT", "", "T", kDay, kDay, "_P_").errorCode, wire::kInvalidParams);
    EXPECT_EQ(getCht("", "T", "", "T", kDay, kDay, std::string(33, '_')).errorCode,
              wire::kInvalidParams);
    auto longOperator =
        call("GetCHT", {RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""),
                        RpcArg::ofText("T"), RpcArg::ofNumber(kDay), RpcArg::ofNumber(kDay),
                        RpcArg::ofText("_P_"), RpcArg::ofText(std::string(65, 'o'))});
    EXPECT_EQ(longOperator.errorCode, wire::kInvalidParams);
    // Characters, not bytes: 64 accented letters pass the size check, and are then refused as
    // not the session's operator.
    std::string accented;
    for (int i = 0; i < 64; ++i)
        accented += "é";
    auto other =
        call("GetCHT", {RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""),
                        RpcArg::ofText("T"), RpcArg::ofNumber(kDay), RpcArg::ofNumber(kDay),
                        RpcArg::ofText("_P_"), RpcArg::ofText(accented)});
    EXPECT_EQ(other.errorCode, 0);
    EXPECT_FALSE(other.ok);
    EXPECT_NE(other.failure.find("operador da sessão (DEMO)"), std::string::npos) << other.failure;

    // The detail methods' texts are key fields of known sizes.
    auto cdas = call("GetConsultaCSA",
                     {RpcArg::ofText(std::string(22, 'C')), RpcArg::ofText("F1"),
                      RpcArg::ofText("001"), RpcArg::ofText("P1"), RpcArg::ofText("01"),
                      RpcArg::ofText("00001"), RpcArg::ofText("01"), RpcArg::ofText("001")});
    EXPECT_EQ(cdas.errorCode, wire::kInvalidParams);
    EXPECT_NE(cdas.errorMessage.find("CDCLIENTE"), std::string::npos) << cdas.errorMessage;
    EXPECT_EQ(
        call("GetParcVenc", {RpcArg::ofText("C1"), RpcArg::ofText("P1"), RpcArg::ofText("012")})
            .errorCode,
        wire::kInvalidParams);
    EXPECT_TRUE(
        call("GetParcVenc", {RpcArg::ofText("C1"), RpcArg::ofText("P1"), RpcArg::ofText("01")}).ok);
    expectServing();
}

TEST_P(GetChtTest, WrongArgumentsAreProtocolErrors)
{
    auto wrongType =
        call("GetCHT", {RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""),
                        RpcArg::ofText("T"), RpcArg::ofText("hoje"), RpcArg::ofNumber(kDay),
                        RpcArg::ofText("_P_"), RpcArg::ofText("DEMO")});
    EXPECT_EQ(wrongType.errorCode, wire::kInvalidParams);
    EXPECT_NE(wrongType.errorMessage.find("DataIni"), std::string::npos) << wrongType.errorMessage;
    auto tooFew = call("GetCHT", {RpcArg::ofText(""), RpcArg::ofText("T")});
    EXPECT_EQ(tooFew.errorCode, wire::kInvalidParams);
    EXPECT_NE(tooFew.errorMessage.find("8 argumentos"), std::string::npos) << tooFew.errorMessage;
    auto outOfRange = getCht("", "T", "", "T", 1e9, kDay, "_P_");
    EXPECT_FALSE(outOfRange.ok);
    EXPECT_NE(outOfRange.failure.find("data inicial"), std::string::npos);
    expectServing();
}

TEST_P(GetChtTest, LongListPathGivesTheQuerysBytes)
{
    // The fixture's odd keys, null texts and CHTs without CDAs through the in-memory join.
    ChtFilter filter;
    filter.firstDay = kDay - 10;
    filter.lastDay = kDay + 10;
    filter.situacao = "_P_A_R_N_";
    auto packet = [&](unsigned workers, std::size_t minRows) {
        ListSplit split;
        split.workers = workers;
        split.minRows = minRows;
        std::string out;
        wire::PacketWriter writer(out);
        ChtListReader::write(store(), filter, writer, split);
        return out;
    };
    const std::string reference = packet(1, 1u << 30);
    ASSERT_EQ(wire::decodeDataPacket(reference).rowCount(), 5u);
    EXPECT_TRUE(packet(1, 1) == reference);
    EXPECT_TRUE(packet(3, 1) == reference);
    filter.allClients = false;
    filter.clients = {kOddClient, "C3"};
    const std::string some = packet(1, 1u << 30);
    EXPECT_EQ(wire::decodeDataPacket(some).rowCount(), 2u);
    EXPECT_TRUE(packet(2, 1) == some);
}

// Over HTTP a long list goes out in parts (its pieces where they were written, the envelope
// around them): alone or in a batch, the bytes of the one query's answer.
TEST_P(GetChtTest, LongListInPartsIsTheQuerysAnswer)
{
    auto request = [&](std::int64_t id, const std::string& situacao) {
        return wire::encodeRequest(
            {id,
             "COT09800.rdmCancelaCHT.GetCHT",
             {RpcArg::ofText(""), RpcArg::ofText("T"), RpcArg::ofText(""), RpcArg::ofText("T"),
              RpcArg::ofNumber(kDay - 10), RpcArg::ofNumber(kDay + 10), RpcArg::ofText(situacao),
              RpcArg::ofText(m_operador)}});
    };
    const std::string one = request(41, "_P_A_R_N_");
    const std::string batch = "[" + one + "," + request(42, "_P_R_") + "]";
    auto answers = [&](unsigned workers, std::size_t minRows) {
        ListSplit split;
        split.workers = workers;
        split.minRows = minRows;
        m_service->setListSplit(split);
        std::vector<std::string> bodies;
        for (const std::string& body : {one, batch}) {
            auto res = post(body);
            EXPECT_TRUE(res && res->status == 200);
            bodies.push_back(res ? res->body : std::string());
        }
        return bodies;
    };
    const std::vector<std::string> reference = answers(1, 1u << 30);
    const wire::RpcResponse whole = wire::decodeResponse(reference[0]);
    ASSERT_TRUE(whole.data);
    EXPECT_EQ(whole.data->rowCount(), 5u);
    EXPECT_TRUE(answers(3, 1) == reference);
    EXPECT_TRUE(answers(2, 1) == reference);
}

CHT_SERVER_SUITE(GetChtTest);

} // namespace
} // namespace cht::server::test
