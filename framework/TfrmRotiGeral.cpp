#include "module/contracts/TfrmRotiGeral.h"

#include "framework/DialogClose.h"
#include "framework/Glyphs.h"
#include "platform/widgets/TButtonFlat.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace cht::framework {

using cht::platform::TButtonFlat;

namespace {

TButtonFlat* columnButton(QWidget* parent, const char* name, const QString& caption,
                          const QString& hint, Glyph glyph)
{
    auto* b = new TButtonFlat(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->SetCaption(caption);
    b->SetHint(hint);
    b->setIcon(glyphIcon(glyph));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setFixedSize(49, 25);
    return b;
}

} // namespace

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
    root->addWidget(grbDadosRel, 1);

    panMenu = new QWidget(this);
    panMenu->setObjectName(QStringLiteral("panMenu"));
    panMenu->setFixedWidth(55);
    root->addWidget(panMenu);
    auto* column = new QVBoxLayout(panMenu);
    column->setContentsMargins(3, 3, 3, 3);
    column->setSpacing(4);
    lblCodTela = new QLabel(panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    lblCodTela->setAlignment(Qt::AlignCenter);
    QFont codeFont = lblCodTela->font();
    codeFont.setBold(true);
    codeFont.setPointSizeF(codeFont.pointSizeF() * 0.85);
    lblCodTela->setFont(codeFont);
    column->addWidget(lblCodTela);

    panBotoes = new QWidget(panMenu);
    panBotoes->setObjectName(QStringLiteral("panBotoes"));
    column->addWidget(panBotoes);
    auto* buttons = new QVBoxLayout(panBotoes);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(4);
    sbtConfirma = columnButton(panBotoes, "sbtConfirma", QString(), QStringLiteral("Confirmar"),
                               Glyph::Confirmar);
    sbtCancel = columnButton(panBotoes, "sbtCancel", QString(),
                             QStringLiteral("Cancelar (Esc)"), Glyph::Cancelar);
    sbtConfirma->setToolButtonStyle(Qt::ToolButtonIconOnly);
    sbtCancel->setToolButtonStyle(Qt::ToolButtonIconOnly);
    buttons->addWidget(sbtConfirma);
    buttons->addWidget(sbtCancel);
    column->addStretch(1);

    sbtConfirma->onClick = [this](QObject* sender) {
        Application::Dispatch([this, sender] { sbtConfirmaClick(sender); });
    };
    sbtCancel->onClick = [this](QObject* sender) {
        Application::Dispatch([this, sender] { sbtCancelClick(sender); });
    };
}

TfrmRotiGeral::~TfrmRotiGeral() = default;

void TfrmRotiGeral::FormCreate() {}

void TfrmRotiGeral::FormActivate() {}

void TfrmRotiGeral::FormClose(TCloseAction& action)
{
    action = TCloseAction::caFree;
}

void TfrmRotiGeral::sbtConfirmaClick(QObject*)
{
    m_result = QDialog::Accepted;
    Close();
}

void TfrmRotiGeral::sbtCancelClick(QObject*)
{
    m_result = QDialog::Rejected;
    Close();
}

int TfrmRotiGeral::ShowModal()
{
    m_result = QDialog::Rejected;
    return exec() == QDialog::Accepted ? mrOk : mrCancel;
}

void TfrmRotiGeral::Close()
{
    m_closing = true;
    QWidget::close();
    m_closing = false;
}

void TfrmRotiGeral::done(int result)
{
    if (result == QDialog::Rejected && !m_closing) {
        // Esc and reject() are the operator cancelling: the screen's cancel handler decides.
        Application::Dispatch([this] { sbtCancelClick(sbtCancel); });
        return;
    }
    m_result = result;
    Close();
}

void TfrmRotiGeral::closeEvent(QCloseEvent* event)
{
    const int result = m_result;
    m_result = QDialog::Rejected;
    closeDialog(*this, *event, result, [this](TCloseAction& action) { FormClose(action); });
}

void TfrmRotiGeral::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Application::Dispatch([this] { FormActivate(); });
}

} // namespace cht::framework
