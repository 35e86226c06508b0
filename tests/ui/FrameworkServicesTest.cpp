// Services the screens lean on: messages, MensErro, the dispatcher, the cursor, the wait overlay,
// registration masks and the page control.
#include "framework/DialogResponder.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Cvn_msg.h"
#include "module/contracts/Forms.h"
#include "module/contracts/PageControl98.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/FormatMaskText.h"
#include "platform/widgets/TButtonFlat.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace cht::framework;

namespace {

class FrameworkServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialogResponder::set([this](const DialogRequest&) -> std::optional<DialogReply> {
            return DialogReply{m_answer, {}, {}};
        });
    }
    void TearDown() override
    {
        DialogResponder::clear();
        Application::SetErrorDisplay(nullptr);
        Application::SetCursor(TCursor::crDefault);
        while (ShowAviActive())
            DeactiveShowAvi();
        Application::SetMainForm(nullptr);
    }
    int m_answer = mrOk;
};

const TMessages kTable(QStringList{"Excl|Confirma exclusão?", "Ex|curta", "vazia|", "barra|a|b"});

} // namespace

TEST_F(FrameworkServicesTest, MsgFindsTheExactKeyOnly)
{
    EXPECT_EQ(kTable.Msg("Excl"), QString("Confirma exclusão?"));
    EXPECT_EQ(kTable.Msg("Ex"), QString("curta"));
    EXPECT_EQ(kTable.Msg("excl"), QString()); // keys are case-sensitive
    EXPECT_EQ(kTable.Msg("E"), QString());
    EXPECT_EQ(kTable.Msg("vazia"), QString());
    EXPECT_EQ(kTable.Msg("barra"), QString("a|b")); // only the first bar separates
}

TEST_F(FrameworkServicesTest, MsgFollowsTheLinesAsTheyChange)
{
    TMessages table(QStringList{"a|um", "a|repetida"});
    EXPECT_EQ(table.Msg("a"), QString("um")); // the first line of a key wins
    table.Lines[0] = QStringLiteral("a|outro");
    EXPECT_EQ(table.Msg("a"), QString("outro"));
    table.Lines << QStringLiteral("b|novo");
    EXPECT_EQ(table.Msg("b"), QString("novo"));
    TMessages copy = table;
    copy.Lines = QStringList{"b|da cópia"};
    EXPECT_EQ(copy.Msg("b"), QString("da cópia"));
    EXPECT_EQ(table.Msg("b"), QString("novo"));
    table.Lines.clear();
    EXPECT_EQ(table.Msg("a"), QString());
}

TEST_F(FrameworkServicesTest, ShowMsgAsksInPortugueseAndOnlyYesIsSix)
{
    m_answer = mrYes;
    EXPECT_EQ(kTable.ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0), 6);
    m_answer = mrNo;
    EXPECT_EQ(kTable.ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0), 7);
    ASSERT_EQ(DialogResponder::records().size(), 2u);
    const DialogRequest& r = DialogResponder::records().front();
    EXPECT_EQ(r.kind, QString("message"));
    EXPECT_EQ(r.text, QString("Confirma exclusão?"));
    EXPECT_EQ(r.buttons, QStringList({"Sim", "Não"}));
}

TEST_F(FrameworkServicesTest, RealMessageBoxHasSimAndNaoButtons)
{
    DialogResponder::clear();
    QStringList captions;
    int result = -1;
    DialogResponder::whenModal([&](QDialog* dialog) {
        ASSERT_NE(dialog, nullptr);
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        QPushButton* no = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            captions << b->text();
            if (b->text() == QString("Não"))
                no = qobject_cast<QPushButton*>(b);
        }
        ASSERT_NE(no, nullptr);
        QTest::mouseClick(no, Qt::LeftButton);
    });
    result = kTable.ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0);
    EXPECT_EQ(result, mrNo);
    captions.sort();
    EXPECT_EQ(captions, QStringList({"Não", "Sim"}));
}

TEST_F(FrameworkServicesTest, MensErroShowsOnceAndStopsTheHandler)
{
    bool after = false;
    Application::Dispatch([&] {
        MensErro("Cliente deve ser informado.", true);
        after = true;
    });
    EXPECT_FALSE(after);
    ASSERT_EQ(DialogResponder::records().size(), 1u);
    EXPECT_EQ(DialogResponder::records()[0].kind, QString("error"));
    EXPECT_EQ(DialogResponder::records()[0].title, QString("Erro"));
    EXPECT_EQ(DialogResponder::records()[0].text, QString("Cliente deve ser informado."));
}

TEST_F(FrameworkServicesTest, MensErroRaisesForCallersThatRestoreTheirState)
{
    EXPECT_THROW(MensErro("x"), EMensErro);
    try {
        MensErro("Situação deve ser informada.");
    } catch (const EMensErro& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), QString("Situação deve ser informada."));
    }
}

TEST_F(FrameworkServicesTest, DispatcherKeepsEveryErrorOutOfTheEventLoop)
{
    QStringList shown;
    Application::SetErrorDisplay([&](const QString& m) { shown << m; });
    EXPECT_FALSE(Application::TryDispatch([] { throw EServerError("Servidor indisponível."); }));
    EXPECT_FALSE(Application::TryDispatch([] { throw 42; }));
    EXPECT_TRUE(Application::TryDispatch([] {}));
    // Raised from a handler that Qt's own loop runs (a timer), as the screens' handlers are.
    QTimer::singleShot(0,
                       [] { Application::Dispatch([] { throw std::runtime_error("falhou"); }); });
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], QString("Servidor indisponível."));
    EXPECT_FALSE(shown[1].isEmpty());
    EXPECT_EQ(shown[2], QString("falhou"));
}

TEST_F(FrameworkServicesTest, WidgetErrorsBeforeAnyApplicationCallTakeTheDispatchersRoad)
{
    // ctest runs this alone in its process: nothing has called the Application yet, and the host
    // keeps the framework's own error box, which the responder records. A box of another road
    // would wait for the operator: close it, so that the count below tells.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    closer.start(10);
    cht::platform::TButtonFlat button;
    button.show();
    button.onClick = [](QObject*) { throw std::runtime_error("Falha no botão."); };
    QTest::mouseClick(&button, Qt::LeftButton);
    button.onClick = [](QObject*) { throw 42; };
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_FALSE(Application::TryDispatch([] { throw 42; }));

    const auto& shown = DialogResponder::records();
    ASSERT_EQ(shown.size(), 3u);
    for (const DialogRequest& r : shown) {
        EXPECT_EQ(r.kind, QString("error"));
        EXPECT_EQ(r.title, QString("Erro"));
    }
    EXPECT_EQ(shown[0].text, QString("Falha no botão."));
    EXPECT_EQ(shown[1].text, QString("Ocorreu um erro inesperado."));
    EXPECT_EQ(shown[2].text, shown[1].text);
}

TEST_F(FrameworkServicesTest, WidgetEventErrorsReachTheSameDisplay)
{
    QStringList shown;
    Application::SetErrorDisplay([&](const QString& m) { shown << m; });
    cht::platform::TButtonFlat button;
    button.onClick = [](QObject*) { throw std::runtime_error("Falha no botão."); };
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    button.onClick = [](QObject*) { MensErro("Já mostrada."); };
    QTest::mouseClick(&button, Qt::LeftButton);
    // The second text went through MensErro's own display, not a second time through the sink.
    EXPECT_EQ(shown, QStringList({"Falha no botão.", "Já mostrada."}));
}

TEST_F(FrameworkServicesTest, HourglassIsNotStacked)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    Application::SetCursor(TCursor::crHourGlass);
    Application::SetCursor(TCursor::crHourGlass);
    EXPECT_EQ(Application::Cursor(), TCursor::crHourGlass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Application::SetCursor(TCursor::crDefault);
    EXPECT_EQ(Application::Cursor(), TCursor::crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    {
        CursorGuard guard;
        EXPECT_EQ(Application::Cursor(), TCursor::crHourGlass);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FrameworkServicesTest, WaitOverlayNestsAndNeverOutlivesAnError)
{
    QWidget main;
    main.resize(640, 400);
    main.show();
    Application::SetMainForm(&main);

    ActiveShowAvi(&main, 1);
    ActiveShowAvi(&main, 6);
    DeactiveShowAvi();
    EXPECT_TRUE(ShowAviActive()); // the outer wait keeps its overlay
    ASSERT_NE(ShowAviWidget(), nullptr);
    EXPECT_EQ(ShowAviWidget()->geometry(), main.rect());
    DeactiveShowAvi();
    EXPECT_FALSE(ShowAviActive());
    DeactiveShowAvi(); // an extra hide does nothing
    EXPECT_FALSE(ShowAviActive());

    Application::SetErrorDisplay([](const QString&) {});
    Application::Dispatch([&] {
        AviGuard outer(&main, 6);
        AviGuard inner(&main, 1);
        throw EServerError("Tempo esgotado.");
    });
    EXPECT_FALSE(ShowAviActive());
    EXPECT_EQ(ShowAviWidget(), nullptr);
}

TEST_F(FrameworkServicesTest, WaitOverlayPaintsWhileTheUiThreadWaitsForACall)
{
    QWidget main;
    main.resize(640, 400);
    main.show();
    ActiveShowAvi(&main, 6);
    QWidget* overlay = ShowAviWidget();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->property("animationText").toString(), QString("Pesquisando..."));
    EXPECT_FALSE(overlay->isVisible()) << "not for a call that ends at once";
    const QImage before = overlay->grab().toImage();
    // As the connection waits: a local loop that takes no user input.
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    EXPECT_TRUE(overlay->isVisible()) << "a call that lasts shows it";
    const QImage after = overlay->grab().toImage();
    EXPECT_NE(before, after); // the spinner moved
    DeactiveShowAvi();
    EXPECT_FALSE(overlay->isVisible());
}

TEST_F(FrameworkServicesTest, QuickWaitsShowNothingAndShareOneOverlay)
{
    QWidget main;
    main.resize(640, 400);
    main.show();
    ActiveShowAvi(&main, 1);
    QWidget* first = ShowAviWidget();
    DeactiveShowAvi();
    EXPECT_EQ(ShowAviWidget(), nullptr);
    ActiveShowAvi(&main, 1);
    EXPECT_EQ(ShowAviWidget(), first) << "no child made and dropped per call";
    DeactiveShowAvi();
    // The delay of those quick waits runs out afterwards: nothing shows then.
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_NE(main.findChild<QWidget*>(QStringLiteral("ShowAviOverlay")), nullptr);
    EXPECT_TRUE(main.findChild<QWidget*>(QStringLiteral("ShowAviOverlay"))->isHidden());
}

TEST_F(FrameworkServicesTest, RegistrationMasksFormatCnpjAndCpf)
{
    EXPECT_EQ(cht::platform::FormatMaskText(PictPess("J"), "12345678000195"),
              QString("12.345.678/0001-95"));
    EXPECT_EQ(cht::platform::FormatMaskText(PictPess("F"), "12345678909"),
              QString("123.456.789-09"));
    EXPECT_EQ(PictPess("X"), QString());
    EXPECT_EQ(PictPess("j"), QString());
}

TEST_F(FrameworkServicesTest, EmptyStringTreatsBlanksAsEmpty)
{
    EXPECT_TRUE(EmptyString(""));
    EXPECT_TRUE(EmptyString("  \t"));
    EXPECT_FALSE(EmptyString(" a "));
}

TEST_F(FrameworkServicesTest, PageControlReportsTabChangesOnce)
{
    TCustomPageControl98 pgc;
    QWidget* a = pgc.AddPage("tshA", "A");
    QWidget* b = pgc.AddPage("tshB", "B");
    int changes = 0;
    pgc.onChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &pgc);
        ++changes;
    };
    pgc.SetActivePage(b);
    pgc.SetActivePage(b);
    EXPECT_EQ(pgc.ActivePage(), b);
    EXPECT_EQ(changes, 1);
    pgc.SetActivePage(a);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(a->objectName(), QString("tshA"));
}
