// The layout both base dialogs share: a body group on the left, the code label and a column of
// buttons on the right.
#pragma once

#include "framework/Glyphs.h"

#include <QString>
#include <Qt>

class QDialog;
class QGroupBox;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace cht::platform {
class TButtonFlat;
}

namespace cht::framework {

/// How one dialog's frame differs from the other's.
struct DialogFrameLook {
    int rootMargin = 0;
    int rootSpacing = 0;
    int menuWidth = 0; ///< 0 leaves the column its natural width.
    int columnMargin = 0;
    Qt::Alignment codeAlignment = Qt::AlignCenter;
    qreal codeFontScale = 1.0;
};

/// The widgets the frame made; the dialog keeps them in its own members.
struct DialogFrame {
    QGroupBox* body = nullptr;
    QWidget* panMenu = nullptr;
    QLabel* lblCodTela = nullptr;
    QWidget* panBotoes = nullptr;
    QVBoxLayout* buttons = nullptr;
};

/// Builds the frame inside `dialog`; the caller adds its buttons to `buttons`.
DialogFrame buildDialogFrame(QDialog& dialog, const char* bodyName, const DialogFrameLook& look);

/// A flat button of the column, `width` by 25 pixels, text beside the icon.
cht::platform::TButtonFlat* columnButton(QWidget* parent, const char* name, const QString& caption,
                                         const QString& hint, Glyph glyph, int width);

} // namespace cht::framework
