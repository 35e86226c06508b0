// A picture of the host as the operator sees it: the main window with its open dialogs on top.
#pragma once

#include <QImage>

class QWidget;

namespace cht::host {

/// Grabs `mainWindow` and paints every other visible top-level window (modal dialogs, message
/// boxes) over it at its place. Works on every platform, the offscreen one included.
QImage grabHostWindows(QWidget* mainWindow);

} // namespace cht::host
