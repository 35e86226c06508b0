#include "framework/ListReport.h"

#include "framework/PdfWriter.h"
#include "module/contracts/Corvanta.h"
#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"

#include <QIODevice>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cht::framework {

using cht::platform::TClientDataSet;
using cht::platform::TColumn;
using cht::platform::TDBGrid;

namespace {

// Sizes in pixels at 96 per inch (8 pt is 10.67 pixels).
constexpr double kBodySize = 32.0 / 3;
constexpr double kTitleSize = 56.0 / 3;
constexpr double kHeadingSize = 12;
constexpr double kFooterSize = 28.0 / 3;
constexpr double kTitleLine = 26;
constexpr double kHeadingLine = 16;
constexpr double kShortHeading = 24;
constexpr double kFooter = 20;
constexpr double kTotalsLine = 16;
constexpr double kGap = 10;

const QColor kText(0, 0, 0);
const QColor kRule(160, 160, 160);
const QColor kTitleFill(225, 225, 225);

double textWidth(const QString& text, double size, bool bold)
{
    return PdfFontMetrics::instance().width(text, size, bold);
}

// A text on one line, cut to `width`: line breaks and other control characters become blanks.
// The width it takes goes to `taken` when asked.
QString elided(const QString& text, double width, double size, bool bold, double* taken = nullptr)
{
    const auto control = [](QChar c) { return c.unicode() < 0x20; };
    if (std::none_of(text.cbegin(), text.cend(), control))
        return PdfFontMetrics::instance().elided(text, width, size, bold, taken);
    QString line = text;
    std::replace_if(line.begin(), line.end(), control, QLatin1Char(' '));
    return PdfFontMetrics::instance().elided(line, width, size, bold, taken);
}

// A text broken into lines no wider than `width`, at blanks where it can be.
QStringList wrapped(const QString& text, double width, double size)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (textWidth(candidate, size, false) <= width || line.isEmpty()) {
            line = candidate;
        } else {
            lines << line;
            line = word;
        }
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines << line;
    for (QString& l : lines)
        l = elided(l, width, size, false);
    return lines;
}

// Baseline that centres a line of `size` in a band from `top` of `height`.
double baselineIn(double top, double height, double size)
{
    return top + height / 2 + size * 0.35;
}

// Makes a record the one that field reads see, for as long as it lives: a row being written out
// reads as the grid reads the row it paints, without moving the cursor or firing anything.
class ActiveRow {
public:
    ActiveRow(TClientDataSet& ds, int recNo) : m_ds(ds), m_saved(ds.activeRecord())
    {
        m_ds.setActiveRecord(recNo);
    }
    ~ActiveRow() { m_ds.setActiveRecord(m_saved); }
    ActiveRow(const ActiveRow&) = delete;
    ActiveRow& operator=(const ActiveRow&) = delete;

private:
    TClientDataSet& m_ds;
    int m_saved;
};

std::vector<ReportColumn> reportColumns(const TfrmPadraoGrid& screen)
{
    const TDBGrid& grid = *screen.dbgPadrao;
    const ListDescription& d = screen.listDescription;
    std::vector<ReportColumn> columns;
    for (const int index : grid.displayOrder()) {
        const TColumn& c = grid.column(index);
        ReportColumn rc;
        rc.gridIndex = index;
        rc.field = c.field();
        const QString key = c.fieldName().toUpper();
        rc.title = d.titles.value(key);
        if (rc.title.isEmpty())
            rc.title = c.title().trimmed();
        rc.titleImage = c.titleImage();
        rc.gridWidth = c.width();
        rc.alignment = c.alignment();
        rc.words = d.pictureWords.value(key);
        rc.wordBeside = !rc.words.isEmpty() && key == d.statusField.toUpper();
        columns.push_back(std::move(rc));
    }
    return columns;
}

QString wordOf(const ReportColumn& column)
{
    const QString value = column.field->asString();
    for (const auto& [v, word] : column.words)
        if (v == value)
            return word;
    return {};
}

// The text of a cell of the active row in the report and the export: a picture column's word, or
// else what the grid's default drawing shows, the field's display text.
QString cellText(const ReportColumn& c)
{
    if (c.field == nullptr)
        return {};
    return c.words.isEmpty() ? c.field->displayText() : wordOf(c);
}

// CSV records written to a device in UTF-8, a chunk at a time, fields quoted as RFC 4180 asks.
class CsvOut {
public:
    explicit CsvOut(QIODevice& device) : m_device(device) { m_buffer.reserve(kChunk + 4096); }
    ~CsvOut() = default;
    CsvOut(const CsvOut&) = delete;
    CsvOut& operator=(const CsvOut&) = delete;

    void bom() { m_buffer += "\xEF\xBB\xBF"; }
    void field(std::string_view utf8)
    {
        if (!m_first)
            m_buffer += ';';
        m_first = false;
        // The marks that need quoting are ASCII: the UTF-8 bytes are scanned as they are.
        const bool quote = std::any_of(utf8.begin(), utf8.end(), [](char c) {
            return c == ';' || c == '"' || c == '\r' || c == '\n';
        });
        if (!quote) {
            m_buffer.append(utf8.data(), static_cast<qsizetype>(utf8.size()));
            return;
        }
        m_buffer += '"';
        for (const char c : utf8) {
            if (c == '"')
                m_buffer += '"';
            m_buffer += c;
        }
        m_buffer += '"';
    }
    void field(const QByteArray& utf8)
    {
        field(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    }
    void field(const QString& text) { field(text.toUtf8()); }
    void endRecord()
    {
        m_buffer += "\r\n";
        m_first = true;
        if (m_buffer.size() >= kChunk)
            flush();
    }
    void flush()
    {
        if (m_device.write(m_buffer) != m_buffer.size())
            throw std::runtime_error(QStringLiteral("Não foi possível gravar o arquivo: %1")
                                         .arg(m_device.errorString())
                                         .toStdString());
        m_buffer.clear();
    }

private:
    static constexpr qsizetype kChunk = 1 << 20;
    QIODevice& m_device;
    QByteArray m_buffer;
    bool m_first = true;
};

// --- surfaces --------------------------------------------------------------------------------

class PdfSurface : public ReportSurface {
public:
    explicit PdfSurface(PdfWriter& pdf) : m_pdf(pdf) {}
    void newPage() override { m_pdf.newPage(); }
    void text(double x, double baseline, const QString& text, double size, bool bold,
              const QColor& color) override
    {
        m_pdf.text(x, baseline, text, size, bold, color);
    }
    void fillRect(const QRectF& rect, const QColor& color) override { m_pdf.fillRect(rect, color); }
    void line(const QPointF& from, const QPointF& to, double width, const QColor& color) override
    {
        m_pdf.line(from, to, width, color);
    }
    void image(const QRectF& rect, const QImage& image) override { m_pdf.image(rect, image); }
    QPainter& cellPainter(const QTransform& placement) override
    {
        QPainter& p = m_pdf.painter();
        p.setTransform(placement);
        return p;
    }

private:
    PdfWriter& m_pdf;
};

// A printer's painter, the page's corner at the origin; 96-per-inch pixels scaled to the device.
class PainterSurface : public ReportSurface {
public:
    PainterSurface(QPrinter& printer, QPainter& painter)
        : m_printer(printer), m_painter(painter),
          m_device(
              QTransform::fromScale(printer.logicalDpiX() / 96.0, printer.logicalDpiY() / 96.0))
    {}
    void newPage() override { m_printer.newPage(); }
    void text(double x, double baseline, const QString& text, double size, bool bold,
              const QColor& color) override
    {
        m_painter.setTransform(m_device);
        QFont font(PdfFontMetrics::family());
        font.setPointSizeF(size * 72.0 / 96.0 * 96.0 / m_printer.logicalDpiY());
        font.setBold(bold);
        font.setKerning(false);
        font.setHintingPreference(QFont::PreferNoHinting);
        m_painter.setFont(font);
        m_painter.setPen(color);
        m_painter.drawText(QPointF(x, baseline), text);
    }
    void fillRect(const QRectF& rect, const QColor& color) override
    {
        m_painter.setTransform(m_device);
        m_painter.fillRect(rect, color);
    }
    void line(const QPointF& from, const QPointF& to, double width, const QColor& color) override
    {
        m_painter.setTransform(m_device);
        m_painter.setPen(QPen(color, width));
        m_painter.drawLine(from, to);
    }
    void image(const QRectF& rect, const QImage& image) override
    {
        m_painter.setTransform(m_device);
        m_painter.drawImage(rect, image);
    }
    QPainter& cellPainter(const QTransform& placement) override
    {
        m_painter.setTransform(placement * m_device);
        return m_painter;
    }

private:
    QPrinter& m_printer;
    QPainter& m_painter;
    QTransform m_device;
};

} // namespace

// --- the report --------------------------------------------------------------------------------

ListReport::ListReport(const TfrmPadraoGrid& screen, const QDateTime& printedAt)
    : m_screen(screen), m_columns(reportColumns(screen))
{
    const ListDescription& d = screen.listDescription;
    const TClientDataSet* ds = screen.dbgPadrao->dataSet();
    m_title = screen.windowTitle();
    const QString filter = screen.filterDescription();
    if (!filter.isEmpty())
        m_heading << QStringLiteral("Filtro: %1").arg(filter);
    m_printedAt = printedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    m_heading
        << QStringLiteral("Operador: %1    Emitido em %2").arg(Corvanta::Operador(), m_printedAt);
    if (ds && ds->active()) {
        m_rowCount = ds->recordCount();
        m_totals = summarizeList(*ds, d, true);
        m_hasTick = !d.tickField.isEmpty() && ds->findField(d.tickField);
    }
    layOut(defaultPageLayout());
}

QPageLayout ListReport::defaultPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

void ListReport::layOut(const QPageLayout& page)
{
    m_page = page;
    const QRectF inches = page.paintRect(QPageLayout::Inch);
    m_area = QRectF(inches.topLeft() * 96, inches.size() * 96);

    // Columns: the grid's widths, a status word's room added, scaled to fill the page; the text
    // and rows shrink with them when they do not fit, and never grow.
    std::vector<double> natural;
    double total = 0;
    for (const ReportColumn& c : m_columns) {
        double w = std::max(c.gridWidth, 4);
        if (c.wordBeside) {
            double widest = 0;
            for (const auto& [value, word] : c.words)
                widest = std::max(widest, textWidth(word, kBodySize, false));
            w += widest + 6;
        }
        natural.push_back(w);
        total += w;
    }
    const double fill = total > 0 ? m_area.width() / total : 1;
    m_scale = std::min(1.0, fill);
    m_widths.clear();
    m_lefts.clear();
    double left = m_area.left();
    for (const double w : natural) {
        m_lefts.push_back(left);
        m_widths.push_back(w * fill);
        left += w * fill;
    }
    m_rowHeight = std::max(m_screen.dbgPadrao->defaultRowHeight(), 16) * m_scale;

    const int filterLines = [&] {
        int lines = 0;
        for (const QString& h : m_heading)
            lines += static_cast<int>(wrapped(h, m_area.width(), kHeadingSize).size());
        return lines;
    }();
    m_headingHeight = kTitleLine + kHeadingLine * filterLines + kGap;
    m_shortHeadingHeight = kShortHeading;
    const double titles = m_rowHeight + 4;
    const double body = m_area.height() - kFooter - titles;
    m_firstPageRows = std::max(1, static_cast<int>((body - m_headingHeight) / m_rowHeight));
    m_pageRows = std::max(1, static_cast<int>((body - m_shortHeadingHeight) / m_rowHeight));

    const int groups = static_cast<int>(m_totals.byStatus.size());
    m_totalsHeight = kHeadingLine + 4 + kTotalsLine * (1 + groups + 1 + (m_hasTick ? 1 : 0));

    int lastRows = m_rowCount;
    m_pageCount = 1;
    if (m_rowCount > m_firstPageRows) {
        const int rest = m_rowCount - m_firstPageRows;
        m_pageCount = 1 + (rest + m_pageRows - 1) / m_pageRows;
        lastRows = rest - (m_pageCount - 2) * m_pageRows;
    }
    const double lastBody =
        (m_pageCount == 1 ? body - m_headingHeight : body - m_shortHeadingHeight);
    const double used = std::max(lastRows, 1) * m_rowHeight;
    m_totalsOwnPage = lastBody - used < m_totalsHeight + kGap;
    if (m_totalsOwnPage)
        ++m_pageCount;
}

void ListReport::paint(ReportSurface& surface) const
{
    int next = 1;
    for (int page = 1; page <= m_pageCount; ++page) {
        if (page > 1)
            surface.newPage();
        const bool totalsOnly = m_totalsOwnPage && page == m_pageCount;
        const int capacity = page == 1 ? m_firstPageRows : m_pageRows;
        const int rows = totalsOnly ? 0 : std::min(capacity, m_rowCount - next + 1);
        paintPage(surface, page, next, rows, page == m_pageCount);
        next += rows;
    }
}

void ListReport::paintPage(ReportSurface& surface, int page, int firstRow, int rows,
                           bool totals) const
{
    double top = paintHeading(surface, page == 1);
    const bool table = rows > 0 || (m_rowCount == 0 && page == 1);
    if (table) {
        const double tableTop = top;
        paintTitles(surface, top);
        top += m_rowHeight + 4;
        for (int i = 0; i < rows; ++i)
            paintRow(surface, firstRow + i, top + i * m_rowHeight);
        if (m_rowCount == 0) {
            surface.text(m_area.left() + 2, baselineIn(top, m_rowHeight, kBodySize),
                         QStringLiteral("Nenhum registro na lista."), kBodySize * m_scale, false,
                         kText);
            rows = 1;
        }
        top += rows * m_rowHeight;
        // The columns' rules, once for the page.
        for (std::size_t c = 0; c <= m_columns.size(); ++c) {
            const double x = c < m_columns.size() ? m_lefts[c] : m_area.right();
            surface.line(QPointF(x, tableTop), QPointF(x, top), 0.5, kRule);
        }
        surface.line(QPointF(m_area.left(), top), QPointF(m_area.right(), top), 0.5, kRule);
    }
    if (totals)
        paintTotals(surface, top + kGap);
    paintFooter(surface, page);
}

double ListReport::paintHeading(ReportSurface& surface, bool first) const
{
    const QString code = m_screen.lblCodTela ? m_screen.lblCodTela->text() : QString();
    double top = m_area.top();
    if (!first) {
        const QString line = QStringLiteral("%1 (continuação)").arg(m_title);
        surface.text(m_area.left(), baselineIn(top, kShortHeading - 6, kHeadingSize), line,
                     kHeadingSize, true, kText);
        surface.text(m_area.right() - textWidth(code, kHeadingSize, true),
                     baselineIn(top, kShortHeading - 6, kHeadingSize), code, kHeadingSize, true,
                     kText);
        return top + kShortHeading;
    }
    surface.text(m_area.left(), baselineIn(top, kTitleLine, kTitleSize), m_title, kTitleSize, true,
                 kText);
    surface.text(m_area.right() - textWidth(code, kHeadingSize, true),
                 baselineIn(top, kTitleLine, kHeadingSize), code, kHeadingSize, true, kText);
    top += kTitleLine;
    for (const QString& h : m_heading)
        for (const QString& line : wrapped(h, m_area.width(), kHeadingSize)) {
            surface.text(m_area.left(), baselineIn(top, kHeadingLine, kHeadingSize), line,
                         kHeadingSize, false, kText);
            top += kHeadingLine;
        }
    return top + kGap;
}

void ListReport::paintTitles(ReportSurface& surface, double top) const
{
    const double height = m_rowHeight + 4;
    const double size = kBodySize * m_scale;
    surface.fillRect(QRectF(m_area.left(), top, m_area.width(), height), kTitleFill);
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const ReportColumn& c = m_columns[i];
        const double x = m_lefts[i];
        const double w = m_widths[i];
        if (!c.titleImage.isNull()) {
            const QSizeF s = QSizeF(c.titleImage.size()) * m_scale;
            surface.image(QRectF(QPointF(x + 2 * m_scale, top + (height - s.height()) / 2), s),
                          c.titleImage);
            continue;
        }
        const QString text = elided(c.title, w - 4 * m_scale, size, true);
        const double tx = c.alignment & Qt::AlignRight
                              ? x + w - 2 * m_scale - textWidth(text, size, true)
                              : x + 2 * m_scale;
        surface.text(tx, baselineIn(top, height, size), text, size, true, kText);
    }
    surface.line(QPointF(m_area.left(), top), QPointF(m_area.right(), top), 0.5, kRule);
    surface.line(QPointF(m_area.left(), top + height), QPointF(m_area.right(), top + height), 0.5,
                 kRule);
}

void ListReport::paintRow(ReportSurface& surface, int recNo, double top) const
{
    TDBGrid& grid = *m_screen.dbgPadrao;
    const ActiveRow row(*grid.dataSet(), recNo);
    const double size = kBodySize * m_scale;
    const double baseline = baselineIn(top, m_rowHeight, size);
    const double margin = 2 * m_scale;
    const QTransform placement(m_scale, 0, 0, m_scale, 0, top);
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const ReportColumn& c = m_columns[i];
        const double x = m_lefts[i];
        const double w = m_widths[i];
        double pictureWidth = w;
        if (c.words.isEmpty()) {
            double taken = 0;
            const QString text = elided(cellText(c), w - 2 * margin, size, false, &taken);
            double tx = x + margin;
            if (c.alignment & Qt::AlignRight)
                tx = x + w - margin - taken;
            else if (c.alignment & Qt::AlignHCenter)
                tx = x + (w - taken) / 2;
            surface.text(tx, baseline, text, size, false, kText);
        } else if (c.wordBeside) {
            pictureWidth = c.gridWidth * m_scale;
            const double wx = x + pictureWidth + margin;
            const QString word =
                c.field ? elided(wordOf(c), x + w - margin - wx, size, false) : QString();
            surface.text(wx, baseline, word, size, false, kText);
        }
        // The grid's own drawing handler paints the pictures here as on screen, at the table's
        // scale: a cell of the grid's pixels.
        if (!c.words.isEmpty() && grid.onDrawColumnCell) {
            // Placed anew for each cell: the surface's own drawing may have moved the painter.
            QPainter& cells = surface.cellPainter(placement);
            const QRect cell(qRound(x / m_scale), 0, qRound(pictureWidth / m_scale),
                             qRound(m_rowHeight / m_scale));
            grid.drawCellEvent(cells, cell, recNo, c.gridIndex, Qt::white, kText);
        }
    }
    surface.line(QPointF(m_area.left(), top + m_rowHeight),
                 QPointF(m_area.right(), top + m_rowHeight), 0.25, kRule);
}

void ListReport::paintTotals(ReportSurface& surface, double top) const
{
    const ListDescription& d = m_screen.listDescription;
    const TClientDataSet* ds = m_screen.dbgPadrao->dataSet();
    const bool hours = ds && !d.hoursField.isEmpty() && ds->findField(d.hoursField);
    const bool value = ds && !d.valueField.isEmpty() && ds->findField(d.valueField);
    const double size = kBodySize;
    surface.text(m_area.left(), baselineIn(top, kHeadingLine, kHeadingSize),
                 QStringLiteral("Totais"), kHeadingSize, true, kText);
    top += kHeadingLine + 4;

    // Label, count, then hours and money where the list has them; numbers to the right.
    const QString groupTitle = d.titles.value(d.statusField.toUpper(), QStringLiteral("Situação"));
    std::vector<std::pair<QString, double>> cols{{groupTitle, 170}, {d.itemNamePlural, 70}};
    if (hours)
        cols.emplace_back(d.hoursCaption, 90);
    if (value)
        cols.emplace_back(d.valueCaption, 130);
    auto row = [&](const QStringList& texts, bool bold, bool fill) {
        double x = m_area.left();
        if (fill) {
            double width = 0;
            for (const auto& c : cols)
                width += c.second;
            surface.fillRect(QRectF(x, top, width, kTotalsLine), kTitleFill);
        }
        for (int i = 0; i < texts.size(); ++i) {
            const double w = cols[static_cast<std::size_t>(i)].second;
            const QString t = elided(texts[i], w - 6, size, bold);
            const double tx = i == 0 ? x + 3 : x + w - 3 - textWidth(t, size, bold);
            surface.text(tx, baselineIn(top, kTotalsLine, size), t, size, bold, kText);
            x += w;
        }
        top += kTotalsLine;
    };
    auto sums = [&](const QString& label, const ListSum& s) {
        QStringList t{label, QString::number(s.rows)};
        if (hours)
            t << formatHours(s.minutes);
        if (value)
            t << formatMoney(s.value);
        return t;
    };
    QStringList captions;
    for (const auto& c : cols)
        captions << c.first;
    row(captions, true, true);
    for (const auto& [word, sum] : m_totals.byStatus)
        row(sums(word.isEmpty() ? QStringLiteral("Outros") : word, sum), false, false);
    row(sums(QStringLiteral("Total"), m_totals.listed), true, false);
    if (m_hasTick)
        row(sums(d.feminine ? QStringLiteral("Marcadas") : QStringLiteral("Marcados"),
                 m_totals.ticked),
            false, false);
}

void ListReport::paintFooter(ReportSurface& surface, int page) const
{
    const double top = m_area.bottom() - kFooter + 4;
    surface.line(QPointF(m_area.left(), top), QPointF(m_area.right(), top), 0.5, kRule);
    const double baseline = baselineIn(top, kFooter - 4, kFooterSize);
    surface.text(m_area.left(), baseline,
                 QStringLiteral("%1 \u2014 emitido em %2").arg(m_title, m_printedAt), kFooterSize,
                 false, kText);
    const QString pages = QStringLiteral("Página %1 de %2").arg(page).arg(m_pageCount);
    surface.text(m_area.right() - textWidth(pages, kFooterSize, false), baseline, pages,
                 kFooterSize, false, kText);
}

QByteArray ListReport::pdf() const
{
    const QRectF full = m_page.fullRect(QPageLayout::Inch);
    PdfWriter writer(full.size() * 96, m_title);
    PdfSurface surface(writer);
    paint(surface);
    return writer.finish();
}

void ListReport::print(QPrinter& printer)
{
    printer.setFullPage(true);
    if (!printer.pageLayout().isEquivalentTo(m_page))
        layOut(printer.pageLayout());
    QPainter painter(&printer);
    PainterSurface surface(printer, painter);
    paint(surface);
}

void ListReport::writeCsv(const TfrmPadraoGrid& screen, QIODevice& out)
{
    const TDBGrid& grid = *screen.dbgPadrao;
    const std::vector<ReportColumn> columns = reportColumns(screen);
    TClientDataSet* ds = grid.dataSet();
    const int rows = ds && ds->active() ? ds->recordCount() : 0;

    // A text field without a get-text hook shows its stored text: those cells, and the words of
    // picture columns, are read straight from the stored rows; the rest as the grid reads them.
    // A date or number field without a hook shows what its value and display format make of it:
    // each distinct value (a list repeats its days) is formatted once.
    struct Source {
        int stored = -1; // column of the stored rows, or -1 to read through the field
        std::vector<std::pair<std::string, QByteArray>> words;
        int formatted = -1; // column of the stored values whose texts are kept in `texts`
        std::unordered_map<std::uint64_t, QByteArray> texts;
    };
    constexpr std::size_t kKeptTexts = 1 << 16; // a column of all-distinct values keeps no more
    std::vector<Source> sources(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ReportColumn& c = columns[i];
        if (c.field == nullptr || (c.field->onGetText && c.words.isEmpty()))
            continue;
        if (c.field->dataType() != cht::wire::FieldType::Text) {
            if (c.words.isEmpty())
                sources[i].formatted = c.field->index();
            continue;
        }
        sources[i].stored = c.field->index();
        for (const auto& [value, word] : c.words)
            sources[i].words.emplace_back(value.toStdString(), word.toUtf8());
    }

    CsvOut csv(out);
    csv.bom();
    for (const ReportColumn& c : columns)
        csv.field(c.title);
    csv.endRecord();
    for (int recNo = 1; recNo <= rows; ++recNo) {
        const ActiveRow row(*ds, recNo);
        // The row being edited holds its values in the edit buffer, not in the stored rows.
        const bool buffered =
            ds->state() != cht::platform::DataSetState::Browse && recNo == ds->recNo();
        const std::size_t stored = ds->storageRow(recNo);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            Source& s = sources[i];
            if (s.formatted >= 0 && !buffered &&
                !ds->table().isNull(stored, static_cast<std::size_t>(s.formatted))) {
                const auto value = std::bit_cast<std::uint64_t>(
                    ds->table().number(stored, static_cast<std::size_t>(s.formatted)));
                if (const auto kept = s.texts.find(value); kept != s.texts.end()) {
                    csv.field(kept->second);
                    continue;
                }
                QByteArray text = cellText(columns[i]).toUtf8();
                csv.field(text);
                if (s.texts.size() < kKeptTexts)
                    s.texts.emplace(value, std::move(text));
                continue;
            }
            if (s.stored < 0 || buffered) {
                csv.field(cellText(columns[i]));
                continue;
            }
            const std::string_view value =
                ds->table().text(stored, static_cast<std::size_t>(s.stored));
            if (s.words.empty()) {
                csv.field(value);
                continue;
            }
            const auto word = std::find_if(s.words.begin(), s.words.end(),
                                           [value](const auto& w) { return w.first == value; });
            if (word == s.words.end())
                csv.field(std::string_view());
            else
                csv.field(word->second);
        }
        csv.endRecord();
    }
    csv.flush();
}

} // namespace cht::framework
