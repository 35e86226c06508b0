// Loading packets, the cursor and the edit states of the client data set.
#include "DataSetTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cht::platform::testing {
namespace {

struct EventLog {
    std::vector<std::string> events;
    void attach(TClientDataSet& cds, TDataSource& dts)
    {
        cds.beforeOpen = [this](TClientDataSet&) { events.push_back("beforeOpen"); };
        cds.afterOpen = [this](TClientDataSet&) { events.push_back("afterOpen"); };
        cds.afterScroll = [this](TClientDataSet& d) {
            events.push_back("afterScroll:" + std::to_string(d.recNo()));
        };
        cds.beforePost = [this](TClientDataSet&) { events.push_back("beforePost"); };
        cds.afterPost = [this](TClientDataSet&) { events.push_back("afterPost"); };
        cds.afterCancel = [this](TClientDataSet&) { events.push_back("afterCancel"); };
        dts.onStateChange = [this](TDataSource& s) {
            static const char* names[] = {"inactive", "browse", "edit", "insert"};
            events.push_back(std::string("state:") + names[static_cast<int>(s.state())]);
        };
    }
};

TEST(DataSetLoad, ClosesAndReopensWithEventsInOrderAndFirstRowCurrent)
{
    SmallSet s;
    TDataSource dts(&s.cds);
    EventLog log;
    log.attach(s.cds, dts);

    s.load();
    EXPECT_EQ(log.events, (std::vector<std::string>{"beforeOpen", "state:browse", "afterOpen",
                                                    "afterScroll:1"}));
    EXPECT_EQ(s.cds.recordCount(), 3);
    EXPECT_EQ(s.cds.recNo(), 1);
    EXPECT_TRUE(s.cds.bof());
    EXPECT_FALSE(s.cds.eof());
    EXPECT_EQ(s.client.asString(), QString::fromUtf8("Padaria São Jorge"));

    // A second load closes first; the change log and the cursor start over.
    s.cds.last();
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.post();
    ASSERT_EQ(s.cds.changeCount(), 1);
    log.events.clear();
    s.load();
    EXPECT_EQ(log.events, (std::vector<std::string>{"state:inactive", "beforeOpen", "state:browse",
                                                    "afterOpen", "afterScroll:1"}));
    EXPECT_EQ(s.cds.changeCount(), 0);
    EXPECT_TRUE(s.cds.delta().empty());
    s.cds.last();
    EXPECT_EQ(s.check.asString(), "S") << "the packet's value, not the discarded edit";
}

TEST(DataSetLoad, EmptyPacketStillOpensAndScrolls)
{
    SmallSet s;
    TDataSource dts(&s.cds);
    EventLog log;
    log.attach(s.cds, dts);
    s.cds.loadFromPacket(smallPacket({}));
    EXPECT_EQ(log.events, (std::vector<std::string>{"beforeOpen", "state:browse", "afterOpen",
                                                    "afterScroll:0"}));
    EXPECT_TRUE(s.cds.active());
    EXPECT_TRUE(s.cds.isEmpty());
    EXPECT_TRUE(s.cds.eof());
    EXPECT_TRUE(s.cds.bof());
    EXPECT_TRUE(s.client.isNull());
}

TEST(DataSetLoad, BadPacketNamesTheFieldAndLeavesTheSetAsItWas)
{
    SmallSet s;
    s.load();
    s.cds.next();
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.post();
    TDataSource dts(&s.cds);
    EventLog log;
    log.attach(s.cds, dts);

    struct Bad {
        std::string skip, retype;
        FieldType type;
        const char* field;
    };
    const std::vector<Bad> bad = {
        {"NMFANTCLIE", "", FieldType::Text, "NMFANTCLIE"},
        {"", "VRFATU", FieldType::DateTime, "VRFATU"},
        {"", "DTINCLCHT", FieldType::Float, "DTINCLCHT"},
        {"", "QTHORAS", FieldType::Text, "QTHORAS"},
        {"", "IDCHECK", FieldType::Integer, "IDCHECK"},
    };
    for (const Bad& b : bad) {
        try {
            s.cds.loadFromPacket(smallPacket(smallRows(), b.skip, b.retype, b.type));
            ADD_FAILURE() << "no error for " << b.field;
        } catch (const DataSetError& e) {
            EXPECT_NE(std::string(e.what()).find(b.field), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(s.cds.state(), DataSetState::Browse);
    EXPECT_EQ(s.cds.recNo(), 2);
    EXPECT_EQ(s.cds.changeCount(), 1);
    EXPECT_EQ(s.check.asString(), "S");
    EXPECT_EQ(s.check.oldValueAsString(), "N");
}

TEST(DataSetLoad, MapsByNameIgnoresExtrasAndAcceptsIntegersForFloats)
{
    SmallSet s;
    // Columns in another order, names in another case, one column the set does not know, and
    // integers where the set keeps floats.
    wire::ColumnTable t({{"qthoras", FieldType::Integer, 0},
                         {"EXTRA", FieldType::Text, 5},
                         {"VrFatu", FieldType::Integer, 0},
                         {"NMFANTCLIE", FieldType::Text, 50},
                         {"DTINCLCHT", FieldType::DateTime, 0},
                         {"IDCHECK", FieldType::Text, 1}});
    const std::size_t r = t.appendRow();
    t.setInteger(r, 0, 7);
    t.setText(r, 1, "extra");
    t.setInteger(r, 2, 1500);
    t.setText(r, 3, "Cliente");
    t.setNumber(r, 4, 46000.0);
    t.setText(r, 5, "N");
    s.cds.loadFromPacket(std::move(t));
    EXPECT_EQ(s.hours.asInteger(), 7);
    EXPECT_DOUBLE_EQ(s.value.asFloat(), 1500.0);
    EXPECT_TRUE(std::holds_alternative<double>(s.value.value()));
    EXPECT_EQ(s.client.asString(), "Cliente");
    EXPECT_EQ(s.cds.table().columnCount(), 5u);
    EXPECT_EQ(s.cds.findField("EXTRA"), nullptr);
    EXPECT_EQ(&s.cds.fieldByName("vrfatu"), &s.value);
    EXPECT_THROW(s.cds.fieldByName("EXTRA"), DataSetError);
}

TEST(DataSetLoad, WithoutPersistentFieldsThePacketsFieldsBecomeTheFields)
{
    TClientDataSet cds(QStringLiteral("cdsAdHoc"));
    cds.loadFromPacket(smallPacket(smallRows()));
    ASSERT_EQ(cds.fieldCount(), 5);
    EXPECT_EQ(cds.field(1).fieldName(), "NMFANTCLIE");
    EXPECT_EQ(cds.field(1).size(), 50);
    EXPECT_EQ(cds.fieldByName("QTHORAS").asInteger(), 10);
    cds.loadFromPacket(smallPacket(smallRows(), "NMFANTCLIE"));
    EXPECT_EQ(cds.fieldCount(), 4);
    EXPECT_EQ(cds.findField("NMFANTCLIE"), nullptr);
}

TEST(DataSetLoad, TextsAreCutToTheFieldSizeInCharacters)
{
    TClientDataSet cds(QStringLiteral("cdsCorte"));
    TField& name = cds.addField(QStringLiteral("NOME"), FieldType::Text, 3);
    // The packet declares a wider text: the set cuts each value to its own size on load.
    wire::ColumnTable t({{"NOME", FieldType::Text, 10}});
    t.setText(t.appendRow(), 0, "ÁÉÍÓÚ");
    cds.loadFromPacket(std::move(t));
    EXPECT_EQ(name.asString(), QString::fromUtf8("ÁÉÍ"));
    cds.edit();
    name.setAsString(QString::fromUtf8("çãõêâ"));
    EXPECT_EQ(name.asString(), QString::fromUtf8("çãõ"));
    cds.post();
    EXPECT_EQ(name.asString(), QString::fromUtf8("çãõ"));
    EXPECT_EQ(std::get<std::string>(name.value()).size(), 6u);
}

TEST(DataSetCursor, MovesReportEdgesAndFireAfterScrollOnEachChange)
{
    SmallSet s;
    int scrolls = 0;
    s.cds.afterScroll = [&](TClientDataSet&) { ++scrolls; };
    EXPECT_TRUE(s.cds.isEmpty()) << "a closed set counts as empty";
    EXPECT_EQ(s.cds.recordCount(), 0);
    EXPECT_THROW(s.cds.next(), DataSetError);
    s.load();
    scrolls = 0;

    s.cds.next();
    EXPECT_EQ(s.cds.recNo(), 2);
    EXPECT_FALSE(s.cds.bof());
    s.cds.next();
    EXPECT_EQ(s.cds.recNo(), 3);
    EXPECT_FALSE(s.cds.eof());
    s.cds.next();
    EXPECT_TRUE(s.cds.eof());
    EXPECT_EQ(s.cds.recNo(), 3);
    EXPECT_EQ(scrolls, 2) << "next on the last row does not move";
    s.cds.prior();
    EXPECT_EQ(s.cds.recNo(), 2);
    EXPECT_FALSE(s.cds.eof());
    s.cds.first();
    EXPECT_TRUE(s.cds.bof());
    s.cds.prior();
    EXPECT_TRUE(s.cds.bof());
    EXPECT_EQ(s.cds.recNo(), 1);
    s.cds.last();
    EXPECT_TRUE(s.cds.eof());
    EXPECT_EQ(s.check.asString(), "S");
    s.cds.setRecNo(99);
    EXPECT_EQ(s.cds.recNo(), 3);
    s.cds.setRecNo(0);
    EXPECT_EQ(s.cds.recNo(), 1);
    EXPECT_EQ(scrolls, 6);

    // The walk the screens do: every row once, first to last.
    std::vector<std::string> seen;
    s.cds.first();
    while (!s.cds.eof()) {
        seen.push_back(s.client.asString().toStdString());
        s.cds.next();
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.back(), "Mercado Bom Preço");

    s.cds.close();
    EXPECT_TRUE(s.cds.isEmpty());
    EXPECT_EQ(s.cds.recNo(), 0);
    EXPECT_TRUE(s.client.isNull());
}

TEST(DataSetStates, EditPostCancelAndTheirEvents)
{
    SmallSet s;
    s.load();
    TDataSource dts(&s.cds);
    EventLog log;
    log.attach(s.cds, dts);

    s.cds.post(); // browse: nothing
    s.cds.cancel();
    EXPECT_TRUE(log.events.empty());
    try {
        s.check.setAsString("S");
        ADD_FAILURE() << "writing needs edit state";
    } catch (const DataSetError& e) {
        EXPECT_STREQ(e.what(), "Não é possível alterar o campo IDCHECK: o conjunto de dados "
                               "cdsTeste não está em edição nem em inclusão.");
    }

    s.cds.edit();
    EXPECT_EQ(s.cds.state(), DataSetState::Edit);
    s.client.setAsString("Outro");
    EXPECT_EQ(s.client.asString(), "Outro");
    EXPECT_EQ(s.cds.valueAt(1, s.client.index()), wire::Value(std::string("Outro")));
    s.cds.cancel();
    EXPECT_EQ(s.client.asString(), QString::fromUtf8("Padaria São Jorge"));
    s.cds.edit();
    s.cds.cancel(); // nothing changed: after-cancel still fires
    s.cds.edit();
    s.value.setAsFloat(10.0);
    s.cds.post();
    EXPECT_DOUBLE_EQ(s.value.asFloat(), 10.0);
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"state:edit", "state:browse", "afterCancel", "state:edit",
                                        "state:browse", "afterCancel", "state:edit", "beforePost",
                                        "state:browse", "afterPost"}));

    // A before-post that refuses keeps the edit open and the row untouched.
    s.cds.beforePost = [](TClientDataSet&) { throw DataSetError("recusado"); };
    s.cds.edit();
    s.value.setAsFloat(99.0);
    EXPECT_THROW(s.cds.post(), DataSetError);
    EXPECT_EQ(s.cds.state(), DataSetState::Edit);
    s.cds.beforePost = {};
    s.cds.cancel();
    EXPECT_DOUBLE_EQ(s.value.asFloat(), 10.0);
    EXPECT_EQ(s.cds.changeCount(), 1);
}

TEST(DataSetStates, LeavingARowPostsAModifiedEditAndCancelsAnUnmodifiedOne)
{
    SmallSet s;
    s.load();
    int posts = 0, cancels = 0;
    s.cds.afterPost = [&](TClientDataSet&) { ++posts; };
    s.cds.afterCancel = [&](TClientDataSet&) { ++cancels; };
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.next();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(s.cds.state(), DataSetState::Browse);
    EXPECT_EQ(s.cds.recNo(), 2);
    s.cds.first();
    EXPECT_EQ(s.check.asString(), "S");
    s.cds.edit();
    s.cds.last();
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(s.cds.changeCount(), 1);

    // close discards an open edit without events
    s.cds.edit();
    s.check.setAsString("N");
    s.cds.close();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(s.cds.state(), DataSetState::Inactive);
}

TEST(DataSetStates, EditOnAnEmptyOrClosedSetIsRefused)
{
    SmallSet s;
    EXPECT_THROW(s.cds.edit(), DataSetError);
    EXPECT_THROW(s.cds.post(), DataSetError);
    s.cds.open();
    EXPECT_THROW(s.cds.edit(), DataSetError);
    EXPECT_THROW(s.cds.deleteRecord(), DataSetError);
    EXPECT_THROW(s.cds.addField("NOVO", FieldType::Text, 1), DataSetError)
        << "fields are defined before opening";
}

TEST(DataSetStates, AppendAndDeleteKeepTheCursorSensible)
{
    SmallSet s;
    s.cds.open();
    int scrolls = 0;
    s.cds.afterScroll = [&](TClientDataSet&) { ++scrolls; };
    for (const char* key : {"A", "B", "C"}) {
        s.cds.append();
        EXPECT_EQ(s.cds.state(), DataSetState::Insert);
        EXPECT_TRUE(s.client.isNull());
        s.client.setAsString(key);
        s.cds.post();
    }
    EXPECT_EQ(scrolls, 3);
    EXPECT_EQ(s.cds.recordCount(), 3);
    EXPECT_EQ(s.cds.recNo(), 3);
    EXPECT_EQ(s.client.asString(), "C");

    s.cds.append();
    s.cds.cancel();
    EXPECT_EQ(s.cds.recordCount(), 3);
    EXPECT_EQ(s.client.asString(), "C");

    s.cds.setRecNo(2);
    s.cds.deleteRecord();
    EXPECT_EQ(s.cds.recordCount(), 2);
    EXPECT_EQ(s.client.asString(), "C") << "the next row becomes current";
    s.cds.deleteRecord();
    EXPECT_EQ(s.client.asString(), "A") << "deleting the last row moves back";
    s.cds.deleteRecord();
    EXPECT_TRUE(s.cds.isEmpty());
    EXPECT_TRUE(s.cds.eof());

    // A packet of what is left, and a set loaded from it.
    s.cds.append();
    s.client.setAsString("D");
    s.check.setAsString("S");
    s.cds.post();
    TClientDataSet copy(QStringLiteral("cdsCopia"));
    copy.loadFromPacket(s.cds.dataPacket());
    ASSERT_EQ(copy.recordCount(), 1);
    EXPECT_EQ(copy.fieldByName("NMFANTCLIE").asString(), "D");

    s.cds.emptyDataSet();
    EXPECT_TRUE(s.cds.active());
    EXPECT_TRUE(s.cds.isEmpty());
    EXPECT_EQ(s.cds.changeCount(), 0);
}

} // namespace
} // namespace cht::platform::testing
