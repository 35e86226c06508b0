// The base grid screen's report, export and totals for any list, and the pieces under them: the
// sums and their pt-BR texts, the PDF writer (WinAnsi texts, cutting, pictures stored once) read
// back by poppler, and a plain screen's report and CSV.
#include "framework/ListReport.h"
#include "framework/ListSummary.h"
#include "framework/PdfWriter.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "module/contracts/TfrmPadraoGrid.h"
#include "platform/dataset/ClientDataSet.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "tests/support/CsvReader.h"
#include "tests/support/PdfText.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace cht::framework;
using cht::platform::TClientDataSet;
using cht::wire::FieldType;

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// A list of orders: code, description, a tick, status, hours as text, amount and a date.
class Orders : public ::testing::Test {
protected:
    void SetUp() override
    {
        Corvanta::SetSession(QStringLiteral("ANA"), QStringLiteral("127.0.0.1"), 1);
        cds.addField("CODIGO", FieldType::Text, 10).displayLabel = QStringLiteral("Código");
        cds.addField("DESCRICAO", FieldType::Text, 60).displayLabel = QStringLiteral("Descrição");
        cds.addField("MARCA", FieldType::Text, 1).visible = false;
        cds.addField("SITUACAO", FieldType::Text, 1).displayLabel = QStringLiteral("Sit.");
        cds.addField("HORAS", FieldType::Text, 10).visible = false;
        cht::platform::TField& amount = cds.addField("VALOR", FieldType::Float);
        amount.displayLabel = QStringLiteral("Valor");
        amount.displayFormat = QStringLiteral("#,###,##0.00");
        cds.addField("DATA", FieldType::DateTime).displayLabel = QStringLiteral("Data");
        screen = CreateForm<TfrmPadraoGrid>();
        screen->setWindowTitle(QStringLiteral("Pedidos"));
        screen->lblCodTela->setText(QStringLiteral("PED001"));
        screen->dtsPadrao.setDataSet(&cds);
    }
    void TearDown() override
    {
        screen->dtsPadrao.setDataSet(nullptr);
        delete screen;
    }

    void
    load(const std::vector<
         std::tuple<const char*, const char*, const char*, const char*, const char*, double>>& rows)
    {
        cht::wire::ColumnTable t({{"CODIGO", FieldType::Text, 10},
                                  {"DESCRICAO", FieldType::Text, 60},
                                  {"MARCA", FieldType::Text, 1},
                                  {"SITUACAO", FieldType::Text, 1},
                                  {"HORAS", FieldType::Text, 10},
                                  {"VALOR", FieldType::Float, 0},
                                  {"DATA", FieldType::DateTime, 0}});
        for (const auto& [code, text, tick, status, hours, value] : rows) {
            const std::size_t r = t.appendRow();
            t.setText(r, 0, code);
            t.setText(r, 1, text);
            t.setText(r, 2, tick);
            t.setText(r, 3, status);
            t.setText(r, 4, hours);
            t.setNumber(r, 5, value);
            t.setNumber(r, 6, 46022.6041666666667); // 31/12/2025 14:30
        }
        cds.loadFromPacket(std::move(t));
    }

    void describe()
    {
        ListDescription& d = screen->listDescription;
        d.itemName = QStringLiteral("pedido");
        d.itemNamePlural = QStringLiteral("pedidos");
        d.tickField = QStringLiteral("MARCA");
        d.statusField = QStringLiteral("SITUACAO");
        d.hoursField = QStringLiteral("HORAS");
        d.valueField = QStringLiteral("VALOR");
        d.valueCaption = QStringLiteral("Valor");
        d.pictureWords.insert(QStringLiteral("SITUACAO"),
                              {{QStringLiteral("A"), QStringLiteral("Aberto")},
                               {QStringLiteral("F"), QStringLiteral("Fechado")}});
        screen->refreshTotals();
    }

    TClientDataSet cds{QStringLiteral("cdsPedidos")};
    TfrmPadraoGrid* screen = nullptr;
};

} // namespace

TEST(ListSummary, HoursAndMoneyReadAndWriteAsTheOperatorDoes)
{
    EXPECT_EQ(parseMinutes(u"08:30"), 510);
    EXPECT_EQ(parseMinutes(u" 123:05 "), 123 * 60 + 5);
    EXPECT_EQ(parseMinutes(u"0:00"), 0);
    EXPECT_EQ(parseMinutes(u"-1:15"), -75);
    EXPECT_EQ(parseMinutes(u"7,5"), 450);
    for (const char16_t* bad :
         {u"", u"8:3", u"8:60", u"x:10", u"8h30", u"1:2:3", u"1:-5", u"+1:30", u"1 :30"})
        EXPECT_FALSE(parseMinutes(bad).has_value()) << QString::fromUtf16(bad).toStdString();

    EXPECT_EQ(formatHours(0), QStringLiteral("0:00"));
    EXPECT_EQ(formatHours(65), QStringLiteral("1:05"));
    EXPECT_EQ(formatHours(1234 * 60 + 7), QStringLiteral("1.234:07"));
    EXPECT_EQ(formatHours(-75), QStringLiteral("-1:15"));
    EXPECT_EQ(formatMoney(1234.5), QStringLiteral("R$ 1.234,50"));
    EXPECT_EQ(formatMoney(0), QStringLiteral("R$ 0,00"));
    EXPECT_EQ(formatMoney(-3), QStringLiteral("-R$ 3,00"));
    EXPECT_EQ(formatMoney(1234567.891), QStringLiteral("R$ 1.234.567,89"));
}

TEST_F(Orders, TotalsCountEveryRowTheTickedOnesAndEachStatusTheEditIncluded)
{
    describe();
    EXPECT_EQ(summarizeList(cds, screen->listDescription, true).listed.rows, 0); // closed
    EXPECT_TRUE(screen->lblTotais->text().isEmpty());
    load({{"1", "um", "S", "A", "01:30", 10.25},
          {"2", "dois", "N", "F", "02:00", 20},
          {"3", "três", "S", "X", "10:15", 30},
          {"4", "quatro", "D", "A", "lixo", 40}});
    const ListTotals t = summarizeList(cds, screen->listDescription, true);
    EXPECT_EQ(t.listed.rows, 4);
    EXPECT_EQ(t.listed.minutes, 90 + 120 + 615); // an unreadable text counts as nothing
    EXPECT_DOUBLE_EQ(t.listed.value, 100.25);
    EXPECT_EQ(t.ticked.rows, 2);
    EXPECT_EQ(t.ticked.minutes, 90 + 615);
    EXPECT_DOUBLE_EQ(t.ticked.value, 40.25);
    ASSERT_EQ(t.byStatus.size(), 3); // Aberto, Fechado, then the other values
    EXPECT_EQ(t.byStatus[0].first, QStringLiteral("Aberto"));
    EXPECT_EQ(t.byStatus[0].second.rows, 2);
    EXPECT_EQ(t.byStatus[1].second.minutes, 120);
    EXPECT_TRUE(t.byStatus[2].first.isEmpty());
    EXPECT_DOUBLE_EQ(t.byStatus[2].second.value, 30);
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("4 pedidos listados, 2 marcados (Horas: 11:45; Valor: R$ 40,25)"));

    // The row being edited counts with the values it holds now, before and after its post.
    cds.setRecNo(2);
    cds.edit();
    cds.fieldByName("MARCA").setAsString("S");
    EXPECT_EQ(summarizeList(cds, screen->listDescription, false).ticked.rows, 3);
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("4 pedidos listados, 3 marcados (Horas: 13:45; Valor: R$ 60,25)"));
    cds.cancel();
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("4 pedidos listados, 2 marcados (Horas: 11:45; Valor: R$ 40,25)"));

    // A pass with the controls disabled recounts once, at its end.
    {
        cds.disableControls();
        for (int r = 1; r <= 4; ++r) {
            cds.setRecNo(r);
            cds.edit();
            cds.fieldByName("MARCA").setAsString("N");
            cds.post();
        }
        EXPECT_EQ(screen->lblTotais->text(),
                  QStringLiteral("4 pedidos listados, 2 marcados (Horas: 11:45; Valor: R$ 40,25)"));
        cds.enableControls();
    }
    EXPECT_EQ(screen->lblTotais->text(),
              QStringLiteral("4 pedidos listados, 0 marcados (Horas: 0:00; Valor: R$ 0,00)"));
}

TEST_F(Orders, TotalsReadEveryShapeOfHoursAsTheOperatorsReaderDoes)
{
    // The recount reads "H:MM" from the stored bytes and hands any other shape to parseMinutes:
    // both ways must add up the same.
    describe();
    const std::vector<const char*> shapes = {"08:30", "123:05", "0:00", "-1:15", "-:30",    ":05",
                                             "7,5",   " 0:45 ", "8:60", "8:3",   "1:2:3",   "x:10",
                                             "1:5x",  "--1:30", "1:-5", "",      "99999:59"};
    std::vector<std::tuple<const char*, const char*, const char*, const char*, const char*, double>>
        rows;
    qint64 expected = 0;
    for (const char* hours : shapes) {
        rows.emplace_back("1", "", "S", "A", hours, 0);
        expected += parseMinutes(QString::fromUtf8(hours)).value_or(0);
    }
    load(rows);
    EXPECT_EQ(expected, 510 + 7385 - 75 - 30 + 5 + 450 + 45 + 99999 * 60 + 59);
    EXPECT_EQ(summarizeList(cds, screen->listDescription, false).ticked.minutes, expected);
    EXPECT_EQ(summarizeList(cds, screen->listDescription, true).listed.minutes, expected);
}

TEST_F(Orders, TotalsLineAgreesInNumberAndGenderAndLeavesOutWhatIsNotDescribed)
{
    load({{"1", "um", "S", "A", "01:00", 1}});
    EXPECT_EQ(screen->lblTotais->text(), QStringLiteral("1 registro listado"));
    describe();
    screen->listDescription.feminine = true;
    screen->listDescription.itemName = QStringLiteral("nota");
    screen->listDescription.itemNamePlural = QStringLiteral("notas");
    screen->listDescription.valueField.clear();
    screen->refreshTotals();
    EXPECT_EQ(screen->lblTotais->text(), QStringLiteral("1 nota listada, 1 marcada (Horas: 1:00)"));
    screen->listDescription.tickField = QStringLiteral("NAOEXISTE");
    screen->refreshTotals();
    EXPECT_EQ(screen->lblTotais->text(), QStringLiteral("1 nota listada"));
}

TEST_F(Orders, PrintAndExportFollowTheBaseRuleOnAnyScreen)
{
    EXPECT_FALSE(screen->sbtImprimir->isEnabled());
    EXPECT_FALSE(screen->mnuExportar->isEnabled());
    load({{"1", "um", "N", "A", "", 1}});
    EXPECT_TRUE(screen->sbtImprimir->isEnabled());
    EXPECT_TRUE(screen->mnuImprimir->isEnabled());
    EXPECT_TRUE(screen->mnuExportar->isEnabled());
    cds.edit();
    EXPECT_FALSE(screen->sbtImprimir->isEnabled());
    EXPECT_FALSE(screen->mnuExportar->isEnabled());
    cds.cancel();
    EXPECT_TRUE(screen->sbtImprimir->isEnabled());
    cds.emptyDataSet();
    screen->dtsPadraoStateChange(&screen->dtsPadrao);
    EXPECT_FALSE(screen->sbtImprimir->isEnabled());
}

TEST_F(Orders, CsvOfAPlainListHasPtBrNumbersAndDatesAndQuotesWhatNeedsIt)
{
    describe();
    load({{"A;1", "diz \"oi\"", "S", "A", "", 1234.5},
          {"B2", "ação\r\nnova", "N", "F", "", -0.5},
          {"C3", "", "N", "Z", "", 1234.5}});
    screen->dbgPadrao->columnByFieldName(QStringLiteral("DATA"))->setVisible(false);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ListReport::writeCsv(*screen, out);
    ASSERT_TRUE(out.data().startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(out.data().contains("\"A;1\";\"diz \"\"oi\"\"\";Aberto;"));
    QString error;
    const auto records =
        cht::testing::readCsv(QString::fromUtf8(out.data().mid(3)), QLatin1Char(';'), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], (QStringList{"Código", "Descrição", "Sit.", "Valor"})); // DATA hidden
    EXPECT_EQ(records[1], (QStringList{"A;1", "diz \"oi\"", "Aberto", "1.234,50"}));
    EXPECT_EQ(records[2], (QStringList{"B2", "ação\r\nnova", "Fechado", "-0,50"}));
    EXPECT_EQ(records[3], (QStringList{"C3", "", "", "1.234,50"})); // no word for "Z"

    // A date column in pt-BR; the row being edited is written with its new values.
    screen->dbgPadrao->columnByFieldName(QStringLiteral("DATA"))->setVisible(true);
    cds.setRecNo(3);
    cds.edit();
    cds.fieldByName("DESCRICAO").setAsString(QStringLiteral("editada"));
    cds.fieldByName("VALOR").setAsFloat(7); // the first row keeps the value it shared with it
    QBuffer again;
    again.open(QIODevice::WriteOnly);
    ListReport::writeCsv(*screen, again);
    cds.cancel();
    const auto edited =
        cht::testing::readCsv(QString::fromUtf8(again.data().mid(3)), QLatin1Char(';'), &error);
    ASSERT_EQ(edited.size(), 4u) << error.toStdString();
    EXPECT_EQ(edited[1].last(), QStringLiteral("31/12/2025 14:30:00"));
    EXPECT_EQ(edited[3][1], QStringLiteral("editada"));
    EXPECT_EQ(edited[3][3], QStringLiteral("7,00"));
    EXPECT_EQ(edited[1][3], QStringLiteral("1.234,50"));
}

TEST_F(Orders, ReportOfAPlainScreenAndOfAnEmptyList)
{
    QTemporaryDir dir;
    auto pages = [&dir](const ListReport& report) {
        QFile f(dir.filePath(QStringLiteral("r.pdf")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(report.pdf());
        f.close();
        QString error;
        const QStringList text = cht::testing::pdfPages(f.fileName(), &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return text;
    };
    load({});
    const QStringList empty = pages(ListReport(*screen));
    ASSERT_EQ(empty.size(), 1);
    EXPECT_TRUE(empty[0].contains(QStringLiteral("Nenhum registro na lista.")));
    EXPECT_TRUE(empty[0].contains(QStringLiteral("Página 1 de 1")));
    EXPECT_FALSE(empty[0].contains(QStringLiteral("Filtro:"))); // the base knows no filter
    EXPECT_TRUE(empty[0].contains(QStringLiteral("Operador: ANA")));

    std::vector<std::tuple<const char*, const char*, const char*, const char*, const char*, double>>
        many;
    for (int i = 0; i < 100; ++i)
        many.emplace_back("X", "linha", "N", "A", "", 2.5);
    load(many);
    const ListReport report(*screen);
    const QStringList full = pages(report);
    ASSERT_EQ(full.size(), report.pageCount());
    EXPECT_GE(full.size(), 3);
    int rows = 0;
    for (const QString& p : full)
        rows += static_cast<int>(p.count(QStringLiteral("linha")));
    EXPECT_EQ(rows, 100);
    const QString last = full.last().simplified();
    EXPECT_TRUE(last.contains(QStringLiteral("Total 100"))) << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("Página %1 de %1").arg(full.size())));
}

TEST(PdfWriter, TextsInWinAnsiPicturesOnceAndCutsThatFit)
{
    EXPECT_EQ(winAnsiByte(u'ç'), 0xE7);
    EXPECT_EQ(winAnsiByte(u'\u20AC'), 0x80);
    EXPECT_EQ(winAnsiByte(u'\u2026'), 0x85);
    EXPECT_EQ(winAnsiByte(u'\u4E2D'), '?');
    EXPECT_EQ(winAnsiByte(u'\u0081'), '?'); // undefined in the code page

    const PdfFontMetrics& m = PdfFontMetrics::instance();
    const QString text = QStringLiteral("Referência da Proposta");
    const double full = m.width(text, 10, false);
    EXPECT_GT(full, m.width(QStringLiteral("Referência"), 10, false));
    EXPECT_GT(m.width(text, 10, true), full); // bold is wider
    double taken = 0;
    EXPECT_EQ(m.elided(text, full + 1, 10, false, &taken), text);
    EXPECT_DOUBLE_EQ(taken, full);
    const QString cut = m.elided(text, full / 2, 10, false, &taken);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)));
    EXPECT_LE(taken, full / 2);
    EXPECT_DOUBLE_EQ(taken, m.width(cut, 10, false));
    EXPECT_TRUE(m.elided(text, 1, 10, false).isEmpty());

    PdfWriter pdf(QSizeF(400, 300), QStringLiteral("Ação"));
    pdf.text(20, 40, QStringLiteral("Preço (R$) \\ São João € 中"), 12, false, Qt::black);
    pdf.text(20, 60, QStringLiteral("Negrito"), 12, true, Qt::black);
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    pdf.image(QRectF(20, 80, 8, 8), picture);
    pdf.painter().drawImage(QPointF(40, 80), picture); // the same picture through the painter
    pdf.fillRect(QRectF(0, 100, 50, 10), Qt::blue);
    pdf.newPage();
    pdf.text(20, 40, QStringLiteral("segunda"), 12, false, Qt::black);
    const QByteArray bytes = pdf.finish();
    EXPECT_EQ(bytes.count("/Subtype /Image"), 2); // one picture and its mask
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("w.pdf")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QString error;
    const QStringList pages = cht::testing::pdfPages(f.fileName(), &error);
    ASSERT_EQ(pages.size(), 2) << error.toStdString();
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Preço (R$) \\ São João € ?")))
        << pages[0].toStdString();
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Negrito")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("segunda")));
    const QImage page = cht::testing::pdfPageImage(f.fileName(), 1, 96, &error);
    ASSERT_FALSE(page.isNull()) << error.toStdString();
    EXPECT_EQ(page.pixelColor(24, 84), QColor(Qt::red));
    EXPECT_EQ(page.pixelColor(44, 84), QColor(Qt::red));
    EXPECT_EQ(page.pixelColor(25, 105), QColor(Qt::blue));
}
