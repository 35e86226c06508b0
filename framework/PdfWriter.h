// A lean PDF writer for the list report: texts in the standard Helvetica faces (WinAnsi, the
// Western code page the system's texts live in), filled rectangles, lines and pictures, written
// straight into the page's content. QPainter's PDF engine shapes and embeds every text it draws
// and would take seconds over a list of 10,000 rows; this writes it in a fraction of that.
// What a grid's drawing handler paints goes through painter(), whose engine turns rectangles,
// lines, polygons, pictures and texts into the same content.
#pragma once

#include "cht_framework_export.h"
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QIODevice;
class QPainter;

namespace cht::framework {

class PdfCaptureDevice;

/// Widths of the WinAnsi characters of Helvetica and Helvetica-Bold, read from the metric-twin
/// face "Liberation Sans", so that a text laid out here takes the room the PDF viewer gives it.
class CHT_FRAMEWORK_EXPORT PdfFontMetrics {
public:
    static const PdfFontMetrics& instance();
    /// Width of `text` at `size` pixels.
    double width(QStringView text, double size, bool bold) const;
    /// `text` cut to `width`, with "…" where it was cut; whole when it fits. The width of what
    /// it gives goes to `taken` when asked.
    QString elided(const QString& text, double width, double size, bool bold,
                   double* taken = nullptr) const;
    /// Ascent as a share of the size.
    double ascent() const { return 0.905; }
    /// The face the QPainter drawings use to match these widths.
    static QString family() { return QStringLiteral("Liberation Sans"); }

private:
    PdfFontMetrics();
    double m_regular[256];
    double m_bold[256];
};

/// The WinAnsi (Windows-1252) byte of a character beyond Latin-1; '?' when it has none.
CHT_FRAMEWORK_EXPORT unsigned char winAnsiHighByte(char16_t c);
/// The WinAnsi (Windows-1252) byte of a character; '?' when it has none.
inline unsigned char winAnsiByte(char16_t c)
{
    return c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? static_cast<unsigned char>(c)
                                                : winAnsiHighByte(c);
}

/// A PDF document being written. Coordinates are pixels at 96 per inch from the page's top left
/// corner, as the report lays itself out.
class CHT_FRAMEWORK_EXPORT PdfWriter {
public:
    /// A page of `pageSize` pixels (A4 landscape is 1122.5 x 793.7).
    explicit PdfWriter(const QSizeF& pageSize, const QString& title);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    /// Ends the current page and starts the next (the first page starts by itself).
    void newPage();
    /// A text with its baseline starting at (x, baseline).
    void text(double x, double baseline, QStringView text, double size, bool bold,
              const QColor& color);
    void fillRect(const QRectF& rect, const QColor& color);
    void line(const QPointF& from, const QPointF& to, double width, const QColor& color);
    /// A picture stretched over `rect`; each distinct picture is stored once.
    void image(const QRectF& rect, const QImage& image);
    /// A painter whose drawings land on the current page, for handlers that paint with one.
    QPainter& painter();

    int pageCount() const { return static_cast<int>(m_pages.size()) + 1; }
    /// Ends the last page and writes the whole document.
    QByteArray finish();

private:
    friend class PdfCaptureEngine;
    struct Image {
        QImage picture;
        int object;
    };
    /// Appends an operator's text.
    void put(const char* text) { m_content += text; }
    void endText();
    void setFill(const QColor& color);
    void setStroke(const QColor& color);
    void number(double v);
    void point(double x, double y);
    int imageObject(const QImage& image);

    QSizeF m_pageSize; // in points
    QString m_title;
    std::string m_content;            // the current page's operators
    std::vector<std::string> m_pages; // finished pages' contents
    std::vector<Image> m_images;
    QColor m_fill, m_stroke;
    bool m_inText = false;
    int m_font = -1;
    double m_fontSize = -1;
    std::unique_ptr<PdfCaptureDevice> m_device;
    std::unique_ptr<QPainter> m_painter;
};

} // namespace cht::framework
