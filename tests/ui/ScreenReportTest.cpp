// The CHT screen's print, export, totals line and help, built in the base screen: when print and
// export are open to the operator, the PDF of a known list read back by poppler, the printer's
// rendering against the saved PDF, the pictures on paper, the CSV read back by a strict parser,
// the totals following ticks, tick-all and reloads without a server call, and F1.
#include "ScreenTestSupport.h"

#include "framework/DialogResponder.h"
#include "framework/HelpWindow.h"
#include "framework/ListReport.h"
#include "framework/ReportPreview.h"
#include "module/Cli_cot09801.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "tests/support/CsvReader.h"
#include "tests/support/PdfText.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QHeaderView>
#include <QMdiArea>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <algorithm>

using cht::framework::Application;
using cht::framework::DialogReply;
using cht::framework::DialogRequest;
using cht::framework::DialogResponder;
using cht::framework::HelpWindow;
using cht::framework::ListReport;
using cht::platform::DataSetState;
using cht::platform::TColumn;
using namespace screen_test;

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QUrl& url, std::ostream* os)
{
    *os << url.toString().toStdString();
}

namespace {

constexpr double kDay = 46000; // 9 December 2025

QString day(double ole)
{
    return QDate(1899, 12, 30)
        .addDays(static_cast<qint64>(ole))
        .toString(QStringLiteral("dd/MM/yyyy"));
}

// One CHT of the known list, with every column the grid shows.
struct Row {
    QString seq, status, client, employee, reference, tick = QStringLiteral("N");
    QString hours = QStringLiteral("08:00");
    double value = 0;
    QString manager = QStringLiteral("DEMO");
};

const QString kStatusWord[] = {QStringLiteral("Pendente"), QStringLiteral("Aprovada"),
                               QStringLiteral("Faturada"), QStringLiteral("Não faturar")};

class Report : public OpenScreenTest {
protected:
    void SetUp() override
    {
        OpenScreenTest::SetUp();
        TFiltro& f = Cli_cot09801::Filtro;
        f.TodosClientes = QStringLiteral("T");
        f.Clientes.clear();
        f.TodosFuncs.clear();
        f.Funcs = QStringLiteral("[\"F1\",\"F9\"]");
        f.DataIni = kDay - 30;
        f.DataFin = kDay;
        f.Situacao = QStringLiteral("_P_A_R_N_");
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        DialogResponder::clear();
        if (HelpWindow* h = HelpWindow::current())
            delete h;
        OpenScreenTest::TearDown();
    }

    // `n` CHTs cycling through the four statuses, with texts that try a report and a CSV file:
    // accents, quotes, semicolons, a line break.
    static std::vector<Row> knownList(int n)
    {
        std::vector<Row> rows;
        const char* letters = "PARN";
        for (int i = 1; i <= n; ++i) {
            Row r;
            r.seq = QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0'));
            r.status = QString(QLatin1Char(letters[(i - 1) % 4]));
            r.client = i % 3 == 0 ? QStringLiteral("Padaria \"Pão; Cia\"")
                                  : QStringLiteral("Conceição Ltda %1").arg(i);
            r.employee = i % 2 ? QStringLiteral("João Araújo") : QStringLiteral("Ana");
            r.reference =
                i == 2 ? QStringLiteral("Linha um\nlinha dois") : QStringLiteral("Ref. %1").arg(i);
            r.hours =
                QStringLiteral("%1:%2").arg(i % 9 + 1).arg((i * 15) % 60, 2, 10, QLatin1Char('0'));
            r.value = 1000.5 + i;
            rows.push_back(r);
        }
        return rows;
    }

    void loadRows(const std::vector<Row>& rows)
    {
        std::vector<Cht> base;
        for (const Row& r : rows)
            base.push_back({r.seq, r.status, QStringLiteral("H"), r.client, r.manager, r.tick});
        cht::wire::ColumnTable t = chtPacket(*screen, base);
        auto col = [&t](const char* name) { return static_cast<std::size_t>(t.indexOf(name)); };
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Row& r = rows[i];
            const double d = kDay - static_cast<double>(i % 20);
            t.setText(i, col("NMFUNC"), r.employee.toStdString());
            t.setText(i, col("CDFUNC"), i % 2 ? "F9" : "F1");
            t.setText(i, col("DSREFEPROPOSFAS"), r.reference.toStdString());
            t.setText(i, col("QTHRAPROFATUCHT"), r.hours.toStdString());
            t.setNumber(i, col("VRFATU"), r.value);
            t.setNumber(i, col("DTINCLCHT"), d);
            t.setNumber(i, col("INICIOCSA"), d - 5);
            t.setNumber(i, col("FIMCSA"), d - 1);
            t.setText(i, col("IDCDAOK"), i % 2 ? "N" : "S");
            t.setText(i, col("IDCHTASSINADA"), i % 2 ? "S" : "N");
            t.setText(i, col("IDCHTPGTOOK"), i % 3 ? "S" : "");
            t.setText(i, col("PROPOSTA"), "2025000123/01");
            t.setText(i, col("IDTIPOCOBRCONT"), i % 2 ? "P" : "H");
            t.setText(i, col("IDTIPOPROPFAS"), i % 2 ? "M" : "S");
            t.setText(i, col("NMTIPOSERV"), "Manutenção");
            t.setText(i, col("DSLOCALCONT"), "São Paulo");
        }
        server->chtRows = std::move(t);
        screen->reloadChtList();
        server->requests.clear();
    }

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QStringList pdfPages(const QByteArray& pdf, const char* name)
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pdf);
        f.close();
        QString error;
        const QStringList pages = cht::testing::pdfPages(f.fileName(), &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return pages;
    }

    QTemporaryDir dir;
};

// Words of a text, blanks of any length between them: the layout spaces of pdftotext differ from
// one renderer to another, the words do not.
QStringList words(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

} // namespace

TEST_F(Report, PrintAndExportAreOpenWhileTheListHasRowsAndIsBrowsing)
{
    auto open = [this] {
        EXPECT_EQ(screen->mnuImprimir->isEnabled(), screen->sbtImprimir->isEnabled());
        EXPECT_EQ(screen->mnuExportar->isEnabled(), screen->sbtImprimir->isEnabled());
        return screen->sbtImprimir->isEnabled();
    };
    EXPECT_FALSE(open()); // the list is closed
    loadRows(knownList(3));
    EXPECT_TRUE(open());
    // The module's own rule runs after the base's and leaves them as the base set them.
    screen->dtsPadraoStateChange(&screen->dtsPadrao);
    EXPECT_TRUE(open());
    screen->sbtAlterarClick(nullptr);
    ASSERT_EQ(screen->cdsCancelaCHT.state(), DataSetState::Edit);
    EXPECT_FALSE(open());
    screen->cdsCancelaCHT.cancel();
    EXPECT_TRUE(open());
    reactivate(*screen);
    EXPECT_TRUE(open());
    loadRows({});
    EXPECT_FALSE(open());
    EXPECT_EQ(screen->mnuExportar->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    EXPECT_EQ(screen->mnuExportar->text(), QStringLiteral("E&xportar"));
    // Beside the print item, in the operations menu.
    const QList<QAction*> items = screen->mnuOperacao->actions();
    EXPECT_EQ(items.indexOf(screen->mnuExportar), items.indexOf(screen->mnuImprimir) + 1);
}

TEST_F(Report, PdfOfAKnownListHasItsPagesHeadingRowsAndTotals)
{
    const std::vector<Row> rows = knownList(90);
    loadRows(rows);
    const ListReport report(*screen, QDateTime(QDate(2025, 12, 9), QTime(14, 35)));
    const QStringList pages = pdfPages(report.pdf(), "lista.pdf");
    ASSERT_EQ(pages.size(), report.pageCount());
    ASSERT_EQ(pages.size(), 3); // 36 rows fit on the first page, 39 on the next: totals on page 3

    const QString first = pages.first();
    EXPECT_TRUE(first.contains(QStringLiteral("Gerenciamento de CHT")));
    EXPECT_TRUE(first.contains(QStringLiteral("COT09800")));
    const QString heading = words(first).join(QLatin1Char(' '));
    EXPECT_TRUE(heading.contains(QStringLiteral("Filtro: Clientes: todos; Funcionários: João "
                                                "Araújo, Ana; Geradas de %1 a %2; Situações: "
                                                "Pendente, Aprovada, Faturada, Não faturar")
                                     .arg(day(kDay - 30), day(kDay))))
        << heading.toStdString();
    EXPECT_TRUE(heading.contains(QStringLiteral("Operador: DEMO Emitido em 09/12/2025 14:35")));
    for (const char* title : {"Cliente", "Funcionário", "CDA de", "Cobrança", "Situação"})
        EXPECT_TRUE(first.contains(QString::fromUtf8(title))) << title;

    // Every CHT once, in the list's order, each page saying which page it is.
    QStringList seqs;
    for (int p = 0; p < pages.size(); ++p) {
        EXPECT_TRUE(pages[p].contains(QStringLiteral("Página %1 de 3").arg(p + 1)));
        const auto found =
            QRegularExpression(QStringLiteral("\\b000\\d\\d\\b")).globalMatch(pages[p]);
        for (auto it = found; it.hasNext();)
            seqs << it.next().captured();
    }
    QStringList expected;
    for (const Row& r : rows)
        expected << r.seq;
    EXPECT_EQ(seqs, expected);

    // Cells as the grid shows them: the status word, the coded texts, dates in pt-BR.
    EXPECT_TRUE(first.contains(QStringLiteral("Pendente")));
    EXPECT_TRUE(first.contains(QStringLiteral("Não faturar")));
    EXPECT_TRUE(first.contains(QStringLiteral("Vr.Pacote")));
    EXPECT_TRUE(first.contains(QStringLiteral("LU/Manutenção")));
    EXPECT_TRUE(first.contains(day(kDay - 5)));
    EXPECT_FALSE(pages[1].contains(QStringLiteral("Filtro:")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("(continuação)")));

    // Totals: by status, hours and value to bill in pt-BR money.
    const QString last = words(pages.last()).join(QLatin1Char(' '));
    EXPECT_TRUE(last.contains(QStringLiteral("Totais")));
    double sum = 0;
    qint64 minutes = 0;
    for (const Row& r : rows) {
        sum += r.value;
        const QStringList hm = r.hours.split(QLatin1Char(':'));
        minutes += hm[0].toLongLong() * 60 + hm[1].toLongLong();
    }
    const QString total =
        QStringLiteral("Total 90 %1:%2 R$ %3")
            .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(minutes / 60))
            .arg(minutes % 60, 2, 10, QLatin1Char('0'))
            .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(sum, 'f', 2));
    EXPECT_TRUE(last.contains(total)) << last.toStdString() << "\nexpected " << total.toStdString();
    for (const QString& w : kStatusWord)
        EXPECT_TRUE(last.contains(w + QStringLiteral(" 2"))) << w.toStdString(); // 22 or 23 each
    EXPECT_TRUE(last.contains(QStringLiteral("Marcadas 0 0:00 R$ 0,00")));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST_F(Report, ThePrinterDrawsTheSamePagesAsTheSavedPdf)
{
    loadRows(knownList(50));
    ListReport report(*screen, QDateTime(QDate(2025, 12, 9), QTime(8, 0)));
    const QStringList saved = pdfPages(report.pdf(), "salvo.pdf");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path("impresso.pdf"));
    printer.setPageLayout(ListReport::defaultPageLayout());
    report.print(printer);
    QString error;
    const QStringList printed = cht::testing::pdfPages(path("impresso.pdf"), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(printed.size(), saved.size());
    for (int p = 0; p < saved.size(); ++p) {
        QStringList a = words(saved[p]), b = words(printed[p]);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << "page " << p + 1;
    }
}

TEST_F(Report, PicturesComeOutAsTheGridPaintsThemOnThePdfAndThePrinter)
{
    std::vector<Row> rows = knownList(4); // one of each status
    rows[0].tick = QStringLiteral("S");
    loadRows(rows);
    ListReport report(*screen);
    QFile saved(path("figuras.pdf"));
    ASSERT_TRUE(saved.open(QIODevice::WriteOnly));
    saved.write(report.pdf());
    saved.close();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path("figuras-impressas.pdf"));
    printer.setPageLayout(ListReport::defaultPageLayout());
    report.print(printer);

    for (const QString& file : {saved.fileName(), path("figuras-impressas.pdf")}) {
        QString error;
        const QImage page = cht::testing::pdfPageImage(file, 1, 120, &error);
        ASSERT_FALSE(page.isNull()) << error.toStdString();
        // A printer's PDF may store pictures compressed with losses: colours are near, not equal.
        auto near = [](const QColor& p, const QColor& c) {
            return std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
                       std::abs(p.blue() - c.blue()) <
                   60;
        };
        auto count = [&page, &near](const QColor& c) {
            int n = 0;
            for (int y = 0; y < page.height(); ++y)
                for (int x = 0; x < page.width() / 2; ++x)
                    n += near(page.pixelColor(x, y), c);
            return n;
        };
        // The balls' faces of the four statuses, the CDA's marks, each as a row draws it.
        const std::string which = QFileInfo(file).fileName().toStdString();
        EXPECT_GT(count(QColor(255, 255, 0)), 20) << which;   // Pendente
        EXPECT_GT(count(QColor(166, 202, 240)), 20) << which; // Aprovada
        EXPECT_GT(count(QColor(96, 224, 0)), 20) << which;    // Faturada
        EXPECT_GT(count(QColor(0, 128, 0)), 4) << which;      // the CDA's OK mark
        EXPECT_GT(count(QColor(255, 0, 0)), 4) << which;      // the CDA's not-OK cross
        // Each picture in its own row: the yellow ball is in the first row's band only.
        int top = page.height(), bottom = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width() / 4; ++x)
                if (near(page.pixelColor(x, y), QColor(255, 255, 0))) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        EXPECT_LT(bottom - top, 25) << which;
        EXPECT_GT(top, 120) << which; // below the heading, an inch down at least
    }

    // No letter of a picture column reaches the text: the pictures erase them on screen too.
    QString error;
    const QStringList pages = cht::testing::pdfPages(saved.fileName(), &error);
    ASSERT_EQ(pages.size(), 1) << error.toStdString();
    const QStringList letters{"S", "N", "P", "A", "R"};
    const QStringList all = words(pages[0]);
    EXPECT_TRUE(std::none_of(all.begin(), all.end(),
                             [&letters](const QString& w) { return letters.contains(w); }));
}

TEST_F(Report, ColumnsFollowTheOperatorsOrderAndWidths)
{
    loadRows(knownList(2));
    QHeaderView* header = screen->dbgPadrao->horizontalHeader();
    const int client = screen->dbgPadrao->columnByFieldName(QStringLiteral("NMFANTCLIE"))->index();
    const int seq = screen->dbgPadrao->columnByFieldName(QStringLiteral("NRSEQUCHT"))->index();
    header->moveSection(header->visualIndex(seq), 0); // the operator drags "Nr.CHT" first
    header->resizeSection(client, 240);
    const ListReport report(*screen);
    const auto& columns = report.columns();
    ASSERT_EQ(columns.size(), 17u);
    EXPECT_EQ(columns.front().gridIndex, seq);
    EXPECT_EQ(columns.front().title, QStringLiteral("Nr.CHT"));
    const auto c = std::find_if(columns.begin(), columns.end(),
                                [client](const auto& rc) { return rc.gridIndex == client; });
    ASSERT_NE(c, columns.end());
    EXPECT_EQ(c->gridWidth, 240);

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    ListReport::writeCsv(*screen, csv);
    const QString text = QString::fromUtf8(csv.data().mid(3));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Nr.CHT;Marcada;Situação;Cliente;")))
        << text.left(80).toStdString();
}

TEST_F(Report, CsvReadsBackToTheListsValues)
{
    const std::vector<Row> rows = knownList(6);
    loadRows(rows);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ListReport::writeCsv(*screen, out);
    const QByteArray bytes = out.data();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    QString error;
    const auto records =
        cht::testing::readCsv(QString::fromUtf8(bytes.mid(3)), QLatin1Char(';'), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(records.size(), rows.size() + 1);
    const QStringList titles = records[0];
    EXPECT_EQ(titles, (QStringList{"Marcada", "Situação", "Cliente", "Funcionário", "CDA de",
                                   "CDA até", "CDA's OK", "CHT Assinada", "Cliente OK", "Proposta",
                                   "Referência da Proposta", "Cobrança", "Contrato",
                                   "Tipo de Atividade", "Desc. Local", "Data Geração", "Nr.CHT"}));
    auto cell = [&](std::size_t r, const char* title) {
        return records[r + 1].value(static_cast<int>(titles.indexOf(QString::fromUtf8(title))));
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        ASSERT_EQ(records[i + 1].size(), titles.size()) << "row " << i;
        EXPECT_EQ(cell(i, "Nr.CHT"), r.seq);
        EXPECT_EQ(cell(i, "Situação"), kStatusWord[i % 4]);
        EXPECT_EQ(cell(i, "Cliente"), r.client); // quotes and semicolons come back whole
        EXPECT_EQ(cell(i, "Funcionário"), r.employee);
        EXPECT_EQ(cell(i, "Referência da Proposta"), r.reference); // the line break too
        EXPECT_EQ(cell(i, "Marcada"), QStringLiteral("Não"));
        EXPECT_EQ(cell(i, "CDA's OK"), i % 2 ? QStringLiteral("Não") : QStringLiteral("Sim"));
        EXPECT_EQ(cell(i, "Cliente OK"), i % 3 ? QStringLiteral("Sim") : QStringLiteral("Não"));
        EXPECT_EQ(cell(i, "CHT Assinada"), i % 2 ? QStringLiteral("Sim") : QStringLiteral("Não"));
        EXPECT_EQ(cell(i, "Cobrança"),
                  i % 2 ? QStringLiteral("Vr.Pacote") : QStringLiteral("Vr.Hora"));
        EXPECT_EQ(cell(i, "Contrato"),
                  i % 2 ? QStringLiteral("LU/Manutenção") : QStringLiteral("Serviço"));
        EXPECT_EQ(cell(i, "Data Geração"), day(kDay - static_cast<double>(i)));
        EXPECT_EQ(cell(i, "CDA até"), day(kDay - static_cast<double>(i) - 1));
        EXPECT_EQ(cell(i, "Desc. Local"), QStringLiteral("São Paulo"));
    }
}

TEST_F(Report, ExportAsksWhereWritesWholeFilesAndSaysWhatToDoWhenItCannot)
{
    loadRows(knownList(3));
    QString answer = path("lista");
    QStringList proposed;
    DialogResponder::set([&](const DialogRequest& r) -> std::optional<DialogReply> {
        if (r.kind != QLatin1String("save"))
            return std::nullopt;
        proposed << r.value;
        return DialogReply{
            answer.isEmpty() ? cht::framework::mrCancel : cht::framework::mrOk, answer, {}};
    });
    screen->mnuExportar->trigger();
    ASSERT_EQ(proposed.size(), 1);
    EXPECT_TRUE(proposed[0].endsWith(QStringLiteral(".csv")));
    EXPECT_TRUE(QFileInfo(proposed[0]).fileName().startsWith(QStringLiteral("COT09800-")));
    QFile written(path("lista.csv")); // the extension is added
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().startsWith("\xEF\xBB\xBFMarcada;Situação;"));
    written.close();

    // A folder that does not exist: a message that says what to do, and nothing half written.
    answer = path("nao-existe/lista.csv");
    screen->mnuExportar->trigger();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith(QStringLiteral("Não foi possível gravar o arquivo")));
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("Escolha outra pasta ou outro nome")));
    errors().clear();

    // Cancelled: nothing written.
    answer.clear();
    QFile::remove(path("lista.csv"));
    screen->mnuExportar->trigger();
    EXPECT_FALSE(QFile::exists(path("lista.csv")));
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(Report, PreviewShowsTheReportAndSavesItAsPdf)
{
    loadRows(knownList(8));
    DialogResponder::set([&](const DialogRequest& r) -> std::optional<DialogReply> {
        if (r.kind != QLatin1String("save"))
            return std::nullopt;
        return DialogReply{cht::framework::mrOk, path("previa.pdf"), {}};
    });
    bool shown = false;
    DialogResponder::whenModal([&](QDialog* d) {
        ASSERT_NE(d, nullptr);
        shown = d->objectName() == QLatin1String(cht::framework::kPreviewName);
        QAction* save = d->findChild<QAction*>(QLatin1String(cht::framework::kSavePdfName));
        ASSERT_NE(save, nullptr);
        save->trigger();
        d->close();
    });
    screen->sbtImprimir->click();
    EXPECT_TRUE(shown);
    const QStringList pages = [&] {
        QString error;
        return cht::testing::pdfPages(path("previa.pdf"), &error);
    }();
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Página 1 de 1")));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST_F(Report, TotalsLineFollowsTicksTickAllAndReloadsWithoutAServerCall)
{
    std::vector<Row> rows = knownList(5);
    rows[2].status = QStringLiteral("R");      // billed: never ticked
    rows[3].manager = QStringLiteral("MARIA"); // another manager's
    rows[0].hours = QStringLiteral("08:30");
    rows[1].hours = QStringLiteral("01:45");
    rows[4].hours = QStringLiteral("10:00");
    loadRows(rows);
    const QString none = QStringLiteral(
        "5 CHTs listadas, 0 marcadas (Horas faturadas: 0:00; Valor a Faturar: R$ 0,00)");
    EXPECT_EQ(screen->lblTotais->text(), none);
    TColumn& tick = *screen->dbgPadrao->columnByFieldName(QStringLiteral("IDCHECK"));

    screen->cdsCancelaCHT.setRecNo(1);
    screen->dbgPadraoCellClick(tick);
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("5 CHTs listadas, 1 marcada (Horas faturadas: 8:30; Valor a "
                             "Faturar: R$ 1.001,50)"));
    screen->cdsCancelaCHT.setRecNo(2);
    screen->dbgPadraoCellClick(tick);
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("5 CHTs listadas, 2 marcadas (Horas faturadas: 10:15; Valor a "
                             "Faturar: R$ 2.004,00)"));

    screen->dbgPadraoTitleClick(tick); // ticks the three tickable rows
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("5 CHTs listadas, 3 marcadas (Horas faturadas: 20:15; Valor a "
                             "Faturar: R$ 3.009,50)"));
    screen->dbgPadraoTitleClick(tick);
    EXPECT_EQ(screen->lblTotais->text(), none);
    EXPECT_TRUE(server->requests.empty()); // counted here, nothing asked of the server

    screen->dbgPadraoTitleClick(tick);
    rows.resize(2);
    loadRows(rows); // a reload brings the server's ticks
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("2 CHTs listadas, 0 marcadas (Horas faturadas: 0:00; Valor a "
                             "Faturar: R$ 0,00)"));
    loadRows({});
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("0 CHTs listadas, 0 marcadas (Horas faturadas: 0:00; Valor a "
                             "Faturar: R$ 0,00)"));
    // Beside the navigator, under the grid.
    EXPECT_EQ(screen->lblTotais->parentWidget(), screen->panNavigator);
}

TEST_F(Report, F1OpensTheHelpOfTheScreenWithTheFocus)
{
    loadRows(knownList(2));
    // Another grid screen of the framework, open beside the CHT screen, with the base's page.
    auto* other = cht::framework::CreateForm<cht::framework::TfrmPadraoGrid>();
    other->setWindowTitle(QStringLiteral("Outra lista"));
    other->Show();
    QWidget* main = mdiArea()->window();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));

    mdiArea()->setActiveSubWindow(screen->SubWindow());
    screen->dbgPadrao->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    ASSERT_NE(HelpWindow::current(), nullptr);
    EXPECT_EQ(HelpWindow::current()->page(), QUrl(QStringLiteral("qrc:/cht/help/COT09800.html")));
    EXPECT_TRUE(
        HelpWindow::current()->windowTitle().endsWith(QStringLiteral("Gerenciamento de CHT")));
    const QString text = HelpWindow::current()->browser()->toPlainText();
    for (const char* part : {"Cores da situação", "Marcar CHTs", "Ctrl+O",
                             "Não há CHT selecionada para aprovação.", "Verificar (F5)"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;

    mdiArea()->setActiveSubWindow(other->SubWindow());
    other->dbgPadrao->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    EXPECT_EQ(HelpWindow::current()->page(), HelpWindow::basePage());
    EXPECT_TRUE(
        HelpWindow::current()->browser()->toPlainText().contains(QStringLiteral("Exportar")));

    // The tool-bar button does what F1 does; a link leads to the base page.
    screen->sbtAjuda->click();
    EXPECT_EQ(HelpWindow::current()->page(), QUrl(QStringLiteral("qrc:/cht/help/COT09800.html")));
    HelpWindow::current()->browser()->setSource(QUrl(QStringLiteral("padrao-grid.html")));
    EXPECT_EQ(HelpWindow::current()->page(), HelpWindow::basePage());

    // In the modal filter, F1 opens the filter's page over it.
    QUrl filterPage;
    bool usable = false;
    DialogResponder::whenModal([&](QDialog* d) {
        ASSERT_NE(d, nullptr);
        QTest::keyClick(d, Qt::Key_F1);
        if (HelpWindow* h = HelpWindow::current()) {
            filterPage = h->page();
            usable = h->parentWidget() == d && h->isVisible();
        }
        d->close();
    });
    screen->sbtFiltro->click();
    EXPECT_EQ(filterPage, QUrl(QStringLiteral("qrc:/cht/help/COT09801.html")));
    EXPECT_TRUE(usable);
    other->Close();
    Application::ProcessMessages();
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}
