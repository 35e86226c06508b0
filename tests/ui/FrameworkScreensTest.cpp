// The base screens: the grid screen in the MDI area, the filter dialog and the routine dialog.
#include "framework/DialogResponder.h"
#include "module/contracts/Forms.h"
#include "module/contracts/TfrmFiltroPadrao.h"
#include "module/contracts/TfrmPadraoGrid.h"
#include "module/contracts/TfrmRotiGeral.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>

using namespace cht::framework;
using cht::wire::FieldType;

namespace {

class GridScreen : public TfrmPadraoGrid {
public:
    int activations = 0, closes = 0, verifies = 0;
    TCloseAction closeAs = TCloseAction::caFree;
    bool callBaseClose = true;
    void FormActivate() override { ++activations; }
    void FormClose(TCloseAction& action) override
    {
        ++closes;
        if (callBaseClose)
            TfrmPadraoGrid::FormClose(action);
        else
            action = closeAs;
    }
    void sbtVerificarClick(QObject*) override { ++verifies; }
};

class FrameworkScreensTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_main.resize(1000, 700);
        m_area = new QMdiArea(&m_main);
        m_main.setCentralWidget(m_area);
        m_main.show();
        Application::SetMainForm(&m_main);
        Application::SetMdiArea(m_area);
        Application::SetErrorDisplay([this](const QString& m) { m_errors << m; });
    }
    void TearDown() override
    {
        Application::SetErrorDisplay(nullptr);
        Application::SetMdiArea(nullptr);
        Application::SetMainForm(nullptr);
        DialogResponder::clear();
        Application::ProcessMessages();
    }
    QMainWindow m_main;
    QMdiArea* m_area = nullptr;
    QStringList m_errors;
};

void loadRows(cht::platform::TClientDataSet& cds, int rows)
{
    cht::wire::ColumnTable t({{"NOME", FieldType::Text, 20}});
    for (int i = 0; i < rows; ++i)
        t.setText(t.appendRow(), 0, "linha " + std::to_string(i));
    cds.loadFromPacket(std::move(t));
}

} // namespace

TEST_F(FrameworkScreensTest, GridScreenLivesInTheMdiAreaAndItsCloseFreesIt)
{
    QPointer<GridScreen> screen = CreateForm<GridScreen>();
    screen->Show();
    QPointer<QMdiSubWindow> sub = screen->SubWindow();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->mdiArea(), m_area);
    EXPECT_GE(screen->activations, 1);

    // Layout the screens build on.
    EXPECT_EQ(screen->panMenu->height(), 29);
    EXPECT_EQ(screen->panNavigator->height(), 19);
    EXPECT_EQ(screen->sbtFechar->geometry(), QRect(155, 4, 21, 21));
    for (int n = 1; n <= 5; ++n)
        EXPECT_LT(screen->BaseActionButton(n)->geometry().right(), 181);
    EXPECT_EQ(screen->dbgPadrao->dataSource(), &screen->dtsPadrao);
    EXPECT_EQ(screen->pgcPadrao->widget(0), screen->tshPadrao);

    QTest::mouseClick(screen->sbtFechar, Qt::LeftButton);
    EXPECT_EQ(screen->closes, 1);
    Application::ProcessMessages();
    EXPECT_TRUE(screen.isNull());
    EXPECT_TRUE(sub.isNull());
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(FrameworkScreensTest, ScreenKeepsItsDesignSizeInsideTheMdiFrame)
{
    QPointer<GridScreen> screen = CreateForm<GridScreen>();
    screen->resize(640, 360);
    screen->Show();
    Application::ProcessMessages();
    EXPECT_EQ(screen->size(), QSize(640, 360));
    screen->Close();
    Application::ProcessMessages();
}

TEST_F(FrameworkScreensTest, WindowCloseButtonAlsoRunsFormClose)
{
    QPointer<GridScreen> screen = CreateForm<GridScreen>();
    screen->callBaseClose = false;
    screen->closeAs = TCloseAction::caNone;
    screen->Show();
    screen->SubWindow()->close();
    Application::ProcessMessages();
    ASSERT_FALSE(screen.isNull()); // caNone keeps it
    EXPECT_EQ(screen->closes, 1);
    EXPECT_TRUE(screen->SubWindow()->isVisible());

    screen->callBaseClose = true;
    screen->SubWindow()->close();
    Application::ProcessMessages();
    EXPECT_TRUE(screen.isNull());
}

TEST_F(FrameworkScreensTest, ReactivatingAScreenRunsFormActivate)
{
    GridScreen* a = CreateForm<GridScreen>();
    GridScreen* b = CreateForm<GridScreen>();
    a->Show();
    b->Show();
    const int before = a->activations;
    m_area->setActiveSubWindow(a->SubWindow());
    EXPECT_EQ(a->activations, before + 1);
    m_area->setActiveSubWindow(b->SubWindow());
    m_area->setActiveSubWindow(a->SubWindow());
    EXPECT_EQ(a->activations, before + 2);
    a->Close();
    b->Close();
}

TEST_F(FrameworkScreensTest, BaseCommandStateFollowsTheListState)
{
    GridScreen* screen = CreateForm<GridScreen>();
    cht::platform::TClientDataSet cds("cdsLista");
    cds.addField("NOME", FieldType::Text, 20);
    screen->dtsPadrao.setDataSet(&cds);
    screen->dtsPadraoStateChange(&screen->dtsPadrao);
    EXPECT_FALSE(screen->sbtAlterar->Enabled()); // closed
    EXPECT_FALSE(screen->sbtVerificar->Enabled());

    loadRows(cds, 3);
    EXPECT_TRUE(screen->sbtAlterar->Enabled());
    EXPECT_TRUE(screen->mnuAlterar->isEnabled());
    EXPECT_TRUE(screen->sbtVerificar->Enabled());
    EXPECT_FALSE(screen->BaseMenuItem(6)->isEnabled());
    EXPECT_FALSE(screen->BaseMenuItem(7)->isEnabled());

    // The edit button runs the virtual edit action through the dispatcher.
    QTest::mouseClick(screen->sbtAlterar, Qt::LeftButton);
    EXPECT_EQ(cds.state(), cht::platform::DataSetState::Edit);
    EXPECT_FALSE(screen->sbtAlterar->Enabled());
    EXPECT_TRUE(screen->mnuGravar->isEnabled());
    EXPECT_TRUE(screen->mnuCancelar->isEnabled());
    screen->mnuCancelar->trigger();
    EXPECT_EQ(cds.state(), cht::platform::DataSetState::Browse);

    loadRows(cds, 0);
    EXPECT_FALSE(screen->sbtAlterar->Enabled());
    EXPECT_TRUE(screen->sbtVerificar->Enabled()); // an empty list may be reloaded
    screen->dtsPadrao.setDataSet(nullptr);
    delete screen;
}

TEST_F(FrameworkScreensTest, StateChangeErrorStopsTheHandlerThatChangedTheState)
{
    class RefusingScreen : public GridScreen {
    public:
        bool editReturned = false;
        void dtsPadraoStateChange(cht::platform::TDataSource* sender) override
        {
            TfrmPadraoGrid::dtsPadraoStateChange(sender);
            if (sender->state() == cht::platform::DataSetState::Edit)
                throw std::runtime_error("Edição recusada.");
        }
        void sbtAlterarClick(QObject* sender) override
        {
            TfrmPadraoGrid::sbtAlterarClick(sender);
            editReturned = true;
        }
    };
    auto* screen = CreateForm<RefusingScreen>();
    cht::platform::TClientDataSet cds;
    cds.addField("NOME", FieldType::Text, 20);
    screen->dtsPadrao.setDataSet(&cds);
    loadRows(cds, 2);
    QTest::mouseClick(screen->sbtAlterar, Qt::LeftButton);
    EXPECT_FALSE(screen->editReturned);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("Edição recusada.")});
    screen->dtsPadrao.setDataSet(nullptr);
    delete screen;
}

TEST_F(FrameworkScreensTest, VerifyRunsFromItsButtonMenuAndF5)
{
    GridScreen* screen = CreateForm<GridScreen>();
    cht::platform::TClientDataSet cds;
    cds.addField("NOME", FieldType::Text, 20);
    screen->dtsPadrao.setDataSet(&cds);
    loadRows(cds, 2);
    screen->Show();
    QTest::mouseClick(screen->sbtVerificar, Qt::LeftButton);
    screen->mnuVerificar->trigger();
    int key = Qt::Key_F5;
    screen->dbgPadraoKeyDown(screen->dbgPadrao, key, Qt::NoModifier);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(screen->verifies, 3);
    screen->dtsPadrao.setDataSet(nullptr);
    delete screen;
}

TEST_F(FrameworkScreensTest, SearchGoesRoundFromTheNextRowAndRefreshesTheControlsOnce)
{
    struct Refreshes : cht::platform::DataLink {
        int count = 0;
        void dataSetChanged() override { ++count; }
    } refreshes;
    GridScreen* screen = CreateForm<GridScreen>();
    cht::platform::TClientDataSet cds("cdsLista");
    cds.addField("NOME", FieldType::Text, 20);
    screen->dtsPadrao.setDataSet(&cds);
    screen->dtsPadrao.addLink(&refreshes);
    loadRows(cds, 4);
    QString typed;
    bool disabledAtMessage = true;
    DialogResponder::set([&](const DialogRequest& r) -> std::optional<DialogReply> {
        if (r.kind == "info")
            disabledAtMessage = cds.controlsDisabled();
        return DialogReply{mrOk, typed, {}};
    });

    cds.setRecNo(3);
    refreshes.count = 0;
    typed = "LINHA 1";
    screen->sbtLocalizarClick(nullptr);
    EXPECT_EQ(cds.recNo(), 2) << "round past the last row";
    EXPECT_EQ(refreshes.count, 1);
    typed = "linha";
    screen->sbtLocalizarClick(nullptr);
    EXPECT_EQ(cds.recNo(), 3) << "from the row after the current one";
    EXPECT_EQ(DialogResponder::records().size(), 2u) << "no message when found";

    typed = "nada";
    screen->sbtLocalizarClick(nullptr);
    EXPECT_EQ(cds.recNo(), 3);
    ASSERT_EQ(DialogResponder::records().size(), 4u);
    EXPECT_EQ(DialogResponder::records().back().text, QString("Texto \"nada\" não encontrado."));
    EXPECT_FALSE(disabledAtMessage) << "the message shows over live controls";

    // A shown text that raises reaches the caller with the controls enabled again.
    cds.fieldByName("NOME").onGetText = [](cht::platform::TField&, QString&, bool) {
        throw cht::platform::DataSetError("texto");
    };
    typed = "x";
    EXPECT_THROW(screen->sbtLocalizarClick(nullptr), cht::platform::DataSetError);
    EXPECT_FALSE(cds.controlsDisabled());
    screen->dtsPadrao.setDataSet(nullptr);
    delete screen;
}

TEST_F(FrameworkScreensTest, ShortcutsBelongToTheScreenWithTheFocus)
{
    GridScreen* a = CreateForm<GridScreen>();
    GridScreen* b = CreateForm<GridScreen>();
    cht::platform::TClientDataSet cds;
    cds.addField("NOME", FieldType::Text, 20);
    a->dtsPadrao.setDataSet(&cds);
    b->dtsPadrao.setDataSet(&cds);
    loadRows(cds, 2);
    a->Show();
    b->Show();
    m_main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_main));
    m_area->setActiveSubWindow(a->SubWindow());
    a->dbgPadrao->setFocus();
    // Both screens have F5: only the one holding the focus reloads.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    EXPECT_EQ(a->verifies, 1);
    EXPECT_EQ(b->verifies, 0);
    a->dtsPadrao.setDataSet(nullptr);
    b->dtsPadrao.setDataSet(nullptr);
    delete a;
    delete b;
}

namespace {

class FilterDialog : public TfrmFiltroPadrao {
public:
    int confirms = 0, activations = 0, closes = 0;
    bool keep = false;
    void FormActivate() override { ++activations; }
    void FormClose(TCloseAction& action) override
    {
        ++closes;
        if (keep)
            action = TCloseAction::caHide;
        else
            TfrmFiltroPadrao::FormClose(action);
    }
    void sbtConfirmaClick(QObject* sender) override
    {
        ++confirms;
        TfrmFiltroPadrao::sbtConfirmaClick(sender);
    }
};

class RoutineDialog : public TfrmRotiGeral {
public:
    int cancels = 0, activations = 0;
    void FormActivate() override { ++activations; }
    void sbtCancelClick(QObject* sender) override
    {
        ++cancels;
        TfrmRotiGeral::sbtCancelClick(sender);
    }
};

} // namespace

TEST_F(FrameworkScreensTest, FilterEscClosesWithoutConfirming)
{
    QPointer<FilterDialog> filter = CreateForm<FilterDialog>();
    DialogResponder::whenModal([](QDialog* d) {
        ASSERT_NE(d, nullptr);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(filter->ShowModal(), mrCancel);
    EXPECT_EQ(filter->confirms, 0);
    EXPECT_EQ(filter->closes, 1);
    EXPECT_EQ(filter->activations, 1);
    Application::ProcessMessages();
    EXPECT_TRUE(filter.isNull()); // the base frees it
}

TEST_F(FrameworkScreensTest, FilterKeptHiddenActivatesOnEachShowingAndConfirmsWithEnter)
{
    FilterDialog* filter = CreateForm<FilterDialog>();
    filter->keep = true;
    DialogResponder::whenModal([](QDialog* d) {
        ASSERT_NE(d, nullptr);
        QTest::mouseClick(d->findChild<cht::platform::TButtonFlat*>("sbtFechar"), Qt::LeftButton);
    });
    EXPECT_EQ(filter->ShowModal(), mrCancel);
    DialogResponder::whenModal([](QDialog* d) {
        ASSERT_NE(d, nullptr);
        QTest::keyClick(d, Qt::Key_Return);
    });
    EXPECT_EQ(filter->ShowModal(), mrOk);
    Application::ProcessMessages();
    EXPECT_EQ(filter->confirms, 1);
    EXPECT_EQ(filter->activations, 2);
    EXPECT_EQ(filter->closes, 2);
    EXPECT_FALSE(filter->isVisible());
    delete filter;
}

TEST_F(FrameworkScreensTest, RoutineDialogEscIsCancelAndCloseFreesIt)
{
    QPointer<RoutineDialog> dialog = CreateForm<RoutineDialog>();
    DialogResponder::whenModal([](QDialog* d) {
        ASSERT_NE(d, nullptr);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_EQ(dialog->cancels, 1);
    EXPECT_EQ(dialog->activations, 1);
    Application::ProcessMessages();
    EXPECT_TRUE(dialog.isNull());
}
