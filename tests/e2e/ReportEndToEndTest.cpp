// The list on paper and in a spreadsheet, end to end: the operator confirms the filter against a
// real cht-server, saves the report from the print preview and exports the list, and both files
// read back (poppler, a strict CSV reader) to the rows on screen; the totals line follows a
// tick-all of the operator's own CHTs; F1 opens the screen's help.
#include "framework/DialogResponder.h"
#include "framework/HelpWindow.h"
#include "framework/ListSummary.h"
#include "framework/ReportPreview.h"
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/dataset/DisplayFormat.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "tests/support/CsvReader.h"
#include "tests/support/FilterScript.h"
#include "tests/support/PdfText.h"
#include "tests/support/ServerProcess.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using cht::framework::Application;
using cht::framework::DialogReply;
using cht::framework::DialogRequest;
using cht::framework::DialogResponder;

namespace {

TEST(ReportEndToEnd, TheListSavedAsPdfAndCsvReadsBackAndTheTotalsFollowTheTicks)
{
    cht::testing::ServerProcess server;
    QStringList errors;
    TfrmCancelaCHT* opened = cht::testing::launchOnServer(server, errors);
    ASSERT_NE(opened, nullptr) << errors.join('\n').toStdString();
    TfrmCancelaCHT& tela = *opened;
    const int rows = tela.cdsCancelaCHT.recordCount();
    ASSERT_GT(rows, 1);
    QStringList seqs;
    for (int r = 1; r <= rows; ++r) {
        tela.cdsCancelaCHT.setActiveRecord(r);
        seqs << tela.cdsCancelaCHTNRSEQUCHT->asString();
    }
    tela.cdsCancelaCHT.setActiveRecord(0);

    QTemporaryDir dir;
    QString target;
    DialogResponder::set([&](const DialogRequest& r) -> std::optional<DialogReply> {
        if (r.kind != QLatin1String("save"))
            return std::nullopt;
        return DialogReply{cht::framework::mrOk, target, {}};
    });

    // The preview's "Salvar PDF".
    target = dir.filePath(QStringLiteral("relatorio.pdf"));
    DialogResponder::whenModal([](QDialog* d) {
        ASSERT_NE(d, nullptr);
        if (auto* save = d->findChild<QAction*>(QLatin1String(cht::framework::kSavePdfName)))
            save->trigger();
        d->close();
    });
    ASSERT_TRUE(tela.sbtImprimir->isEnabled());
    tela.sbtImprimir->click();
    QString error;
    const QStringList pages = cht::testing::pdfPages(target, &error);
    ASSERT_FALSE(pages.isEmpty()) << error.toStdString();
    const QString today =
        cht::platform::formatDateTime(QStringLiteral("dd/mm/yyyy"), Cli_cot09801::Filtro.DataIni);
    EXPECT_TRUE(pages[0].simplified().contains(
        QStringLiteral("Filtro: Clientes: todos; Funcionários: todos; Geradas de %1 a %1; "
                       "Situações: Pendente")
            .arg(today)))
        << pages[0].toStdString();
    QStringList printed;
    for (int p = 0; p < pages.size(); ++p) {
        EXPECT_TRUE(
            pages[p].contains(QStringLiteral("Página %1 de %2").arg(p + 1).arg(pages.size())));
        for (auto m = QRegularExpression(QStringLiteral("\\b\\d{5}$"),
                                         QRegularExpression::MultilineOption)
                          .globalMatch(pages[p]);
             m.hasNext();)
            printed << m.next().captured();
    }
    EXPECT_EQ(printed, seqs); // "Nr.CHT" is the last column: each row once, in order

    // "Exportar".
    target = dir.filePath(QStringLiteral("lista.csv"));
    tela.mnuExportar->trigger();
    QFile csv(target);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const auto records =
        cht::testing::readCsv(QString::fromUtf8(bytes.mid(3)), QLatin1Char(';'), &error);
    ASSERT_EQ(static_cast<int>(records.size()), rows + 1) << error.toStdString();
    const qsizetype seqColumn = records[0].indexOf(QStringLiteral("Nr.CHT"));
    const qsizetype clientColumn = records[0].indexOf(QStringLiteral("Cliente"));
    ASSERT_GE(seqColumn, 0);
    for (int r = 1; r <= rows; ++r) {
        tela.cdsCancelaCHT.setActiveRecord(r);
        EXPECT_EQ(records[static_cast<std::size_t>(r)].value(seqColumn),
                  tela.cdsCancelaCHTNRSEQUCHT->asString());
        EXPECT_EQ(records[static_cast<std::size_t>(r)].value(clientColumn),
                  tela.cdsCancelaCHTNMFANTCLIE->asString());
        EXPECT_EQ(records[static_cast<std::size_t>(r)].value(1), QStringLiteral("Pendente"));
    }
    tela.cdsCancelaCHT.setActiveRecord(0);

    // Tick-all ticks the operator's own CHTs; the line adds up their hours and values.
    qint64 minutes = 0;
    double value = 0;
    int tickable = 0;
    for (int r = 1; r <= rows; ++r) {
        tela.cdsCancelaCHT.setActiveRecord(r);
        if (!tela.isTickableRow("DEMO"))
            continue;
        ++tickable;
        minutes +=
            cht::framework::parseMinutes(tela.cdsCancelaCHTQTHRAPROFATUCHT->asString()).value_or(0);
        value += tela.cdsCancelaCHTVRFATU->asFloat();
    }
    tela.cdsCancelaCHT.setActiveRecord(0);
    ASSERT_GT(tickable, 0);
    Application::Dispatch([&] {
        tela.dbgPadraoTitleClick(*tela.dbgPadrao->columnByFieldName(QStringLiteral("IDCHECK")));
    });
    EXPECT_EQ(tela.lblTotais->text(),
              QStringLiteral("%1 CHTs listadas, %2 %3 (Horas faturadas: %4; Valor a Faturar: %5)")
                  .arg(rows)
                  .arg(tickable)
                  .arg(tickable == 1 ? QStringLiteral("marcada") : QStringLiteral("marcadas"),
                       cht::framework::formatHours(minutes), cht::framework::formatMoney(value)));
    tela.sbtVerificarClick(nullptr); // the reload brings the stored ticks back
    EXPECT_TRUE(tela.lblTotais->text().contains(QStringLiteral(", 0 marcadas")));

    tela.sbtAjuda->click();
    ASSERT_NE(cht::framework::HelpWindow::current(), nullptr);
    EXPECT_EQ(cht::framework::HelpWindow::current()->page(),
              QUrl(QStringLiteral("qrc:/cht/help/COT09800.html")));
    delete cht::framework::HelpWindow::current();

    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    DialogResponder::clear();
    tela.Close();
    Application::ProcessMessages();
    Finalize();
    Application::SetErrorDisplay(nullptr);
}

} // namespace
