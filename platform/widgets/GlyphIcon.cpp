#include "platform/widgets/GlyphIcon.h"

#include <QPainter>
#include <QPixmap>

namespace cht::platform {

namespace {

QPixmap render(const GlyphPainter& paint, int size, const GlyphTone& tone)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    paint(p, tone);
    return pm;
}

} // namespace

QIcon glyphIcon(const GlyphPainter& paint, const QColor& disabledGrey, int size)
{
    QIcon icon;
    icon.addPixmap(render(
                       paint, size, [](const QColor& c) { return c; }),
                   QIcon::Normal);
    icon.addPixmap(render(paint, size, [disabledGrey](const QColor&) { return disabledGrey; }),
                   QIcon::Disabled);
    return icon;
}

} // namespace cht::platform
