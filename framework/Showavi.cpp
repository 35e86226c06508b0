#include "module/contracts/Showavi.h"

#include "framework/ShowAviOverlay.h"
#include "module/contracts/Forms.h"

#include <QPointer>

namespace cht::framework {

namespace {

struct AviState {
    int depth = 0;
    QPointer<ShowAviOverlay> overlay;
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
    ++s.depth;
    if (!mainForm)
        mainForm = Application::MainForm();
    if (!s.overlay && mainForm)
        s.overlay = new ShowAviOverlay(mainForm);
    if (s.overlay) {
        s.overlay->setAnimation(animation);
        s.overlay->show();
        s.overlay->raise();
        // Painted now: the caller may block without an event loop right after.
        s.overlay->repaint();
    }
}

void DeactiveShowAvi()
{
    AviState& s = avi();
    if (s.depth == 0)
        return;
    if (--s.depth > 0)
        return;
    if (s.overlay) {
        s.overlay->hide();
        s.overlay->deleteLater();
        s.overlay = nullptr;
    }
}

bool ShowAviActive()
{
    return avi().depth > 0;
}

QWidget* ShowAviWidget()
{
    return avi().overlay.data();
}

} // namespace cht::framework
