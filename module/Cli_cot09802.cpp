// Behaviour of the justification screen: loading the current CHT's text, entry and view modes,
// confirming into the row, and the factory.
#include "module/Cli_cot09802.h"

#include "module/Cli_cot09800.h"
#include "module/contracts/Consiste.h"
#include "platform/widgets/TButtonFlat.h"

#include <QPlainTextEdit>
#include <QScopeGuard>

#include <exception>

using cht::framework::CursorGuard;
using cht::framework::TCloseAction;

namespace Cli_cot09802 {

TfrmDescAlter* frmDescAlter = nullptr;
bool boIdCriado = false;

namespace {
int s_unitCount = 0;
constexpr int kMaxJustification = 2000; // the width of DSALTERACAOCHT
} // namespace

void CriaDescAlter()
{
    // The hourglass goes on every way out, a creation or a showing that raises included.
    const CursorGuard hourglass;
    if (!boIdCriado) {
        frmDescAlter = cht::framework::CreateForm<TfrmDescAlter>();
        boIdCriado = true;
    }
    frmDescAlter->setVisible(false);
    frmDescAlter->ShowModal();
}

void Initialization()
{
    if (s_unitCount++ != 0)
        return;
    frmDescAlter = nullptr;
    boIdCriado = false;
}

void Finalization()
{
    if (s_unitCount == 0 || --s_unitCount != 0)
        return;
    // A dialog left behind must not outlive the code that defines it.
    delete frmDescAlter;
}

} // namespace Cli_cot09802

TfrmDescAlter::~TfrmDescAlter()
{
    if (Cli_cot09802::frmDescAlter == this) {
        Cli_cot09802::frmDescAlter = nullptr;
        Cli_cot09802::boIdCriado = false;
    }
}

void TfrmDescAlter::FormActivate()
{
    TfrmRotiGeral::FormActivate();
    const TfrmCancelaCHT* tela = Cli_cot09800::frmCancelaCHT;
    rceDescAlter->setPlainText(tela != nullptr ? tela->cdsCancelaCHTDSALTERACAOCHT->asString()
                                               : QString());
    rceDescAlter->setFocus();
    const bool entry = Cli_cot09800::boEdit;
    rceDescAlter->setReadOnly(!entry);
    // Confirming in view mode would write the shown text back into the row.
    sbtConfirma->setEnabled(entry);
}

void TfrmDescAlter::sbtConfirmaClick(QObject*)
{
    // Whatever stops the confirmation leaves the operator in the text.
    const auto backToText = qScopeGuard([this, unwinding = std::uncaught_exceptions()] {
        if (std::uncaught_exceptions() > unwinding)
            rceDescAlter->setFocus();
    });
    const QString text = rceDescAlter->toPlainText();
    if (text.isEmpty())
        cht::framework::MensErro(msgPadrao.Msg(QStringLiteral("Desc_Inf")), true);
    Cli_cot09800::frmCancelaCHT->cdsCancelaCHTDSALTERACAOCHT->setAsString(
        text.left(Cli_cot09802::kMaxJustification));
    Cli_cot09800::boConfirmou = true;
    Close();
}

void TfrmDescAlter::sbtCancelClick(QObject*)
{
    Close();
}

void TfrmDescAlter::FormClose(TCloseAction& action)
{
    Cli_cot09802::boIdCriado = false;
    TfrmRotiGeral::FormClose(action);
}
