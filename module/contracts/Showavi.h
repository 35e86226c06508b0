// The wait animation over the main window during remote calls. Nested show/hide pairs count, so
// an inner hide never leaves an outer wait without its animation, nor an error leaves it up.
#pragma once

#include "cht_framework_export.h"

#include <QWidget>

namespace cht::framework {

/// Shows animation `animation` (1: data transfer, 6: list search) over `mainForm`: at once in
/// ShowAviWidget(), on screen once the wait has lasted a quarter of a second (a remote call waits
/// in a local event loop, which shows it).
CHT_FRAMEWORK_EXPORT void ActiveShowAvi(QWidget* mainForm, int animation);
/// Removes the animation shown by the matching ActiveShowAvi; extra calls do nothing.
CHT_FRAMEWORK_EXPORT void DeactiveShowAvi();
/// True while an animation is up (for the host and tests).
CHT_FRAMEWORK_EXPORT bool ShowAviActive();
/// The overlay widget while it is up over a main form, else null (for the host and tests).
CHT_FRAMEWORK_EXPORT QWidget* ShowAviWidget();

/// Shows the animation for a scope: removed on every way out.
class AviGuard {
public:
    AviGuard(QWidget* mainForm, int animation) { ActiveShowAvi(mainForm, animation); }
    ~AviGuard() { DeactiveShowAvi(); }
    AviGuard(const AviGuard&) = delete;
    AviGuard& operator=(const AviGuard&) = delete;
};

} // namespace cht::framework
