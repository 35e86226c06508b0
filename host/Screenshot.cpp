#include "Screenshot.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace cht::host {

QImage grabHostWindows(QWidget* mainWindow)
{
    QImage image = mainWindow->grab().toImage();
    QPainter painter(&image);
    const QPoint origin = mainWindow->geometry().topLeft();
    // Top-level widgets come in creation order, so dialogs opened later land on top.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == mainWindow || !w->isVisible() || w->windowType() == Qt::Desktop)
            continue;
        painter.drawPixmap(w->geometry().topLeft() - origin, w->grab());
    }
    return image;
}

} // namespace cht::host
