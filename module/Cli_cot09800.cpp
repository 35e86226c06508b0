// Behaviour of the CHT management screen: launch, creation, activation, closing, the command-state
// rule, the list reload, the list reactions and the row walk, and the field texts.
#include "module/Cli_cot09800.h"

#include "module/Cli_cot09801.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/PageControl98.h"
#include "module/contracts/Showavi.h"
#include "platform/dataset/ControlsDisabler.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"

#include <QAction>
#include <QScopeGuard>

#include <utility>

using cht::framework::Application;
using cht::framework::CheckResultServ;
using cht::framework::CursorGuard;
using cht::framework::TCloseAction;
using cht::framework::TNetConnection;
using cht::framework::TRemoteArg;
using cht::platform::DataSetState;
using cht::platform::TClientDataSet;
using cht::platform::TColumn;
using cht::platform::TDataSource;
using cht::platform::TField;

namespace Cli_cot09800 {

TfrmCancelaCHT* frmCancelaCHT = nullptr;
bool boIdCriado = false;
bool boTodosServ = false;
bool boConfirmou = false;
bool boEdit = false;

namespace {
int s_unitCount = 0;
} // namespace

void CriaCancelaCHT()
{
    {
        // The hourglass goes on every way out, a creation that raises included.
        const CursorGuard hourglass;
        if (!boIdCriado) {
            frmCancelaCHT = cht::framework::CreateForm<TfrmCancelaCHT>();
            boIdCriado = true;
        }
        frmCancelaCHT->Show();
        frmCancelaCHT->SetWindowState(cht::framework::TWindowState::wsNormal);
    }
    Cli_cot09801::CriaFiltroCancCHT();
}

void Initialization()
{
    if (s_unitCount++ != 0)
        return;
    frmCancelaCHT = nullptr;
    boIdCriado = false;
    boTodosServ = false;
    boConfirmou = false;
    boEdit = false;
}

void Finalization()
{
    if (s_unitCount == 0 || --s_unitCount != 0)
        return;
    // A screen left open must not outlive the code that defines it; its destructor resets the
    // unit's references.
    delete frmCancelaCHT;
}

} // namespace Cli_cot09800

QString TfrmCancelaCHT::currentText(const TField* field)
{
    if (field == nullptr || !field->dataSet().active() || field->dataSet().isEmpty())
        return {};
    return field->asString();
}

// --- creation, activation, closing -----------------------------------------------------------

void TfrmCancelaCHT::FormCreate()
{
    TfrmPadraoGrid::FormCreate();
    netCancelaCHT.Open();
    pgcPadrao->SetActivePage(tshPadrao);
}

void TfrmCancelaCHT::netCancelaCHTBeforeConnect(TNetConnection& sender)
{
    sender.Host = Corvanta::WebURL();
    sender.Port = Corvanta::WebPort();
}

void TfrmCancelaCHT::FormActivate()
{
    TfrmPadraoGrid::FormActivate();
    dtsPadraoStateChange(&dtsPadrao);
}

void TfrmCancelaCHT::FormClose(TCloseAction& action)
{
    netCancelaCHT.Close();
    if (Cli_cot09801::frmFiltroCancCHT != nullptr) {
        Cli_cot09801::frmFiltroCancCHT->deleteLater();
        Cli_cot09801::frmFiltroCancCHT = nullptr;
    }
    TfrmPadraoGrid::FormClose(action);
    Cli_cot09800::boIdCriado = false;
}

void TfrmCancelaCHT::cdsCancelaCHTBeforeOpen(TClientDataSet&)
{
    Cli_cot09800::boTodosServ = false;
}

// --- commands ----------------------------------------------------------------------------------

void TfrmCancelaCHT::sbtFiltroClick(QObject*)
{
    Cli_cot09801::CriaFiltroCancCHT();
}

void TfrmCancelaCHT::sbtAlterarClick(QObject* sender)
{
    TfrmPadraoGrid::sbtAlterarClick(sender);
    // The signed flag is the one editable column.
    if (TColumn* signedColumn = dbgPadrao->columnByFieldName(QStringLiteral("IDCHTASSINADA")))
        dbgPadrao->setSelectedIndex(signedColumn->index());
    dbgPadrao->setFocus();
}

void TfrmCancelaCHT::sbtVerificarClick(QObject*)
{
    reloadChtList();
}

// --- the command-state rule --------------------------------------------------------------------

void TfrmCancelaCHT::dtsPadraoStateChange(TDataSource* sender)
{
    TfrmPadraoGrid::dtsPadraoStateChange(sender);

    const bool empty = cdsCancelaCHT.isEmpty();
    const bool browsing = cdsCancelaCHT.state() == DataSetState::Browse;

    BaseActionMenu(1)->setEnabled(false);
    const bool canEdit = browsing && !empty;
    BaseActionMenu(2)->setEnabled(canEdit);
    BaseActionMenu(3)->setEnabled(false);
    BaseMenuItem(6)->setEnabled(false);
    BaseMenuItem(7)->setEnabled(false);

    BaseActionButton(1)->setEnabled(false);
    BaseActionButton(3)->setEnabled(false);
    BaseActionButton(2)->setEnabled(canEdit);

    BaseActionButton(5)->setEnabled(browsing);
    BaseActionMenu(5)->setEnabled(browsing);

    const bool commands = !empty && browsing;
    const bool justification =
        !empty && currentText(cdsCancelaCHTIDSTATUSCHT) == QLatin1String("N");
    dbgPadrao->setEnabled(!empty);
    BaseActionButton(4)->setEnabled(commands);
    sbtCancelaCHT->setEnabled(commands);
    sbtConfirmaCHT->setEnabled(commands);
    sbtNaoFaturar->setEnabled(commands);
    sbtJustificativa->setEnabled(justification);

    BaseActionMenu(4)->setEnabled(commands);
    mnuCancelaCHT->setEnabled(commands);
    mnuConfirmaCHT->setEnabled(commands);
    mnuNaoFaturar->setEnabled(commands);
    mnuJustificativa->setEnabled(justification);

    const bool dueDates =
        browsing && currentText(cdsCancelaCHTIDTIPOCOBRSERV) == QLatin1String("P");
    sbtVencimento->setEnabled(dueDates);
    mnuVencimento->setEnabled(dueDates);
}

// --- the list: reload, reactions, row walk -----------------------------------------------------

void TfrmCancelaCHT::reloadChtList()
{
    const cht::framework::AviGuard waitAnimation(Application::MainForm(), 6);
    const QString operatorId = Corvanta::Operador();
    TFiltro& f = Cli_cot09801::Filtro;
    cht::framework::TServerResult result = netCancelaCHT.AppServer().Call(
        QStringLiteral("GetCHT"),
        {TRemoteArg::ByRef(f.Clientes), TRemoteArg::ByRef(f.TodosClientes),
         TRemoteArg::ByRef(f.Funcs), TRemoteArg::ByRef(f.TodosFuncs), TRemoteArg::ByRef(f.DataIni),
         TRemoteArg::ByRef(f.DataFin), TRemoteArg::ByRef(f.Situacao),
         TRemoteArg::ByVal(operatorId)});
    cdsCancelaCHT.loadFromPacket(CheckResultServ(std::move(result), true, 0));
}

void TfrmCancelaCHT::suspendListReactions()
{
    dtsPadrao.onStateChange = nullptr;
    cdsCancelaCHT.afterScroll = nullptr;
    cdsCancelaCHT.afterPost = nullptr;
}

void TfrmCancelaCHT::reattachListReactions()
{
    dtsPadrao.onStateChange = [this](TDataSource& s) { dtsPadraoStateChange(&s); };
    cdsCancelaCHT.afterScroll = [this](TClientDataSet& d) { cdsCancelaCHTAfterScroll(d); };
    cdsCancelaCHT.afterPost = [this](TClientDataSet& d) { cdsCancelaCHTAfterPost(d); };
}

TfrmCancelaCHT::RowWalk::RowWalk(TfrmCancelaCHT& screen) : m_screen(screen)
{
    m_screen.suspendListReactions();
    m_controls.emplace(m_screen.cdsCancelaCHT);
    Application::SetCursor(cht::framework::TCursor::crHourGlass);
}

TfrmCancelaCHT::RowWalk::~RowWalk() noexcept(false)
{
    // Reactions and cursor come back even when the controls' refresh raises.
    const auto rest = qScopeGuard([this] {
        reattachReactions();
        restoreCursor();
    });
    enableControls();
}

void TfrmCancelaCHT::RowWalk::visit(const std::function<void()>& onRow)
{
    visitWhile([&] {
        onRow();
        return true;
    });
    if (m_screen.cdsCancelaCHT.active())
        m_screen.cdsCancelaCHT.first();
}

bool TfrmCancelaCHT::RowWalk::visitWhile(const std::function<bool()>& onRow)
{
    TClientDataSet& list = m_screen.cdsCancelaCHT;
    if (!list.active())
        return true;
    list.first();
    while (!list.eof()) {
        if (!onRow())
            return false;
        list.next();
    }
    return true;
}

void TfrmCancelaCHT::RowWalk::reattachReactions()
{
    if (!m_suspended)
        return;
    m_suspended = false;
    m_screen.reattachListReactions();
}

void TfrmCancelaCHT::RowWalk::enableControls()
{
    m_controls.reset();
}

void TfrmCancelaCHT::RowWalk::restoreCursor()
{
    if (!m_hourglass)
        return;
    m_hourglass = false;
    Application::SetCursor(cht::framework::TCursor::crDefault);
}

void TfrmCancelaCHT::walkRows(const std::function<void()>& visit)
{
    RowWalk walk(*this);
    walk.visit(visit);
}

// --- field texts -------------------------------------------------------------------------------

void TfrmCancelaCHT::cdsCancelaCHTIDCHTASSINADAGetText(TField& sender, QString& text, bool)
{
    const QString v = sender.asString();
    if (v == QLatin1String("S"))
        text = msgPadrao.Msg(QStringLiteral("sim"));
    else if (v == QLatin1String("N"))
        text = msgPadrao.Msg(QStringLiteral("nao"));
    else
        text.clear();
}

void TfrmCancelaCHT::cdsCancelaCHTIDCHTASSINADASetText(TField& sender, const QString& text)
{
    if (text == msgPadrao.Msg(QStringLiteral("sim")))
        sender.setAsString(QStringLiteral("S"));
    else if (text == msgPadrao.Msg(QStringLiteral("nao")))
        sender.setAsString(QStringLiteral("N"));
}

void TfrmCancelaCHT::cdsCancelaCHTIDTIPOPROPFASGetText(TField& sender, QString& text, bool)
{
    const QString v = sender.asString();
    text = (v == QLatin1String("M") || v == QLatin1String("L") || v == QLatin1String("S"))
               ? msgPadrao.Msg(v)
               : QString();
}

void TfrmCancelaCHT::cdsCancelaCHTIDTIPOCOBRCONTGetText(TField& sender, QString& text, bool)
{
    const QString v = sender.asString();
    text = (v == QLatin1String("H") || v == QLatin1String("P") || v == QLatin1String("F"))
               ? msgPadrao.Msg(v)
               : QString();
}

void TfrmCancelaCHT::cdsConsultaCSAIDSITSERVPRESTGetText(TField& sender, QString& text, bool)
{
    const QString v = sender.asString();
    if (v.isEmpty() || v == QLatin1String("P"))
        text = msgPadrao.Msg(QStringLiteral("PENDENTE"));
    else if (v == QLatin1String("C"))
        text = msgPadrao.Msg(QStringLiteral("CONFIRMADA"));
    else if (v == QLatin1String("R"))
        text = msgPadrao.Msg(QStringLiteral("CHT_GERADA"));
    else
        text.clear();
}

void TfrmCancelaCHT::cdsConsultaCSAIDASSINATURACLIENTEGetText(TField& sender, QString& text, bool)
{
    text = sender.asString() == QLatin1String("X") ? QStringLiteral("-") : QString();
}

void TfrmCancelaCHT::cdsConsultaCSAIDORIGINALENTREGUEGetText(TField& sender, QString& text, bool)
{
    text = sender.asString() == QLatin1String("X") ? QStringLiteral("-") : QString();
}
