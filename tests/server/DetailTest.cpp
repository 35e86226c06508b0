// GetConsultaCSA, GetParcVenc and GetData.
#include "ServerFixture.h"

#include "server/ChtRepository.h"

#include <cmath>

namespace cht::server::test {
namespace {

using wire::RpcArg;

class DetailTest : public ServerTest {
protected:
    wire::RpcResponse cdas(const ChtKey& k, const std::string& client, const std::string& company)
    {
        return call("GetConsultaCSA", {RpcArg::ofText(client), RpcArg::ofText(k.cdFunc),
                                       RpcArg::ofText(k.cdTipoServ), RpcArg::ofText(k.nrProposFas),
                                       RpcArg::ofText(k.nrVerPropFas), RpcArg::ofText(k.nrSequCht),
                                       RpcArg::ofText(company), RpcArg::ofText(k.nrServCont)});
    }
};

TEST_P(DetailTest, CdasOfTheChtWithServerMadeHourTexts)
{
    auto reply = cdas(key1(), "C1", "01");
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    const auto& t = *reply.data;
    EXPECT_EQ(t.fields(), ChtRepository::cdaFields());
    ASSERT_EQ(t.rowCount(), 2u);
    auto col = [&](const char* name) { return static_cast<std::size_t>(t.indexOf(name)); };
    // Oldest service day first.
    EXPECT_DOUBLE_EQ(t.number(0, col("DTSERVPREST")), kDay - 3);
    EXPECT_EQ(t.text(0, col("IDSITSERVPREST")), "");
    EXPECT_FALSE(t.isNull(0, col("IDSITSERVPREST")));
    EXPECT_EQ(t.text(0, col("QTHRTOTAL_AUX")), "01:05");
    EXPECT_TRUE(t.isNull(0, col("QTHRDESLOCAMENTOFAT_AUX")));
    EXPECT_TRUE(t.isNull(0, col("DTHRENTR1TUR")));
    EXPECT_EQ(t.text(1, col("IDSITSERVPREST")), "C");
    EXPECT_EQ(t.text(1, col("NOMEFUNC")), "Ana");
    EXPECT_EQ(t.text(1, col("NOMECLIENTE")), "Alfa Máquinas Ltda");
    EXPECT_EQ(t.text(1, col("DSREFERENCIA")), "Visita");
    EXPECT_EQ(t.text(1, col("NMINTCLIENTE")), "Sr. Roberto");
    EXPECT_NEAR(t.number(1, col("DTHRENTR1TUR")), kDay - 2 + 8.0 / 24, 1e-9);
    EXPECT_NEAR(t.number(1, col("DTHRSAID1TUR")), kDay - 2 + 17.5 / 24, 1e-9);
    EXPECT_EQ(t.text(1, col("QTHRTOTAL_AUX")), "08:30");
    EXPECT_EQ(t.text(1, col("QTHRDESLOCAMENTOFAT_AUX")), "00:45");
    EXPECT_EQ(t.text(1, col("QTHRNFATU_AUX")), "00:30");
    EXPECT_EQ(t.text(1, col("QTHRAPROFATU_AUX")), "08:00");
    EXPECT_EQ(t.text(1, col("QTHRAPRCOMIS_AUX")), "100:00");
    EXPECT_EQ(t.text(1, col("NMOPERINC")), "ana");
    EXPECT_EQ(t.text(1, col("IDASSINATURACLIENTE")), "S");
    EXPECT_EQ(t.text(1, col("IDORIGINALENTREGUE")), "X");
}

TEST_P(DetailTest, CdasNeedEveryArgumentToMatch)
{
    EXPECT_EQ(cdas(key1(), "C1", "02").data->rowCount(), 0u);
    EXPECT_EQ(cdas(key1(), "C3", "01").data->rowCount(), 0u);
    EXPECT_EQ(cdas(key2(), "C1", "01").data->rowCount(), 1u);
    // An empty list on the screen sends eight empty texts.
    auto empty = cdas(ChtKey{}, "", "");
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.data->rowCount(), 0u);
    EXPECT_EQ(empty.data->fields(), ChtRepository::cdaFields());
    auto seven = call("GetConsultaCSA", std::vector<RpcArg>(7, RpcArg::ofText("")));
    EXPECT_EQ(seven.errorCode, wire::kInvalidParams);
    auto number = call("GetConsultaCSA", std::vector<RpcArg>(8, RpcArg::ofNumber(1)));
    EXPECT_EQ(number.errorCode, wire::kInvalidParams);
}

TEST_P(DetailTest, ParcelsOfTheClientsProposalByDueDate)
{
    auto reply =
        call("GetParcVenc", {RpcArg::ofText("C1"), RpcArg::ofText("P1"), RpcArg::ofText("01")});
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    const auto& t = *reply.data;
    EXPECT_EQ(t.fields(), ChtRepository::parcelFields());
    ASSERT_EQ(t.rowCount(), 3u);
    EXPECT_DOUBLE_EQ(t.number(0, 0), kDay);
    EXPECT_DOUBLE_EQ(t.number(1, 0), kDay + 30);
    EXPECT_DOUBLE_EQ(t.number(2, 0), kDay + 60);
    EXPECT_DOUBLE_EQ(t.number(0, 1), 1500.25);
    EXPECT_DOUBLE_EQ(t.number(2, 1), 999.99);
    auto otherClient =
        call("GetParcVenc", {RpcArg::ofText("C3"), RpcArg::ofText("P1"), RpcArg::ofText("01")});
    EXPECT_EQ(otherClient.data->rowCount(), 0u);
    auto wrong = call("GetParcVenc", {RpcArg::ofText("C1"), RpcArg::ofText("P1")});
    EXPECT_EQ(wrong.errorCode, wire::kInvalidParams);
}

TEST_P(DetailTest, GetDataGivesTheServersDateAndTime)
{
    const double before = CancelaChtService::localNow();
    auto reply = call("GetData", {});
    const double after = CancelaChtService::localNow();
    ASSERT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    const auto& t = *reply.data;
    ASSERT_EQ(t.columnCount(), 1u);
    EXPECT_EQ(t.fields()[0], (wire::FieldDef{"SYSDATE", wire::FieldType::DateTime, 0}));
    ASSERT_EQ(t.rowCount(), 1u);
    const double tolerance = 2.0 / 86400; // the packet keeps milliseconds
    EXPECT_GE(t.number(0, 0), before - tolerance);
    EXPECT_LE(t.number(0, 0), after + tolerance);
    EXPECT_EQ(call("GetData", {RpcArg::ofText("x")}).errorCode, wire::kInvalidParams);
}

CHT_SERVER_SUITE(DetailTest);

} // namespace
} // namespace cht::server::test
