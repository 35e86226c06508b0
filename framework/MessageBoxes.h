// The framework's own modal boxes, each answered by the DialogResponder when a script is set.
#pragma once

#include "module/contracts/Cvn_msg.h"

#include <QString>

#include <optional>

class QWidget;

namespace cht::framework {

/// Shows a message box with Portuguese button captions and returns the modal result of the
/// button pressed (mrYes, mrNo, mrOk, mrCancel). `kind` is what the responder records.
int messageBox(const QString& kind, TMsgDlgType type, const QString& title, const QString& text,
               TMsgDlgButtons buttons);

/// Asks for a line of text ("OK"/"Cancelar"); nullopt when cancelled.
std::optional<QString> askText(const QString& title, const QString& label, const QString& value);

/// Asks where to save a file, proposing `suggested` (a full path); nullopt when cancelled. The
/// responder sees kind "save" with the proposal in value and answers the path in text.
std::optional<QString> askSaveFile(const QString& title, const QString& suggested,
                                   const QString& filter);

/// The window boxes are centred on: the active window, else the main form.
QWidget* dialogParent();

} // namespace cht::framework
