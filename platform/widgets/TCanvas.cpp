#include "platform/widgets/TCanvas.h"

#include <QFontMetrics>
#include <QPainter>

#include <deque>

namespace cht::platform {

void drawBitmapKeyed(QPainter& painter, const QRect& dest, const QImage& src, const QRect& srcRect,
                     const QColor& key, const QColor& replacement)
{
    // Unscaled: the copy is as large as the smallest of destination, source rectangle and image.
    const QRect from = srcRect.intersected(src.rect());
    const int width = std::min(dest.width(), from.width() - (from.left() - srcRect.left()));
    const int height = std::min(dest.height(), from.height() - (from.top() - srcRect.top()));
    if (width <= 0 || height <= 0 || from.isEmpty())
        return;
    const QRgb keyRgb = key.rgb() & 0xFFFFFFu;
    const QRgb with = replacement.rgba();
    const QPoint at = dest.topLeft() + (from.topLeft() - srcRect.topLeft());
    // A grid paints the same few pictures on the same background cell after cell: the copies
    // made last are kept, and a paint device that keeps images (a PDF) gets the same one again.
    struct Keyed {
        qint64 source;
        QRect from;
        QSize size;
        QRgb key, with;
        QImage image;
    };
    constexpr std::size_t kKept = 16;
    thread_local std::deque<Keyed> kept;
    const QSize size(width, height);
    for (const Keyed& k : kept)
        if (k.source == src.cacheKey() && k.from == from && k.size == size && k.key == keyRgb &&
            k.with == with) {
            painter.drawImage(at, k.image);
            return;
        }
    const QImage argb = src.convertToFormat(QImage::Format_ARGB32);
    QImage out(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(from.top() + y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = in[from.left() + x];
            line[x] = (p & 0xFFFFFFu) == keyRgb && qAlpha(p) != 0 ? with : p;
        }
    }
    if (kept.size() == kKept)
        kept.pop_back();
    kept.push_front({src.cacheKey(), from, size, keyRgb, with, out});
    painter.drawImage(at, out);
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
