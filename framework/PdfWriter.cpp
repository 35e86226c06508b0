#include "framework/PdfWriter.h"

#include <QFont>
#include <QHash>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <cmath>

namespace cht::framework {

namespace {

constexpr double kPointsPerPixel = 0.75;

// Windows-1252's characters 0x80..0x9F; 0 marks the five it leaves undefined.
constexpr char16_t kWinAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t unicodeOf(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? kWinAnsiHigh[b - 0x80] : char16_t(b);
}

void fillWidths(double* widths, bool bold)
{
    QFont font(PdfFontMetrics::family());
    font.setPixelSize(1000);
    font.setBold(bold);
    font.setKerning(false);
    const QRawFont raw = QRawFont::fromFont(font);
    for (int b = 0; b < 256; ++b) {
        widths[b] = 0;
        const char16_t c = unicodeOf(static_cast<unsigned char>(b));
        if (c == 0 || b < 0x20 || !raw.isValid())
            continue;
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(c)));
        if (glyphs.isEmpty())
            continue;
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
        widths[b] = advances.isEmpty() ? 0 : advances.first().x() / 1000.0;
    }
    if (widths[int('?')] == 0) // no face at all: an average Helvetica width
        for (int b = 0x20; b < 256; ++b)
            widths[b] = 0.55;
}

} // namespace

unsigned char winAnsiHighByte(char16_t c)
{
    if (c < 0x152)
        return '?';
    for (int i = 0; i < 32; ++i)
        if (kWinAnsiHigh[i] == c && c != 0)
            return static_cast<unsigned char>(0x80 + i);
    return '?';
}

// --- metrics -------------------------------------------------------------------------------------

PdfFontMetrics::PdfFontMetrics()
{
    fillWidths(m_regular, false);
    fillWidths(m_bold, true);
}

const PdfFontMetrics& PdfFontMetrics::instance()
{
    static const PdfFontMetrics metrics;
    return metrics;
}

double PdfFontMetrics::width(QStringView text, double size, bool bold) const
{
    const double* w = bold ? m_bold : m_regular;
    double sum = 0;
    for (const QChar c : text)
        sum += w[winAnsiByte(c.unicode())];
    return sum * size;
}

QString PdfFontMetrics::elided(const QString& text, double width, double size, bool bold,
                               double* taken) const
{
    const double* w = bold ? m_bold : m_regular;
    const double limit = width / size;
    double sum = 0;
    for (const QChar c : text)
        sum += w[winAnsiByte(c.unicode())];
    if (sum <= limit) {
        if (taken)
            *taken = sum * size;
        return text;
    }
    const QChar ellipsis(0x2026);
    const double room = limit - w[winAnsiByte(ellipsis.unicode())];
    if (room <= 0) {
        if (taken)
            *taken = 0;
        return {};
    }
    sum = 0;
    qsizetype keep = 0;
    for (; keep < text.size(); ++keep) {
        const double next = sum + w[winAnsiByte(text.at(keep).unicode())];
        if (next > room)
            break;
        sum = next;
    }
    if (taken)
        *taken = (sum + w[winAnsiByte(ellipsis.unicode())]) * size;
    return text.left(keep) + ellipsis;
}

// --- the engine behind painter() -----------------------------------------------------------------

class PdfCaptureEngine : public QPaintEngine {
public:
    explicit PdfCaptureEngine(PdfWriter& writer) : QPaintEngine(AllFeatures), m_writer(writer) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }

    void updateState(const QPaintEngineState& changed) override
    {
        if (changed.state() & DirtyTransform)
            m_transform = changed.transform();
        if (changed.state() & DirtyBrush)
            m_brush = changed.brush();
        if (changed.state() & DirtyPen)
            m_pen = changed.pen();
        if (changed.state() & DirtyFont)
            m_font = changed.font();
    }

    void drawRects(const QRectF* rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF r = m_transform.mapRect(rects[i]);
            if (m_brush.style() != Qt::NoBrush)
                m_writer.fillRect(r, m_brush.color());
            if (m_pen.style() != Qt::NoPen)
                strokePolygon(QPolygonF(rects[i]), true);
        }
    }
    void drawRects(const QRect* rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }
    void drawLines(const QLineF* lines, int count) override
    {
        if (m_pen.style() == Qt::NoPen)
            return;
        for (int i = 0; i < count; ++i)
            m_writer.line(m_transform.map(lines[i].p1()), m_transform.map(lines[i].p2()),
                          penWidth(), m_pen.color());
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        const QPolygonF polygon(QList<QPointF>(points, points + count));
        if (mode != PolylineMode && m_brush.style() != Qt::NoBrush)
            fillPolygon(polygon);
        if (m_pen.style() != Qt::NoPen)
            strokePolygon(polygon, mode != PolylineMode);
    }
    void drawPath(const QPainterPath& path) override
    {
        if (m_brush.style() != Qt::NoBrush)
            for (const QPolygonF& p : path.toFillPolygons())
                fillPolygon(p);
        if (m_pen.style() != Qt::NoPen)
            for (const QPolygonF& p : path.toSubpathPolygons())
                strokePolygon(p, false);
    }
    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                   Qt::ImageConversionFlags) override
    {
        const QImage part = sr == QRectF(image.rect()) ? image : image.copy(sr.toAlignedRect());
        m_writer.image(m_transform.mapRect(r), part);
    }
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override
    {
        drawImage(r, pm.toImage(), sr, Qt::AutoColor);
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        const QFont f = item.font();
        const double size =
            (f.pixelSize() > 0 ? f.pixelSize() : f.pointSizeF() * 96.0 / 72.0) * m_transform.m11();
        const QPointF at = m_transform.map(p);
        m_writer.text(at.x(), at.y(), item.text(), size, f.bold(), m_pen.color());
    }

private:
    double penWidth() const { return std::max(1.0, m_pen.widthF()) * m_transform.m11(); }
    void fillPolygon(const QPolygonF& polygon)
    {
        const QPolygonF mapped = m_transform.map(polygon);
        if (mapped.size() < 3)
            return;
        m_writer.endText();
        m_writer.setFill(m_brush.color());
        for (qsizetype i = 0; i < mapped.size(); ++i) {
            m_writer.point(mapped[i].x(), mapped[i].y());
            m_writer.put(i == 0 ? " m\n" : " l\n");
        }
        m_writer.put("h f\n");
    }
    void strokePolygon(const QPolygonF& polygon, bool closed)
    {
        const QPolygonF mapped = m_transform.map(polygon);
        if (mapped.size() < 2)
            return;
        m_writer.endText();
        m_writer.setStroke(m_pen.color());
        m_writer.number(penWidth() * kPointsPerPixel);
        m_writer.put(" w\n");
        for (qsizetype i = 0; i < mapped.size(); ++i) {
            m_writer.point(mapped[i].x(), mapped[i].y());
            m_writer.put(i == 0 ? " m\n" : " l\n");
        }
        m_writer.put(closed ? "h S\n" : "S\n");
    }

    PdfWriter& m_writer;
    QTransform m_transform;
    QBrush m_brush;
    QPen m_pen;
    QFont m_font;
};

class PdfCaptureDevice : public QPaintDevice {
public:
    PdfCaptureDevice(PdfWriter& writer, const QSizeF& pixels) : m_engine(writer), m_size(pixels) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return qRound(m_size.width());
        case PdmHeight:
            return qRound(m_size.height());
        case PdmWidthMM:
            return qRound(m_size.width() * 25.4 / 96);
        case PdmHeightMM:
            return qRound(m_size.height() * 25.4 / 96);
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    mutable PdfCaptureEngine m_engine;
    QSizeF m_size;
};

// --- the writer -------------------------------------------------------------------------------

PdfWriter::PdfWriter(const QSizeF& pageSize, const QString& title)
    : m_pageSize(pageSize * kPointsPerPixel), m_title(title)
{
    m_content.reserve(64 * 1024);
}

PdfWriter::~PdfWriter()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

void PdfWriter::number(double v)
{
    // Hundredths of a point are plenty; written by hand, as this runs for every coordinate.
    char digits[32];
    char* p = digits + sizeof digits;
    long long h = static_cast<long long>(v * 100 + (v < 0 ? -0.5 : 0.5));
    const bool negative = h < 0;
    if (negative)
        h = -h;
    const int hundredths = static_cast<int>(h % 100);
    long long whole = h / 100;
    if (hundredths != 0) {
        if (hundredths % 10 != 0)
            *--p = static_cast<char>('0' + hundredths % 10);
        *--p = static_cast<char>('0' + hundredths / 10);
        *--p = '.';
    }
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (negative)
        *--p = '-';
    m_content.append(p, static_cast<std::size_t>(digits + sizeof digits - p));
}

void PdfWriter::point(double x, double y)
{
    number(x * kPointsPerPixel);
    m_content += ' ';
    number(m_pageSize.height() - y * kPointsPerPixel);
}

void PdfWriter::endText()
{
    if (!m_inText)
        return;
    put("ET\n");
    m_inText = false;
}

void PdfWriter::setFill(const QColor& color)
{
    if (color == m_fill)
        return;
    m_fill = color;
    number(color.redF());
    m_content += ' ';
    number(color.greenF());
    m_content += ' ';
    number(color.blueF());
    put(" rg\n");
}

void PdfWriter::setStroke(const QColor& color)
{
    if (color == m_stroke)
        return;
    m_stroke = color;
    number(color.redF());
    m_content += ' ';
    number(color.greenF());
    m_content += ' ';
    number(color.blueF());
    put(" RG\n");
}

void PdfWriter::newPage()
{
    endText();
    m_pages.push_back(std::move(m_content));
    m_content = std::string();
    m_content.reserve(64 * 1024);
    // Each page starts with the graphics state's defaults.
    m_fill = m_stroke = QColor();
    m_font = -1;
    m_fontSize = -1;
}

void PdfWriter::text(double x, double baseline, QStringView text, double size, bool bold,
                     const QColor& color)
{
    if (text.isEmpty())
        return;
    if (color != m_fill) {
        // The colour operator is allowed inside a text object.
        setFill(color);
    }
    if (!m_inText) {
        put("BT\n");
        m_inText = true;
    }
    const int font = bold ? 2 : 1;
    if (font != m_font || size != m_fontSize) {
        m_font = font;
        m_fontSize = size;
        put(font == 1 ? "/F1 " : "/F2 ");
        number(size * kPointsPerPixel);
        put(" Tf\n");
    }
    put("1 0 0 1 ");
    point(x, baseline);
    put(" Tm (");
    // The text as WinAnsi bytes, escaped, appended a buffer at a time.
    char bytes[256];
    qsizetype n = 0;
    for (const QChar c : text) {
        if (n + 2 > qsizetype(sizeof bytes)) {
            m_content.append(bytes, static_cast<std::size_t>(n));
            n = 0;
        }
        const unsigned char b = winAnsiByte(c.unicode());
        if (b == '(' || b == ')' || b == '\\')
            bytes[n++] = '\\';
        bytes[n++] = b < 0x20 ? ' ' : static_cast<char>(b);
    }
    m_content.append(bytes, static_cast<std::size_t>(n));
    put(") Tj\n");
}

void PdfWriter::fillRect(const QRectF& rect, const QColor& color)
{
    endText();
    setFill(color);
    point(rect.left(), rect.bottom());
    m_content += ' ';
    number(rect.width() * kPointsPerPixel);
    m_content += ' ';
    number(rect.height() * kPointsPerPixel);
    put(" re f\n");
}

void PdfWriter::line(const QPointF& from, const QPointF& to, double width, const QColor& color)
{
    endText();
    setStroke(color);
    number(width * kPointsPerPixel);
    put(" w ");
    point(from.x(), from.y());
    put(" m ");
    point(to.x(), to.y());
    put(" l S\n");
}

int PdfWriter::imageObject(const QImage& image)
{
    for (std::size_t i = 0; i < m_images.size(); ++i)
        if (m_images[i].picture.cacheKey() == image.cacheKey())
            return static_cast<int>(i);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (std::size_t i = 0; i < m_images.size(); ++i)
        if (m_images[i].picture == argb)
            return static_cast<int>(i);
    m_images.push_back({argb, 0});
    return static_cast<int>(m_images.size() - 1);
}

void PdfWriter::image(const QRectF& rect, const QImage& picture)
{
    if (picture.isNull() || rect.isEmpty())
        return;
    const int index = imageObject(picture);
    endText();
    put("q ");
    number(rect.width() * kPointsPerPixel);
    put(" 0 0 ");
    number(rect.height() * kPointsPerPixel);
    m_content += ' ';
    point(rect.left(), rect.bottom());
    put(" cm /Im");
    m_content += std::to_string(index + 1);
    put(" Do Q\n");
}

QPainter& PdfWriter::painter()
{
    if (!m_painter) {
        m_device = std::make_unique<PdfCaptureDevice>(*this, m_pageSize / kPointsPerPixel);
        m_painter = std::make_unique<QPainter>(m_device.get());
    }
    return *m_painter;
}

QByteArray PdfWriter::finish()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
    endText();
    m_pages.push_back(std::move(m_content));
    m_content = std::string();

    // Objects: 1 catalog, 2 page tree, 3 resources, 4 and 5 the fonts, 6 the document's
    // information, then each page and its content, then each picture and its mask.
    QByteArray out;
    std::size_t size = 4096;
    for (const std::string& p : m_pages)
        size += p.size() + 200;
    out.reserve(static_cast<qsizetype>(size));
    std::vector<qsizetype> offsets(7, 0);
    auto begin = [&](int object) {
        if (static_cast<std::size_t>(object) >= offsets.size())
            offsets.resize(static_cast<std::size_t>(object) + 1, 0);
        offsets[static_cast<std::size_t>(object)] = out.size();
        out += QByteArray::number(object) + " 0 obj\n";
    };
    auto ref = [](int object) { return QByteArray::number(object) + " 0 R"; };
    out += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";

    const int firstPage = 7;
    const int firstImage = firstPage + 2 * static_cast<int>(m_pages.size());
    QByteArray kids;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        const int page = firstPage + 2 * static_cast<int>(i);
        kids += ref(page) + ' ';
        begin(page);
        out += "<< /Type /Page /Parent 2 0 R /Resources 3 0 R /Contents " + ref(page + 1) +
               " >>\nendobj\n";
        begin(page + 1);
        out += "<< /Length " + QByteArray::number(static_cast<qsizetype>(m_pages[i].size())) +
               " >>\nstream\n";
        out.append(m_pages[i].data(), static_cast<qsizetype>(m_pages[i].size()));
        out += "\nendstream\nendobj\n";
    }
    QByteArray xobjects;
    for (std::size_t i = 0; i < m_images.size(); ++i) {
        const QImage& img = m_images[i].picture;
        const int object = firstImage + 2 * static_cast<int>(i);
        xobjects += "/Im" + QByteArray::number(static_cast<int>(i) + 1) + ' ' + ref(object) + ' ';
        QByteArray rgb, alpha;
        bool translucent = false;
        rgb.reserve(img.width() * img.height() * 3);
        alpha.reserve(img.width() * img.height());
        for (int y = 0; y < img.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x) {
                // Stored premultiplied-free: the colour of a transparent pixel does not matter.
                rgb += static_cast<char>(qRed(line[x]));
                rgb += static_cast<char>(qGreen(line[x]));
                rgb += static_cast<char>(qBlue(line[x]));
                alpha += static_cast<char>(qAlpha(line[x]));
                translucent = translucent || qAlpha(line[x]) != 255;
            }
        }
        const QByteArray dims = "/Width " + QByteArray::number(img.width()) + " /Height " +
                                QByteArray::number(img.height()) + " /BitsPerComponent 8";
        begin(object);
        out += "<< /Type /XObject /Subtype /Image " + dims + " /ColorSpace /DeviceRGB";
        if (translucent)
            out += " /SMask " + ref(object + 1);
        out += " /Length " + QByteArray::number(rgb.size()) + " >>\nstream\n" + rgb +
               "\nendstream\nendobj\n";
        begin(object + 1);
        out += "<< /Type /XObject /Subtype /Image " + dims + " /ColorSpace /DeviceGray /Length " +
               QByteArray::number(alpha.size()) + " >>\nstream\n" + alpha + "\nendstream\nendobj\n";
    }
    begin(1);
    out += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    begin(2);
    out += "<< /Type /Pages /Count " + QByteArray::number(static_cast<int>(m_pages.size())) +
           " /Kids [ " + kids + "] /MediaBox [0 0 ";
    m_content.clear();
    number(m_pageSize.width());
    m_content += ' ';
    number(m_pageSize.height());
    out.append(m_content.data(), static_cast<qsizetype>(m_content.size()));
    out += "] >>\nendobj\n";
    m_content.clear();
    begin(3);
    out += "<< /Font << /F1 4 0 R /F2 5 0 R >> /XObject << " + xobjects + ">> >>\nendobj\n";
    begin(4);
    out += "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding "
           ">>\nendobj\n";
    begin(5);
    out += "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding "
           ">>\nendobj\n";
    begin(6);
    // The title as UTF-16 with its byte-order mark, so that accents survive.
    QByteArray title = "\xFE\xFF";
    for (const QChar c : m_title) {
        title += static_cast<char>(c.unicode() >> 8);
        title += static_cast<char>(c.unicode() & 0xFF);
    }
    out += "<< /Title <" + title.toHex() + "> /Producer (Gerenciamento de CHT) >>\nendobj\n";

    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(static_cast<int>(offsets.size())) + "\n";
    out += "0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets.size(); ++i)
        out += QByteArray::number(offsets[i]).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(static_cast<int>(offsets.size())) +
           " /Root 1 0 R /Info 6 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    m_pages.clear();
    m_images.clear();
    return out;
}

} // namespace cht::framework
