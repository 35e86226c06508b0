#include "platform/widgets/TCanvas.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace cht::platform {

namespace {

// The bitmap with its key colour replaced, kept per picture and colours: a grid paints the same
// few pictures on one or two backgrounds hundreds of times a page. Painting happens on one thread
// at a time; each has its own copies.
const QImage& keyedCopy(const QImage& src, QRgb key, QRgb with)
{
    struct Entry {
        qint64 image;
        QRgb key, with;
        QImage keyed;
    };
    constexpr std::size_t kEntries = 64;
    thread_local std::vector<Entry> cache;
    for (const Entry& e : cache)
        if (e.image == src.cacheKey() && e.key == key && e.with == with)
            return e.keyed;
    QImage out = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & 0xFFFFFFu) == key && qAlpha(line[x]) != 0)
                line[x] = with;
    }
    if (cache.size() == kEntries)
        cache.erase(cache.begin());
    cache.push_back({src.cacheKey(), key, with, std::move(out)});
    return cache.back().keyed;
}

} // namespace

void drawBitmapKeyed(QPainter& painter, const QRect& dest, const QImage& src, const QRect& srcRect,
                     const QColor& key, const QColor& replacement)
{
    // Unscaled: the copy is as large as the smallest of destination, source rectangle and image.
    const QRect from = srcRect.intersected(src.rect());
    const int width = std::min(dest.width(), from.width() - (from.left() - srcRect.left()));
    const int height = std::min(dest.height(), from.height() - (from.top() - srcRect.top()));
    if (width <= 0 || height <= 0 || from.isEmpty())
        return;
    const QImage& keyed = keyedCopy(src, key.rgb() & 0xFFFFFFu, replacement.rgba());
    const QPoint at = dest.topLeft() + (from.topLeft() - srcRect.topLeft());
    painter.drawImage(at, keyed, QRect(from.topLeft(), QSize(width, height)));
}

QImage withKeyTransparent(const QImage& src, const QColor& key)
{
    QImage out = src.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & 0xFFFFFFu;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & 0xFFFFFFu) == keyRgb)
                line[x] = 0;
    }
    return out;
}

TCanvas::TCanvas(QPainter* painter) : m_painter(painter) {}

void TCanvas::fillRect(const QRect& rect)
{
    if (m_painter)
        m_painter->fillRect(rect, m_brush);
}

void TCanvas::textRect(const QRect& clip, int x, int y, const QString& text)
{
    if (!m_painter)
        return;
    m_painter->save();
    if (m_brush.style() != Qt::NoBrush)
        m_painter->fillRect(clip, m_brush);
    m_painter->setClipRect(clip, Qt::IntersectClip);
    m_painter->setFont(m_font);
    m_painter->setPen(m_fontColor);
    const QFontMetrics fm(m_font);
    m_painter->drawText(QPoint(x, y + fm.ascent()), text);
    m_painter->restore();
}

void TCanvas::textOut(int x, int y, const QString& text)
{
    if (!m_painter)
        return;
    m_painter->save();
    m_painter->setFont(m_font);
    m_painter->setPen(m_fontColor);
    const QFontMetrics fm(m_font);
    m_painter->drawText(QPoint(x, y + fm.ascent()), text);
    m_painter->restore();
}

int TCanvas::textWidth(const QString& text) const
{
    return QFontMetrics(m_font).horizontalAdvance(text);
}

int TCanvas::textHeight(const QString& text) const
{
    return QFontMetrics(m_font).boundingRect(text).height();
}

void TCanvas::drawBitmapKeyed(const QRect& dest, const QImage& src, const QRect& srcRect,
                              const QColor& key)
{
    if (m_painter)
        cht::platform::drawBitmapKeyed(*m_painter, dest, src, srcRect, key, m_brush.color());
}

} // namespace cht::platform
