// The report of a grid screen's list: heading (caption, filter in words, operator, date and time),
// the grid's visible columns in the operator's order with widths scaled to the page, the cells as
// the grid shows them (pictures drawn by the grid's own drawing handler), totals at the end and
// "Página N de M" on every page; A4 landscape. The same columns and texts make the CSV export.
#pragma once

#include "cht_framework_export.h"
#include "framework/ListSummary.h"
#include "module/contracts/TfrmPadraoGrid.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <QTransform>

#include <vector>

class QIODevice;
class QPainter;
class QPrinter;

namespace cht::platform {
class TField;
}

namespace cht::framework {

/// One column of the report and the export, as the grid shows it when the report is made.
struct ReportColumn {
    int gridIndex = 0;                      ///< into the grid's column()
    cht::platform::TField* field = nullptr; ///< null for a column without a field
    QString title;     ///< the export's title and the report's where there is no picture
    QImage titleImage; ///< the grid's title picture
    int gridWidth = 0; ///< pixels on screen
    Qt::Alignment alignment = Qt::AlignLeft;
    /// Words of a picture column (empty for a text column); wordBeside prints them after the
    /// picture.
    QList<QPair<QString, QString>> words;
    bool wordBeside = false;
};

/// What the report draws on: a PDF being written, or a printer's painter (also the preview's).
/// Coordinates are pixels at 96 per inch from the page's top left corner.
class ReportSurface {
public:
    virtual ~ReportSurface() = default;
    /// Called before every page but the first.
    virtual void newPage() = 0;
    virtual void text(double x, double baseline, const QString& text, double size, bool bold,
                      const QColor& color) = 0;
    virtual void fillRect(const QRectF& rect, const QColor& color) = 0;
    virtual void line(const QPointF& from, const QPointF& to, double width,
                      const QColor& color) = 0;
    virtual void image(const QRectF& rect, const QImage& image) = 0;
    /// The painter a grid's drawing handler paints on, placed so that its coordinates map to the
    /// surface's through `placement`.
    virtual QPainter& cellPainter(const QTransform& placement) = 0;
};

class CHT_FRAMEWORK_EXPORT ListReport {
public:
    /// Reads the screen as it is now: its columns, the heading texts, the totals.
    explicit ListReport(const TfrmPadraoGrid& screen,
                        const QDateTime& printedAt = QDateTime::currentDateTime());

    /// The default page: A4 landscape, 10 mm margins.
    static QPageLayout defaultPageLayout();
    int pageCount() const { return m_pageCount; }
    const std::vector<ReportColumn>& columns() const { return m_columns; }
    /// Heading lines under the title: the filter in words, then the operator and the date.
    const QStringList& heading() const { return m_heading; }

    /// Draws every page on `surface`.
    void paint(ReportSurface& surface) const;
    /// The whole report as a PDF document.
    QByteArray pdf() const;
    /// Prints every page on a printer (the preview's included), laid out anew for its page.
    void print(QPrinter& printer);

    /// The list as CSV: UTF-8 with a byte-order mark, ";" between fields, CRLF line ends, quoted
    /// as RFC 4180 says; a title line, then one line per row with the report's texts.
    static void writeCsv(const TfrmPadraoGrid& screen, QIODevice& out);

private:
    void layOut(const QPageLayout& page);
    void paintPage(ReportSurface& surface, int page, int firstRow, int rows, bool totals) const;
    double paintHeading(ReportSurface& surface, bool first) const;
    void paintTitles(ReportSurface& surface, double top) const;
    void paintRow(ReportSurface& surface, int recNo, double top) const;
    void paintTotals(ReportSurface& surface, double top) const;
    void paintFooter(ReportSurface& surface, int page) const;

    const TfrmPadraoGrid& m_screen;
    std::vector<ReportColumn> m_columns;
    QString m_title;
    QStringList m_heading;
    QString m_printedAt;
    ListTotals m_totals;
    bool m_hasTick = false;

    // Layout, in pixels at 96 per inch.
    QPageLayout m_page;
    QRectF m_area;                // inside the margins
    double m_scale = 1;           // of the table's text and row height
    std::vector<double> m_widths; // of the columns on the page
    std::vector<double> m_lefts;
    double m_rowHeight = 0;
    double m_headingHeight = 0;      // first page
    double m_shortHeadingHeight = 0; // later pages
    double m_totalsHeight = 0;
    int m_firstPageRows = 0;
    int m_pageRows = 0;
    int m_rowCount = 0;
    int m_pageCount = 1;
    bool m_totalsOwnPage = false;
};

} // namespace cht::framework
