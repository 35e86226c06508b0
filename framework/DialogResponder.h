// Test seam for the framework's modal dialogs: while a script is set, every message box, error
// box, name prompt and pick list is handed to it instead of opening, and what it would have shown
// is recorded. Also runs a callback once a modal dialog is up, so that tests can drive real
// modal screens with input events.
#pragma once

#include "cht_framework_export.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QDialog;

namespace cht::framework {

/// What a dialog would show.
struct DialogRequest {
    /// "message" (ShowMsg), "error" (the error display), "info" (a notice), "input" (a name
    /// prompt), "pick" (the pick list), "save" (where to save a file).
    QString kind;
    QString title;
    QString text;
    QStringList buttons;  // captions, in order
    QStringList rows;     // pick: the shown texts of each row, joined by " | "
    QStringList keys;     // pick: the key of each row
    QStringList selected; // pick: keys ticked when it opens
    QString value;        // input: the proposed text; save: the proposed path
};

/// How the script answers. result is a modal result (mrYes, mrNo, mrOk, mrCancel); text is the
/// typed text of a prompt or the chosen path; keys the picked keys of a pick list.
struct DialogReply {
    int result = 0;
    QString text;
    QStringList keys;
};

class CHT_FRAMEWORK_EXPORT DialogResponder {
public:
    /// Answers a request; nullopt lets the real dialog open.
    using Script = std::function<std::optional<DialogReply>(const DialogRequest&)>;

    static void set(Script script);
    /// Removes the script and forgets the records.
    static void clear();
    static bool isActive();
    static const std::vector<DialogRequest>& records();
    static void clearRecords();

    /// Used by the framework before it opens a dialog: records the request and returns the
    /// script's reply; nullopt when no script is set or the script lets the dialog open.
    static std::optional<DialogReply> answer(const DialogRequest& request);

    /// Runs `callback` with the modal dialog once one is up (polled by a timer), or with null
    /// after `timeoutMs`. Call it before the code that opens the dialog.
    static void whenModal(std::function<void(QDialog* dialog)> callback, int timeoutMs = 5000);
};

} // namespace cht::framework
