// The change log (saved values, delta, merge) and the counted disabling of the controls.
#include "DataSetTestSupport.h"

#include "platform/dataset/ControlsDisabler.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace cht::platform::testing {
namespace {

std::vector<wire::Value> rowOf(const wire::ColumnTable& t, std::size_t row)
{
    std::vector<wire::Value> out;
    for (std::size_t c = 0; c < t.columnCount(); ++c)
        out.push_back(t.value(row, c));
    return out;
}

std::vector<wire::Value> oldRow(const wire::DeltaPacket& d, std::size_t change)
{
    return rowOf(d.before(), change);
}

std::vector<wire::Value> newRow(const wire::DeltaPacket& d, std::size_t change)
{
    return rowOf(d.after(), change);
}

std::string textOf(const wire::Value& v)
{
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : "<not text>";
}

TEST(DataSetChangeLog, PostsEnterTheLogWithSavedAndCurrentValues)
{
    SmallSet s;
    s.load();
    // Row 1 changed twice: its saved value stays the loaded one.
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.post();
    s.cds.edit();
    s.client.setAsString("Padaria Nova");
    s.cds.post();
    EXPECT_EQ(s.check.asString(), "S");
    EXPECT_EQ(s.check.oldValueAsString(), "N");
    EXPECT_EQ(s.client.oldValueAsString(), QString::fromUtf8("Padaria São Jorge"));
    EXPECT_EQ(s.value.oldValue(), s.value.value())
        << "an untouched field's saved value is its value";
    // While editing, the saved value is still the loaded one, not the edit buffer.
    s.cds.edit();
    s.check.setAsString("D");
    EXPECT_EQ(s.check.oldValueAsString(), "N");
    s.cds.cancel();

    s.cds.last();
    s.cds.edit();
    s.hours.setAsInteger(31);
    s.cds.post();
    EXPECT_EQ(s.cds.changeCount(), 3) << "every post counts";
    // Other rows, as a grid reads them while drawing, without moving the cursor.
    EXPECT_EQ(s.cds.oldValueAt(1, s.check.index()), wire::Value(std::string("N")));
    EXPECT_EQ(s.cds.valueAt(1, s.check.index()), wire::Value(std::string("S")));
    s.cds.setActiveRecord(1);
    EXPECT_EQ(s.client.asString(), "Padaria Nova");
    EXPECT_EQ(s.client.oldValueAsString(), QString::fromUtf8("Padaria São Jorge"));
    s.cds.setActiveRecord(0);
    EXPECT_EQ(s.client.asString(), "Mercado Bom Preço");
    EXPECT_EQ(s.cds.recNo(), 3);

    const wire::DeltaPacket d = s.cds.delta();
    ASSERT_EQ(d.fields().size(), 5u);
    EXPECT_EQ(d.fields()[1].name, "NMFANTCLIE");
    ASSERT_EQ(d.size(), 2u) << "changed rows only, each once";
    EXPECT_EQ(d.op(0), wire::ChangeOp::Update);
    EXPECT_EQ(textOf(d.before().value(0, 0)), "N");
    EXPECT_EQ(textOf(d.after().value(0, 0)), "S");
    EXPECT_EQ(textOf(d.before().value(0, 1)), "Padaria São Jorge");
    EXPECT_EQ(textOf(d.after().value(0, 1)), "Padaria Nova");
    EXPECT_EQ(d.before().value(0, 2), d.after().value(0, 2));
    EXPECT_EQ(d.before().value(1, 4), wire::Value(std::int64_t{30}));
    EXPECT_EQ(d.after().value(1, 4), wire::Value(std::int64_t{31}));

    const wire::DeltaPacket decoded = wire::decodeDeltaPacket(s.cds.deltaPacket());
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(oldRow(decoded, 0), oldRow(d, 0));
    EXPECT_EQ(newRow(decoded, 0), newRow(d, 0));

    s.cds.mergeChangeLog();
    EXPECT_EQ(s.cds.changeCount(), 0);
    EXPECT_TRUE(s.cds.delta().empty());
    EXPECT_EQ(s.hours.oldValue(), wire::Value(std::int64_t{31}));
    s.cds.first();
    EXPECT_EQ(s.check.oldValueAsString(), "S") << "current values became the saved values";

    // After a merge the next change is compared with the merged values.
    s.cds.edit();
    s.check.setAsString("N");
    s.cds.post();
    const wire::DeltaPacket again = s.cds.delta();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(textOf(again.before().value(0, 0)), "S");
    EXPECT_EQ(textOf(again.before().value(0, 1)), "Padaria Nova");
}

TEST(DataSetChangeLog, InsertsAndDeletesAndTheirCombinations)
{
    SmallSet s;
    s.load();
    s.cds.append();
    s.client.setAsString("Novo");
    s.cds.post();
    EXPECT_TRUE(s.client.oldValue() == wire::Value{}) << "a new row has no saved values";
    s.cds.append();
    s.client.setAsString("Efêmero");
    s.cds.post();
    s.cds.deleteRecord(); // inserted and deleted: nothing to send
    s.cds.first();
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.post();
    s.cds.deleteRecord(); // changed, then deleted: the delete carries the loaded values
    EXPECT_EQ(s.cds.changeCount(), 5);

    const wire::DeltaPacket d = s.cds.delta();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d.op(0), wire::ChangeOp::Insert);
    EXPECT_EQ(oldRow(d, 0), std::vector<wire::Value>(d.fields().size()))
        << "an insert: no old values";
    EXPECT_EQ(textOf(d.after().value(0, 1)), "Novo");
    EXPECT_EQ(d.op(1), wire::ChangeOp::Delete);
    EXPECT_EQ(newRow(d, 1), std::vector<wire::Value>(d.fields().size()))
        << "a delete: no new values";
    EXPECT_EQ(textOf(d.before().value(1, 0)), "N");
    EXPECT_EQ(textOf(d.before().value(1, 1)), "Padaria São Jorge");

    EXPECT_EQ(s.cds.recordCount(), 3);
    s.cds.mergeChangeLog();
    const std::string packet = s.cds.dataPacket();
    TClientDataSet copy(QStringLiteral("cdsCopia"));
    copy.loadFromPacket(packet);
    ASSERT_EQ(copy.recordCount(), 3);
    EXPECT_EQ(copy.fieldByName("NMFANTCLIE").asString(), "Oficina Irmãos Souza");
    copy.last();
    EXPECT_EQ(copy.fieldByName("NMFANTCLIE").asString(), "Novo");
}

TEST(DataSetChangeLog, WithKeyFieldsADeltaCarriesTheKeyAndWhatChanged)
{
    SmallSet s;
    s.client.inKey = true;
    s.load();
    s.cds.edit();
    s.check.setAsString("S");
    s.hours.setAsInteger(s.hours.asInteger()); // written, not changed
    s.cds.post();
    s.cds.next();
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.post();
    wire::DeltaPacket d = s.cds.delta();
    ASSERT_EQ(d.fields().size(), 2u) << "the key, then the one field that changed";
    EXPECT_EQ(d.fields()[0].name, "IDCHECK");
    EXPECT_EQ(d.fields()[1].name, "NMFANTCLIE");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(textOf(d.before().value(0, 0)), "N");
    EXPECT_EQ(textOf(d.after().value(0, 0)), "S");
    EXPECT_EQ(textOf(d.before().value(0, 1)), "Padaria São Jorge");
    EXPECT_EQ(newRow(d, 1).size(), 2u);

    // A row inserted or deleted goes whole, and so does every other row then.
    s.cds.last();
    s.cds.deleteRecord();
    d = s.cds.delta();
    EXPECT_EQ(d.fields().size(), 5u);
    EXPECT_EQ(oldRow(d, 0).size(), 5u);
}

TEST(DataSetChangeLog, WithLoggingOffPostsChangeRowsOnly)
{
    SmallSet s;
    s.load();
    s.cds.logChanges = false;
    s.cds.edit();
    s.check.setAsString("S");
    s.cds.post();
    EXPECT_EQ(s.check.asString(), "S");
    EXPECT_EQ(s.cds.changeCount(), 0);
    EXPECT_TRUE(s.cds.delta().empty());
}

TEST(DataSetChangeLog, MemoryAccountingCountsTheLogAndALoadFreesIt)
{
    SmallSet s;
    s.load();
    const std::size_t loaded = s.cds.memoryBytes();
    // An integer cell: the rows take no more room, only the log does.
    s.cds.edit();
    s.hours.setAsInteger(11);
    s.cds.post();
    const std::size_t posted = s.cds.memoryBytes();
    EXPECT_GT(posted, loaded);
    s.cds.deleteRecord();
    EXPECT_GT(s.cds.memoryBytes(), posted) << "the row order after a delete";
    s.load();
    EXPECT_EQ(s.cds.memoryBytes(), loaded);
}

TEST(DataSetControls, DisablingIsCountedAndTheLastEnableRefreshesOnce)
{
    SmallSet s;
    s.load();
    CountingLink link; // declared first: the source tells its links when it dies
    TDataSource dts(&s.cds);
    dts.addLink(&link);
    int stateChanges = 0;
    dts.onStateChange = [&](TDataSource&) { ++stateChanges; };

    s.cds.next();
    EXPECT_EQ(link.scrolls, 1);
    link = CountingLink();

    s.cds.disableControls();
    s.cds.disableControls();
    EXPECT_TRUE(s.cds.controlsDisabled());
    s.cds.first();
    while (!s.cds.eof()) {
        s.cds.edit();
        s.check.setAsString("S");
        s.cds.post();
        s.cds.next();
    }
    s.cds.first();
    EXPECT_EQ(link.total(), 0) << "controls do not follow a disabled set";
    EXPECT_EQ(stateChanges, 0);
    s.cds.enableControls();
    EXPECT_EQ(link.total(), 0) << "still disabled once";
    s.cds.enableControls();
    EXPECT_FALSE(s.cds.controlsDisabled());
    EXPECT_EQ(link.changed, 1);
    EXPECT_EQ(link.total(), 1);
    EXPECT_EQ(stateChanges, 0) << "the state is what the source last saw";
    s.cds.enableControls(); // nothing disabled: nothing happens
    EXPECT_EQ(link.total(), 1);
    s.cds.disableControls();
    s.cds.enableControls();
    EXPECT_EQ(link.changed, 2) << "a restoration run twice is harmless";

    // A state left different while disabled is reported once at the end.
    s.cds.disableControls();
    s.cds.edit();
    EXPECT_EQ(stateChanges, 0);
    s.cds.enableControls();
    EXPECT_EQ(stateChanges, 1);
    EXPECT_EQ(dts.state(), DataSetState::Edit);
    EXPECT_EQ(link.states, 1);
}

TEST(DataSetControls, DisablerEnablesOnEveryWayOutOfItsScope)
{
    struct RaisingLink : DataLink {
        void dataSetChanged() override { throw std::runtime_error("refresh"); }
    };
    SmallSet s;
    s.load();
    CountingLink link;
    RaisingLink raising;
    TDataSource dts(&s.cds);
    dts.addLink(&link);
    {
        const ControlsDisabler outer(s.cds);
        {
            const ControlsDisabler inner(s.cds);
            s.cds.last();
        }
        EXPECT_TRUE(s.cds.controlsDisabled()) << "guards nest";
        EXPECT_EQ(link.total(), 0);
    }
    EXPECT_FALSE(s.cds.controlsDisabled());
    EXPECT_EQ(link.total(), 1) << "one refresh at the end";

    auto failingWalk = [&] {
        const ControlsDisabler disabled(s.cds);
        s.cds.first();
        throw DataSetError("walk");
    };
    EXPECT_THROW(failingWalk(), DataSetError);
    EXPECT_FALSE(s.cds.controlsDisabled());
    EXPECT_EQ(link.total(), 2);

    // A refresh that raises reaches the caller, unless an error is already leaving the scope.
    dts.addLink(&raising);
    try {
        {
            const ControlsDisabler disabled(s.cds);
        }
        ADD_FAILURE() << "the refresh error was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "refresh");
    }
    try {
        failingWalk();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "walk");
    }
    EXPECT_FALSE(s.cds.controlsDisabled());
    dts.removeLink(&raising);
}

TEST(DataSetControls, DataSourceReportsStateChangesAndHandlersDetach)
{
    SmallSet s;
    TDataSource dts;
    std::vector<DataSetState> seen;
    dts.onStateChange = [&](TDataSource& src) { seen.push_back(src.state()); };
    dts.setDataSet(&s.cds);
    s.load();
    s.cds.edit();
    s.cds.post();
    EXPECT_EQ(seen, (std::vector<DataSetState>{DataSetState::Browse, DataSetState::Edit,
                                               DataSetState::Browse}));

    // Detached as the screens suspend their reactions, then attached again.
    auto handler = dts.onStateChange;
    int scrolls = 0;
    s.cds.afterScroll = [&](TClientDataSet&) { ++scrolls; };
    auto scroll = s.cds.afterScroll;
    dts.onStateChange = {};
    s.cds.afterScroll = {};
    s.cds.edit();
    s.cds.post();
    s.cds.next();
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(scrolls, 0);
    dts.onStateChange = handler;
    s.cds.afterScroll = scroll;
    s.cds.edit();
    s.cds.next();
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(scrolls, 1);

    // A new data set refreshes the links; a data set that goes away leaves the source empty.
    CountingLink a;
    dts.addLink(&a);
    auto cds = std::make_unique<TClientDataSet>(QStringLiteral("cdsCurto"));
    cds->addField("X", FieldType::Text, 1);
    dts.setDataSet(cds.get());
    EXPECT_GE(a.changed, 1);
    cds.reset();
    EXPECT_EQ(dts.dataSet(), nullptr);
    EXPECT_EQ(dts.state(), DataSetState::Inactive);
    dts.removeLink(&a);
}

} // namespace
} // namespace cht::platform::testing
