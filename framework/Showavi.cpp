#include "module/contracts/Showavi.h"

#include "framework/ShowAviOverlay.h"
#include "module/contracts/Forms.h"

#include <QPointer>
#include <QTimer>

namespace cht::framework {

namespace {

// A call quicker than this shows no animation: dimming and restoring the whole main window costs
// more than such a call, and moving row by row through a list would only make it flicker.
constexpr int kShowAfterMs = 250;

struct AviState {
    int depth = 0;
    // Made once per main form and kept hidden between waits: adding and removing a child of the
    // main form for every call would have it all repainted each time.
    QPointer<ShowAviOverlay> overlay;
    // Which wait a delayed showing belongs to: one left over from a finished wait does nothing.
    unsigned wait = 0;
};

AviState& avi()
{
    static AviState s;
    return s;
}

} // namespace

void ActiveShowAvi(QWidget* mainForm, int animation)
{
    AviState& s = avi();
    if (s.depth++ == 0) {
        if (!mainForm)
            mainForm = Application::MainForm();
        if (s.overlay && s.overlay->parentWidget() != mainForm)
            delete s.overlay;
        if (!s.overlay && mainForm)
            s.overlay = new ShowAviOverlay(mainForm);
        if (s.overlay) {
            s.overlay->setRunning(true);
            // Shown by the local loop the waiting call runs, once the call has lasted.
            QTimer::singleShot(kShowAfterMs, s.overlay, [overlay = s.overlay, wait = ++s.wait] {
                const AviState& now = avi();
                if (now.depth == 0 || now.wait != wait || !overlay)
                    return;
                overlay->show();
                overlay->raise();
            });
        }
    }
    if (s.overlay)
        s.overlay->setAnimation(animation);
}

void DeactiveShowAvi()
{
    AviState& s = avi();
    if (s.depth == 0)
        return;
    if (--s.depth > 0)
        return;
    if (s.overlay) {
        s.overlay->setRunning(false);
        if (!s.overlay->isHidden())
            s.overlay->hide();
    }
}

bool ShowAviActive()
{
    return avi().depth > 0;
}

QWidget* ShowAviWidget()
{
    const AviState& s = avi();
    return s.depth > 0 ? s.overlay.data() : nullptr;
}

} // namespace cht::framework
