// The drawing surface a control hands to its owner's drawing handlers: a painter plus the brush,
// font and font colour that the control set up for the cell or area being drawn.
#pragma once

#include "cht_platform_export.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

namespace cht::platform {

/// Key colour of the module's bitmaps: olive (128, 128, 0).
inline QColor keyColorOlive()
{
    return QColor(128, 128, 0);
}

/// Copies `srcRect` of `src` unscaled to the top-left of `dest`, cut to `dest` (and to the
/// image), drawing every pixel of colour `key` in `replacement` instead, so that the bitmap's
/// background becomes the surface's own.
CHT_PLATFORM_EXPORT void drawBitmapKeyed(QPainter& painter, const QRect& dest, const QImage& src,
                                         const QRect& srcRect, const QColor& key,
                                         const QColor& replacement);

/// A copy of `src` whose pixels of colour `key` are fully transparent, for showing a keyed bitmap
/// on any background (a legend image on a panel).
CHT_PLATFORM_EXPORT QImage withKeyTransparent(const QImage& src,
                                              const QColor& key = keyColorOlive());

/// A painter with the current brush, font and font colour. The canvas does not own the painter;
/// a control's canvas is valid only while the control is drawing.
class CHT_PLATFORM_EXPORT TCanvas {
public:
    explicit TCanvas(QPainter* painter = nullptr);

    QPainter* painter() const { return m_painter; }
    void setPainter(QPainter* painter) { m_painter = painter; }

    const QBrush& brush() const { return m_brush; }
    void setBrush(const QBrush& brush) { m_brush = brush; }
    /// Shortcut for a solid brush of that colour.
    void setBrushColor(const QColor& color) { m_brush = QBrush(color); }

    const QFont& font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; }
    const QColor& fontColor() const { return m_fontColor; }
    void setFontColor(const QColor& color) { m_fontColor = color; }

    /// Fills the rectangle with the current brush.
    void fillRect(const QRect& rect);
    /// Fills `clip` with the current brush (unless it is Qt::NoBrush), then draws a text with its
    /// top-left corner at (x, y) in the current font and font colour, clipped to `clip`.
    void textRect(const QRect& clip, int x, int y, const QString& text);
    /// Draws a text with its top-left corner at (x, y), unclipped.
    void textOut(int x, int y, const QString& text);
    int textWidth(const QString& text) const;
    int textHeight(const QString& text) const;
    /// drawBitmapKeyed onto this canvas, the key colour replaced by the brush colour.
    void drawBitmapKeyed(const QRect& dest, const QImage& src, const QRect& srcRect,
                         const QColor& key = keyColorOlive());

private:
    QPainter* m_painter;
    QBrush m_brush{Qt::white};
    QFont m_font;
    QColor m_fontColor{Qt::black};
};

} // namespace cht::platform
