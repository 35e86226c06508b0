// The batch actions on the ticked CHTs against a fake server: the key set and its one call, the
// reload, the question before deletion, the empty-selection errors, the restoration on every way
// out; the not-billing marking with its justification screen, and viewing a justification.
#include "ScreenTestSupport.h"

#include "framework/DialogResponder.h"
#include "module/Cli_cot09802.h"
#include "module/contracts/Forms.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using cht::framework::Application;
using cht::framework::DialogReply;
using cht::framework::DialogRequest;
using cht::framework::DialogResponder;
using cht::framework::TCursor;
using namespace screen_test;

namespace {

class Batch : public OpenScreenTest {
protected:
    void SetUp() override
    {
        OpenScreenTest::SetUp();
        if (HasFatalFailure())
            return;
        std::vector<Cht> rows;
        for (int i = 1; i <= 10; ++i)
            rows.push_back(
                {QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')), QStringLiteral("P")});
        rows[6].tick = QStringLiteral("D"); // marked earlier: never part of an action
        load(*screen, *server, rows);
        server->requests.clear();
        errors().clear();
        // A modal screen nobody answers would hang the run: closed after about three seconds.
        QObject::connect(&m_watchdog, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal != m_lastModal) {
                m_lastModal = modal;
                m_staleTicks = 0;
                return;
            }
            if (++m_staleTicks < 3)
                return;
            ADD_FAILURE() << "a modal window was left open: " << modal->objectName().toStdString();
            modal->close();
        });
        m_watchdog.start(1000);
    }
    void TearDown() override
    {
        m_watchdog.stop();
        DialogResponder::clear();
        OpenScreenTest::TearDown();
    }

    QTimer m_watchdog;
    QWidget* m_lastModal = nullptr;
    int m_staleTicks = 0;

    void tick(std::initializer_list<int> recNos)
    {
        for (int r : recNos) {
            screen->cdsCancelaCHT.setRecNo(r);
            screen->dbgPadraoCellClick(*screen->dbgPadrao->columnByFieldName("IDCHECK"));
        }
    }
    QString at(int recNo, const char* field)
    {
        screen->cdsCancelaCHT.setActiveRecord(recNo);
        const QString v = screen->cdsCancelaCHT.fieldByName(QLatin1String(field)).asString();
        screen->cdsCancelaCHT.setActiveRecord(0);
        return v;
    }
    /// Answers every question with `answer` and records what was asked.
    void answerQuestions(int answer)
    {
        DialogResponder::set([answer](const DialogRequest& r) -> std::optional<DialogReply> {
            if (r.kind == QLatin1String("message"))
                return DialogReply{answer, {}, {}};
            return std::nullopt;
        });
    }
    QStringList questions() const
    {
        QStringList out;
        for (const DialogRequest& r : DialogResponder::records())
            if (r.kind == QLatin1String("message"))
                out << r.text;
        return out;
    }
    /// The NRSEQUCHT of each key of the first key packet sent.
    QStringList sentKeys(std::size_t request)
    {
        const cht::wire::ColumnTable& t = server->requests.at(request).params.at(0).data;
        QStringList out;
        for (std::size_t r = 0; r < t.rowCount(); ++r)
            out << QString::fromUtf8(t.text(r, static_cast<std::size_t>(t.indexOf("NRSEQUCHT"))));
        return out;
    }
    void expectRestored()
    {
        EXPECT_TRUE(screen->dtsPadrao.onStateChange && screen->cdsCancelaCHT.afterScroll &&
                    screen->cdsCancelaCHT.afterPost)
            << "reactions attached";
        EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
        EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
        EXPECT_FALSE(screen->cdsChave.active()) << "the key set is closed";
        EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 1);
        EXPECT_FALSE(cht::framework::ShowAviActive());
    }
};

TEST_F(Batch, ApprovalSendsTheTickedKeysInListOrderThenReloads)
{
    tick({2, 5, 9});
    server->requests.clear();
    server->chtRows = chtPacket(*screen, {{QStringLiteral("00002"), QStringLiteral("A")}});
    Application::Dispatch([&] { screen->sbtConfirmaCHTClick(nullptr); });
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    ASSERT_EQ(server->methods(), (QStringList{"ConfirmaCHT", "GetCHT"}));
    EXPECT_EQ(sentKeys(0), (QStringList{"00002", "00005", "00009"})) << "\"D\" and \"N\" left out";
    const cht::wire::ColumnTable& keys = server->requests[0].params[0].data;
    ASSERT_EQ(keys.columnCount(), 6u);
    EXPECT_EQ(keys.fields()[0].name, "NRPROPOSFAS");
    EXPECT_EQ(keys.fields()[5].name, "CDFUNC");
    EXPECT_TRUE(questions().isEmpty()) << "approval asks nothing";
    EXPECT_EQ(screen->cdsCancelaCHT.recordCount(), 1) << "the server's list after the change";
    EXPECT_EQ(at(1, "IDSTATUSCHT"), QStringLiteral("A"));
    expectRestored();
}

TEST_F(Batch, NothingTickedIsAnErrorWithoutACall)
{
    answerQuestions(cht::framework::mrYes);
    screen->cdsCancelaCHT.setRecNo(4);
    Application::Dispatch([&] { screen->sbtConfirmaCHTClick(nullptr); });
    EXPECT_EQ(errors(), QStringList{"Não há CHT selecionada para aprovação."});
    EXPECT_TRUE(questions().isEmpty());
    expectRestored();

    errors().clear();
    Application::Dispatch([&] { screen->sbtCancelaCHTClick(nullptr); });
    EXPECT_EQ(questions(), QStringList{"Deseja excluir as CHT´s selecionadas?"});
    EXPECT_EQ(errors(), QStringList{"Não há CHT selecionada para exclusão."});
    EXPECT_TRUE(server->requests.empty());
    expectRestored();
}

TEST_F(Batch, DeletionAsksFirstAndADeclinedOneDoesNothing)
{
    tick({3});
    server->requests.clear();
    answerQuestions(cht::framework::mrNo);
    screen->cdsCancelaCHT.setRecNo(6);
    Application::Dispatch([&] { screen->sbtCancelaCHTClick(nullptr); });
    EXPECT_EQ(questions().size(), 1);
    EXPECT_TRUE(server->requests.empty());
    EXPECT_EQ(screen->cdsCancelaCHT.recNo(), 6) << "declined: not even a move";
    EXPECT_EQ(at(3, "IDCHECK"), QStringLiteral("S"));

    answerQuestions(cht::framework::mrYes);
    Application::Dispatch([&] { screen->sbtCancelaCHTClick(nullptr); });
    ASSERT_EQ(server->methods(), (QStringList{"CancelaCHT", "GetCHT"}));
    EXPECT_EQ(sentKeys(0), QStringList{"00003"});
    expectRestored();
}

TEST_F(Batch, ARefusedApprovalKeepsTheTicksAndReloadsNothing)
{
    tick({1, 2});
    server->requests.clear();
    server->nextKeyCall = FakeServer::Failure::Server;
    Application::Dispatch([&] { screen->sbtConfirmaCHTClick(nullptr); });
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("já foi faturada")));
    EXPECT_EQ(server->methods(), QStringList{"ConfirmaCHT"});
    EXPECT_EQ(at(1, "IDCHECK"), QStringLiteral("S"));
    EXPECT_EQ(at(2, "IDCHECK"), QStringLiteral("S"));
    expectRestored();
}

TEST_F(Batch, AFailingReloadAfterASuccessfulApprovalRestoresTheScreen)
{
    tick({4});
    server->requests.clear();
    server->nextGetCHT = FakeServer::Failure::Transport;
    Application::Dispatch([&] { screen->sbtConfirmaCHTClick(nullptr); });
    EXPECT_EQ(server->methods(), (QStringList{"ConfirmaCHT", "GetCHT"}));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(screen->cdsCancelaCHT.recordCount(), 10) << "the old rows until the next reload";
    expectRestored();
}

TEST_F(Batch, AVisitThatRaisesMidWalkRestoresEverything)
{
    tick({2, 3});
    server->requests.clear();
    screen->cdsChave.beforePost = [](cht::platform::TClientDataSet&) {
        throw std::runtime_error("chave recusada");
    };
    Application::Dispatch([&] { screen->sbtConfirmaCHTClick(nullptr); });
    screen->cdsChave.beforePost = nullptr;
    EXPECT_EQ(errors(), QStringList{"chave recusada"});
    EXPECT_TRUE(server->requests.empty());
    expectRestored();
}

// --- not to be billed ------------------------------------------------------------------------

class Marking : public Batch {
protected:
    /// Types `text` into the justification screen once it is up, then confirms or cancels.
    void justifyWith(const QString& text, bool confirm, int* shown = nullptr)
    {
        DialogResponder::whenModal([=](QDialog* d) {
            auto* f = qobject_cast<TfrmDescAlter*>(d);
            ASSERT_NE(f, nullptr) << "the justification screen is the modal one";
            if (shown)
                ++*shown;
            EXPECT_EQ(f->rceDescAlter->toPlainText(), QString()) << "it opens empty";
            EXPECT_FALSE(f->rceDescAlter->isReadOnly());
            f->rceDescAlter->setPlainText(text);
            (confirm ? f->sbtConfirma : f->sbtCancel)->click();
        });
    }
};

TEST_F(Marking, OneJustificationWrittenIntoEveryTickedRowAndOneSave)
{
    tick({2, 5, 9});
    server->requests.clear();
    answerQuestions(cht::framework::mrYes);
    int shown = 0;
    const QString longText = QString(2500, QLatin1Char('j'));
    justifyWith(longText, true, &shown);
    Application::Dispatch([&] { screen->sbtNaoFaturarClick(nullptr); });
    ASSERT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    EXPECT_EQ(shown, 1) << "asked once, at the first ticked row";
    EXPECT_EQ(questions(),
              QStringList{"Deseja marcar as CHTs selecionadas como \"Não faturadas\"?"});
    for (int r : {2, 5, 9}) {
        EXPECT_EQ(at(r, "IDSTATUSCHT"), QStringLiteral("N")) << r;
        EXPECT_EQ(at(r, "IDCHECK"), QStringLiteral("D")) << r;
        EXPECT_EQ(at(r, "DSALTERACAOCHT"), longText.left(2000)) << r;
    }
    EXPECT_EQ(at(7, "IDSTATUSCHT"), QStringLiteral("P")) << "an earlier \"D\" is not marked again";
    ASSERT_EQ(server->methods(), QStringList{"SetCHT"}) << "one save, no reload";
    EXPECT_EQ(server->requests[0].params[0].delta.size(), 3u);
    EXPECT_EQ(screen->cdsCancelaCHT.changeCount(), 0);
    expectRestored();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Cli_cot09802::frmDescAlter, nullptr) << "the screen is freed when it closes";
    EXPECT_FALSE(Cli_cot09802::boIdCriado);
}

TEST_F(Marking, CancellingTheJustificationRestoresTheOldTextAndMarksNothing)
{
    screen->cdsCancelaCHT.setRecNo(5);
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTDSALTERACAOCHT->setAsString(QStringLiteral("anterior"));
    screen->cdsCancelaCHT.post();
    tick({5, 8});
    server->requests.clear();
    answerQuestions(cht::framework::mrYes);
    justifyWith(QStringLiteral("nova"), false);
    Application::Dispatch([&] { screen->sbtNaoFaturarClick(nullptr); });
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    EXPECT_EQ(at(5, "DSALTERACAOCHT"), QStringLiteral("anterior"));
    EXPECT_EQ(at(5, "IDSTATUSCHT"), QStringLiteral("P"));
    EXPECT_EQ(at(8, "IDCHECK"), QStringLiteral("S")) << "the ticks stay";
    // The cancel's own reaction sends the ticks still in the log, and no mark.
    for (const auto& r : server->requests)
        EXPECT_EQ(r.params.at(0).delta.indexOf("IDSTATUSCHT"), -1);
    EXPECT_FALSE(cht::framework::ShowAviActive());
    EXPECT_TRUE(screen->cdsCancelaCHT.afterPost);
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
}

TEST_F(Marking, NoAnswerAndNothingTickedAndAFailedSave)
{
    answerQuestions(cht::framework::mrNo);
    Application::Dispatch([&] { screen->sbtNaoFaturarClick(nullptr); });
    EXPECT_TRUE(server->requests.empty());
    EXPECT_TRUE(errors().isEmpty());

    // Nothing ticked: the question, then the error with the focus on the grid.
    answerQuestions(cht::framework::mrYes);
    Application::Dispatch([&] { screen->sbtNaoFaturarClick(nullptr); });
    EXPECT_EQ(errors(), QStringList{"CHTs devem ser informadas para que seja(m) marcada(s) como "
                                    "\"Não faturar\"."});
    EXPECT_TRUE(server->requests.empty()) << "a post that changed nothing sends nothing";
    EXPECT_EQ(screen->dbgPadrao->window()->focusWidget(), screen->dbgPadrao);

    // A failed save: the marks stay in the list and in the log, for the next save.
    errors().clear();
    tick({1});
    server->requests.clear();
    server->nextSetCHT = FakeServer::Failure::Server;
    justifyWith(QStringLiteral("sem faturamento"), true);
    Application::Dispatch([&] { screen->sbtNaoFaturarClick(nullptr); });
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(at(1, "IDSTATUSCHT"), QStringLiteral("N"));
    EXPECT_GT(screen->cdsCancelaCHT.changeCount(), 0);
    EXPECT_FALSE(screen->cdsCancelaCHT.controlsDisabled());
    EXPECT_TRUE(screen->cdsCancelaCHT.afterPost);
    screen->cdsCancelaCHT.setRecNo(3);
    screen->dbgPadraoCellClick(*screen->dbgPadrao->columnByFieldName("IDCHTPGTOOK"));
    ASSERT_EQ(server->methods(), (QStringList{"SetCHT", "SetCHT"}));
    EXPECT_EQ(server->requests[1].params[0].delta.size(), 2u) << "the marks go along";
}

TEST_F(Marking, ViewingShowsTheTextReadOnlyAndChangesNothing)
{
    screen->cdsCancelaCHT.setRecNo(3);
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTDSALTERACAOCHT->setAsString(QStringLiteral("cliente não reconheceu"));
    screen->cdsCancelaCHT.post();
    server->requests.clear();
    Cli_cot09800::boConfirmou = false;
    QString shown;
    bool readOnly = false, confirmEnabled = true;
    DialogResponder::whenModal([&](QDialog* d) {
        auto* f = qobject_cast<TfrmDescAlter*>(d);
        ASSERT_NE(f, nullptr);
        shown = f->rceDescAlter->toPlainText();
        readOnly = f->rceDescAlter->isReadOnly();
        confirmEnabled = f->sbtConfirma->isEnabled();
        f->close(); // the window's own close button
    });
    Application::Dispatch([&] { screen->sbtJustificativaClick(nullptr); });
    EXPECT_EQ(shown, QStringLiteral("cliente não reconheceu"));
    EXPECT_TRUE(readOnly);
    EXPECT_FALSE(confirmEnabled);
    EXPECT_FALSE(Cli_cot09800::boConfirmou);
    EXPECT_TRUE(server->requests.empty());
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
}

TEST_F(Marking, AnEmptyJustificationIsRefusedAndTheScreenStaysOpen)
{
    tick({6});
    answerQuestions(cht::framework::mrYes);
    int attempts = 0;
    DialogResponder::whenModal([&](QDialog* d) {
        auto* f = qobject_cast<TfrmDescAlter*>(d);
        ASSERT_NE(f, nullptr);
        f->rceDescAlter->setPlainText(QString());
        f->sbtConfirma->click();
        ++attempts;
        EXPECT_TRUE(f->isVisible()) << "refused: still open";
        EXPECT_EQ(errors(), QStringList{"Descrição da Alteração deve ser informada."});
        f->rceDescAlter->setPlainText(QStringLiteral("   ")); // blanks are a text
        f->sbtConfirma->click();
    });
    Application::Dispatch([&] { screen->sbtNaoFaturarClick(nullptr); });
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(at(6, "DSALTERACAOCHT"), QStringLiteral("   "));
    EXPECT_EQ(at(6, "IDSTATUSCHT"), QStringLiteral("N"));
}

TEST_F(Marking, MenuItemsRunTheirButtonsCommands)
{
    screen->cdsCancelaCHT.setRecNo(2);
    screen->cdsCancelaCHT.edit();
    screen->cdsCancelaCHTIDSTATUSCHT->setAsString(QStringLiteral("N"));
    screen->cdsCancelaCHT.post();
    ASSERT_TRUE(screen->mnuJustificativa->isEnabled());
    bool opened = false;
    DialogResponder::whenModal([&](QDialog* d) {
        opened = qobject_cast<TfrmDescAlter*>(d) != nullptr;
        if (d)
            d->close();
    });
    screen->mnuJustificativa->trigger();
    EXPECT_TRUE(opened);
    answerQuestions(cht::framework::mrNo);
    screen->mnuNaoFaturar->trigger();
    EXPECT_EQ(questions().size(), 1);
}

} // namespace
