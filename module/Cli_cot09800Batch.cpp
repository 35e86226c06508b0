// Behaviour of the batch actions on the ticked CHTs: approval and deletion (one key set, one
// call, then the list reloaded) and the not-billing marking with its one justification, and the
// justification's viewing.
#include "module/Cli_cot09800.h"

#include "module/Cli_cot09802.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Cvn_msg.h"

#include <QScopeGuard>

#include <optional>

using cht::framework::Application;
using cht::framework::CheckResultServ;
using cht::framework::MensErro;
using cht::framework::TCursor;
using cht::framework::TMsgDlgType;
using cht::framework::TRemoteArg;

namespace {

bool ticked(const cht::platform::TField* tick)
{
    return tick->asString() == QLatin1String("S");
}

/// The key set is opened empty for the action and closed at its end, however it ends.
class KeySet {
public:
    explicit KeySet(cht::platform::TClientDataSet& keys) : m_keys(keys)
    {
        if (m_keys.active())
            m_keys.emptyDataSet();
        else
            m_keys.open();
    }
    ~KeySet() { m_keys.close(); }
    KeySet(const KeySet&) = delete;
    KeySet& operator=(const KeySet&) = delete;

private:
    cht::platform::TClientDataSet& m_keys;
};

} // namespace

bool TfrmCancelaCHT::collectTickedKeys(RowWalk& walk)
{
    bool found = false;
    walk.visit([&] {
        if (!ticked(cdsCancelaCHTIDCHECK))
            return;
        found = true;
        cdsChave.append();
        cdsChaveNRPROPOSFAS->setAsString(cdsCancelaCHTNRPROPOSFAS->asString());
        cdsChaveNRVERPROPFAS->setAsString(cdsCancelaCHTNRVERPROPFAS->asString());
        cdsChaveCDTIPOSERV->setAsString(cdsCancelaCHTCDTIPOSERV->asString());
        cdsChaveNRSERVCONT->setAsString(cdsCancelaCHTNRSERVCONT->asString());
        cdsChaveNRSEQUCHT->setAsString(cdsCancelaCHTNRSEQUCHT->asString());
        cdsChaveCDFUNC->setAsString(cdsCancelaCHTCDFUNC->asString());
        cdsChave.post();
    });
    return found;
}

void TfrmCancelaCHT::applyToTicked(const char* method, const char* noneKey, bool deletion)
{
    std::optional<KeySet> keys;
    {
        // The final step on every way out: key set closed, default cursor, first row, then the
        // walk's own restoration enables the controls and attaches the reactions.
        RowWalk walk(*this);
        const auto finalStep = qScopeGuard([this, &keys, &walk] {
            keys.reset();
            walk.restoreCursor();
            if (cdsCancelaCHT.active())
                cdsCancelaCHT.first();
        });
        keys.emplace(cdsChave);
        const bool found = collectTickedKeys(walk);
        // The reactions are back before the call, so that the reload reacts as any load does;
        // approval keeps the controls disabled and the hourglass until the list is back.
        walk.reattachReactions();
        if (deletion) {
            cdsCancelaCHT.first();
            walk.enableControls();
        }
        if (!found)
            MensErro(msgPadrao.Msg(QString::fromLatin1(noneKey)), true);
        CheckResultServ(netCancelaCHT.AppServer().Call(QString::fromLatin1(method),
                                                       {TRemoteArg::Packet(cdsChave.dataPacket())}),
                        true, 0);
        reloadChtList();
    }
}

void TfrmCancelaCHT::sbtConfirmaCHTClick(QObject*)
{
    applyToTicked("ConfirmaCHT", "cht_sel_conf", false);
}

void TfrmCancelaCHT::sbtCancelaCHTClick(QObject*)
{
    const int answer =
        msgMensagensPadroes.ShowMsg(QStringLiteral("Canc_CHT"), TMsgDlgType::mtConfirmation,
                                    cht::framework::mbYes | cht::framework::mbNo, 0);
    if (answer != cht::framework::mrYes)
        return;
    applyToTicked("CancelaCHT", "cht_sel", true);
}

// --- not to be billed ------------------------------------------------------------------------

void TfrmCancelaCHT::sbtNaoFaturarClick(QObject* sender)
{
    // The final step on every way out: reactions, controls, cursor, and a repaint.
    std::optional<RowWalk> walk;
    const auto finalStep = qScopeGuard([this, &walk] {
        walk.reset();
        reattachListReactions();
        Application::SetCursor(TCursor::crDefault);
        repaint();
    });

    const int answer =
        msgMensagensPadroes.ShowMsg(QStringLiteral("Conf_NFatu"), TMsgDlgType::mtConfirmation,
                                    cht::framework::mbYes | cht::framework::mbNo, 0);
    if (answer != cht::framework::mrYes) {
        sbtCancelarClick(sender);
        return;
    }

    walk.emplace(*this);
    Cli_cot09800::boConfirmou = false;
    Cli_cot09800::boEdit = true;
    bool asked = false;
    QString justification;
    const bool marked = walk->visitWhile([&] {
        if (!ticked(cdsCancelaCHTIDCHECK))
            return true;
        if (!asked) {
            // Asked once, at the first ticked row, in a screen that opens empty.
            cdsCancelaCHT.edit();
            cdsCancelaCHTDSALTERACAOCHT->setAsString(QString());
            Cli_cot09802::CriaDescAlter();
            justification = cdsCancelaCHTDSALTERACAOCHT->asString().left(2000);
            asked = true;
            if (!Cli_cot09800::boConfirmou) {
                // Left without confirming: the row gets its old justification back.
                cdsCancelaCHT.cancel();
                walk->enableControls();
                walk->restoreCursor();
                repaint();
                return false;
            }
        }
        cdsCancelaCHT.edit();
        cdsCancelaCHTDSALTERACAOCHT->setAsString(justification);
        cdsCancelaCHTIDCHECK->setAsString(QStringLiteral("D"));
        cdsCancelaCHTIDSTATUSCHT->setAsString(QStringLiteral("N"));
        cdsCancelaCHT.post();
        return true;
    });
    if (!marked)
        return;

    // One post with the reactions back sends every mark in one SetCHT.
    walk->reattachReactions();
    if (!cdsCancelaCHT.isEmpty()) {
        cdsCancelaCHT.edit();
        cdsCancelaCHT.post();
    }
    walk->enableControls();
    cdsCancelaCHT.first();
    if (!asked) {
        dbgPadrao->setFocus();
        MensErro(msgPadrao.Msg(QStringLiteral("Marca_NReal")), true);
    }
    cdsCancelaCHTAfterScroll(cdsCancelaCHT);
}

void TfrmCancelaCHT::sbtJustificativaClick(QObject*)
{
    Cli_cot09800::boEdit = false;
    Cli_cot09802::CriaDescAlter();
}
