// How the base dialogs carry out a close action decided by their FormClose.
#pragma once

#include "module/contracts/Forms.h"

#include <QDialog>

class QCloseEvent;

namespace cht::framework {

/// Runs FormClose through the dispatcher and applies its action to the dialog: caHide hides it
/// and ends its modal run with `result`, caFree does that and deletes it once events are
/// processed, caNone and caMinimize keep it open; a raising FormClose keeps it open too.
void closeDialog(QDialog& dialog, QCloseEvent& event, int result,
                 const std::function<void(TCloseAction&)>& formClose);

} // namespace cht::framework
