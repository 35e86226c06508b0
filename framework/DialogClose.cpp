#include "framework/DialogClose.h"

#include <QCloseEvent>

namespace cht::framework {

void closeDialog(QDialog& dialog, QCloseEvent& event, int result,
                 const std::function<void(TCloseAction&)>& formClose)
{
    TCloseAction action = TCloseAction::caHide;
    if (!Application::TryDispatch([&] { formClose(action); })) {
        event.ignore();
        return;
    }
    switch (action) {
    case TCloseAction::caNone:
        event.ignore();
        return;
    case TCloseAction::caMinimize:
        event.ignore();
        dialog.showMinimized();
        return;
    case TCloseAction::caHide:
    case TCloseAction::caFree:
        event.accept();
        // Inside a close QDialog::done only hides and ends exec().
        dialog.QDialog::done(result);
        if (action == TCloseAction::caFree)
            dialog.deleteLater();
        return;
    }
}

} // namespace cht::framework
