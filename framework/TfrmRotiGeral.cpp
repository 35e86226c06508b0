#include "module/contracts/TfrmRotiGeral.h"

#include "framework/DialogClose.h"
#include "framework/DialogFrame.h"
#include "framework/Glyphs.h"
#include "platform/widgets/TButtonFlat.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace cht::framework {

using cht::platform::TButtonFlat;

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent) : QDialog(parent)
{
    DialogFrameLook look;
    look.menuWidth = 55;
    look.columnMargin = 3;
    look.codeAlignment = Qt::AlignCenter;
    look.codeFontScale = 0.85;
    const DialogFrame frame = buildDialogFrame(*this, "grbDadosRel", look);
    grbDadosRel = frame.body;
    panMenu = frame.panMenu;
    lblCodTela = frame.lblCodTela;
    panBotoes = frame.panBotoes;
    sbtConfirma = columnButton(panBotoes, "sbtConfirma", QString(), QStringLiteral("Confirmar"),
                               Glyph::Confirmar, 49);
    sbtCancel = columnButton(panBotoes, "sbtCancel", QString(), QStringLiteral("Cancelar (Esc)"),
                             Glyph::Cancelar, 49);
    sbtConfirma->setToolButtonStyle(Qt::ToolButtonIconOnly);
    sbtCancel->setToolButtonStyle(Qt::ToolButtonIconOnly);
    frame.buttons->addWidget(sbtConfirma);
    frame.buttons->addWidget(sbtCancel);

    sbtConfirma->onClick = dispatched([this](QObject* sender) { sbtConfirmaClick(sender); });
    sbtCancel->onClick = dispatched([this](QObject* sender) { sbtCancelClick(sender); });
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
