#include "framework/DialogFrame.h"

#include "framework/ScreenFont.h"

#include "platform/widgets/TButtonFlat.h"

#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace cht::framework {

using cht::platform::TButtonFlat;

DialogFrame buildDialogFrame(QDialog& dialog, const char* bodyName, const DialogFrameLook& look)
{
    DialogFrame f;
    applyScreenFont(dialog);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* root = new QHBoxLayout(&dialog);
    root->setContentsMargins(look.rootMargin, look.rootMargin, look.rootMargin, look.rootMargin);
    root->setSpacing(look.rootSpacing);

    f.body = new QGroupBox(&dialog);
    f.body->setObjectName(QString::fromLatin1(bodyName));
    root->addWidget(f.body, 1);

    f.panMenu = new QWidget(&dialog);
    f.panMenu->setObjectName(QStringLiteral("panMenu"));
    if (look.menuWidth > 0)
        f.panMenu->setFixedWidth(look.menuWidth);
    root->addWidget(f.panMenu);
    auto* column = new QVBoxLayout(f.panMenu);
    column->setContentsMargins(look.columnMargin, look.columnMargin, look.columnMargin,
                               look.columnMargin);
    column->setSpacing(4);
    f.lblCodTela = new QLabel(f.panMenu);
    f.lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    f.lblCodTela->setAlignment(look.codeAlignment);
    QFont codeFont = f.lblCodTela->font();
    codeFont.setBold(true);
    if (look.codeFontScale != 1.0)
        codeFont.setPointSizeF(codeFont.pointSizeF() * look.codeFontScale);
    f.lblCodTela->setFont(codeFont);
    column->addWidget(f.lblCodTela);

    f.panBotoes = new QWidget(f.panMenu);
    f.panBotoes->setObjectName(QStringLiteral("panBotoes"));
    column->addWidget(f.panBotoes);
    f.buttons = new QVBoxLayout(f.panBotoes);
    f.buttons->setContentsMargins(0, 0, 0, 0);
    f.buttons->setSpacing(4);
    column->addStretch(1);
    return f;
}

TButtonFlat* columnButton(QWidget* parent, const char* name, const QString& caption,
                          const QString& hint, Glyph glyph, int width)
{
    auto* b = new TButtonFlat(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setIcon(glyphIcon(glyph));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setFixedSize(width, 25);
    return b;
}

} // namespace cht::framework
