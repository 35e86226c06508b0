// Behaviour of the CHT filter screen: creation, activation, the radio and date reactions, the
// checks before a submission, the submission itself, and the copying to and from Filtro.
#include "module/Cli_cot09801.h"

#include "module/Cli_cot09800.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Netconnection.h"
#include "module/contracts/Pesqlista.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/FormatMaskText.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

#include <array>
#include <stdexcept>

using cht::framework::Application;
using cht::framework::CheckResultServ;
using cht::framework::EmptyString;
using cht::framework::MensErro;
using cht::framework::PesquisaLista;
using cht::framework::PictPess;
using cht::framework::TCloseAction;

namespace Cli_cot09801 {

TFiltro Filtro;
TfrmFiltroCancCHT* frmFiltroCancCHT = nullptr;
bool boIdCriado = false;
bool boPrimVez = true;

namespace {
int s_unitCount = 0;
} // namespace

int CriaFiltroCancCHT()
{
    if (frmFiltroCancCHT == nullptr) {
        // A creation that fails (the server's date not to be had) is shown and the filter still
        // opens: without preset dates, and with Filtro as it was.
        frmFiltroCancCHT = cht::framework::CreateFormReportingErrors<TfrmFiltroCancCHT>();
        boIdCriado = true;
    }
    return frmFiltroCancCHT->ShowModal();
}

void Initialization()
{
    if (s_unitCount++ != 0)
        return;
    boIdCriado = false;
    boPrimVez = true;
}

void Finalization()
{
    if (s_unitCount == 0 || --s_unitCount != 0)
        return;
    Filtro.Situacao = QString();
    Filtro.TodosClientes = QString();
    Filtro.Clientes = QString();
    Filtro.TodosFuncs = QString();
    Filtro.Funcs = QString();
    // A screen left behind must not outlive the code that defines it.
    delete frmFiltroCancCHT;
    frmFiltroCancCHT = nullptr;
}

} // namespace Cli_cot09801

using Cli_cot09801::Filtro;

namespace {

// The status sets a restore recognises: exactly the ones a store can write.
struct StatusSet {
    const char* code;
    bool pending, approved, billed, notBilled;
};

constexpr std::array<StatusSet, 16> kStatusSets{{
    {"_", false, false, false, false},
    {"_P_", true, false, false, false},
    {"_A_", false, true, false, false},
    {"_R_", false, false, true, false},
    {"_N_", false, false, false, true},
    {"_P_A_", true, true, false, false},
    {"_P_R_", true, false, true, false},
    {"_P_N_", true, false, false, true},
    {"_A_R_", false, true, true, false},
    {"_A_N_", false, true, false, true},
    {"_R_N_", false, false, true, true},
    {"_P_A_R_", true, true, true, false},
    {"_P_A_N_", true, true, false, true},
    {"_P_R_N_", true, false, true, true},
    {"_A_R_N_", false, true, true, true},
    {"_P_A_R_N_", true, true, true, true},
}};

TfrmCancelaCHT& managementScreen()
{
    if (Cli_cot09800::frmCancelaCHT == nullptr)
        throw std::logic_error("O filtro de CHT só pode ser aberto com a tela de "
                               "Gerenciamento de CHT aberta.");
    return *Cli_cot09800::frmCancelaCHT;
}

bool isWithin(const QWidget* w, const QWidget* area)
{
    return w != nullptr && (w == area || area->isAncestorOf(w));
}

} // namespace

TfrmFiltroCancCHT::TfrmFiltroCancCHT(QWidget* parent) : TfrmFiltroPadrao(parent)
{
    createLayout();
    bindEvents();
}

TfrmFiltroCancCHT::~TfrmFiltroCancCHT()
{
    // The controls die after this body; the focus moves they cause must not reach us.
    disconnect(m_focusMoved);
}

void TfrmFiltroCancCHT::bindEvents()
{
    auto bindRadio = [this](QRadioButton* rbt, void (TfrmFiltroCancCHT::*handler)(QObject*)) {
        // toggled, not clicked: a selection made by a restore must react as a click does.
        connect(rbt, &QRadioButton::toggled, this,
                cht::framework::dispatched([this, rbt, handler](bool selected) {
                    if (selected)
                        (this->*handler)(rbt);
                }));
    };
    bindRadio(rbtTCliente, &TfrmFiltroCancCHT::rbtTClienteClick);
    bindRadio(rbtLCliente, &TfrmFiltroCancCHT::rbtLClienteClick);
    bindRadio(rbtTFunc, &TfrmFiltroCancCHT::rbtTFuncClick);
    bindRadio(rbtLFunc, &TfrmFiltroCancCHT::rbtLFuncClick);
    btpCliente->onClick =
        cht::framework::dispatched([this](QObject* sender) { btpClienteClick(sender); });
    btpFunc->onClick =
        cht::framework::dispatched([this](QObject* sender) { btpFuncClick(sender); });
    // A field hook runs inside whatever reads the field: bound plainly, so that what it raises
    // stops that reader.
    using namespace std::placeholders;
    qryClienteNRINSJURCLIE->onGetText =
        std::bind(&TfrmFiltroCancCHT::qryClienteNRINSJURCLIEGetText, this, _1, _2, _3);
    m_focusMoved = connect(qApp, &QApplication::focusChanged, this, &TfrmFiltroCancCHT::focusMoved);
}

void TfrmFiltroCancCHT::focusMoved(QWidget* from, QWidget* to)
{
    // Only moves inside this dialog are exits: an error box taking the focus is not one.
    if (from == nullptr || to == nullptr || from->window() != this || to->window() != this)
        return;
    if (isWithin(from, depCHTIni) && !isWithin(to, depCHTIni))
        Application::Dispatch([this] { depCHTIniExit(depCHTIni); });
    if (isWithin(from, depCHTFin) && !isWithin(to, depCHTFin))
        Application::Dispatch([this] { depCHTFinExit(depCHTFin); });
    if (isWithin(from, grbDataCHT) && !isWithin(to, grbDataCHT))
        Application::Dispatch([this] { grbDataCHTExit(grbDataCHT); });
}

void TfrmFiltroCancCHT::FormCreate()
{
    TfrmFiltroPadrao::FormCreate();
    stCliente.clear();
    stFunc.clear();

    TfrmCancelaCHT& screen = managementScreen();
    auto packet = CheckResultServ(screen.netCancelaCHT.AppServer().Call("GetData", {}), true, 0);
    screen.cdsData.loadFromPacket(std::move(packet));
    depCHTIni->SetDate(screen.cdsDataSYSDATE->asOle());
    depCHTFin->SetDate(screen.cdsDataSYSDATE->asOle());

    Atualiza_Filtro(false);
}

void TfrmFiltroCancCHT::FormActivate()
{
    TfrmFiltroPadrao::FormActivate();
    repaint();
    if (Cli_cot09801::boPrimVez) {
        Cli_cot09801::boPrimVez = false;
        return;
    }
    Atualiza_Filtro(true);
}

void TfrmFiltroCancCHT::FormClose(TCloseAction& action)
{
    action = TCloseAction::caHide;
    Cli_cot09801::boIdCriado = false;
}

void TfrmFiltroCancCHT::rbtTClienteClick(QObject*)
{
    btpCliente->setEnabled(false);
}

void TfrmFiltroCancCHT::rbtLClienteClick(QObject*)
{
    btpCliente->setEnabled(true);
}

void TfrmFiltroCancCHT::rbtTFuncClick(QObject*)
{
    btpFunc->setEnabled(false);
}

void TfrmFiltroCancCHT::rbtLFuncClick(QObject*)
{
    btpFunc->setEnabled(true);
}

void TfrmFiltroCancCHT::depCHTIniExit(QObject*)
{
    depCHTIni->CheckValidDate();
}

void TfrmFiltroCancCHT::depCHTFinExit(QObject*)
{
    depCHTFin->CheckValidDate();
}

void TfrmFiltroCancCHT::grbDataCHTExit(QObject*)
{
    if (depCHTFin->GetDate() < depCHTIni->GetDate()) {
        depCHTIni->setFocus();
        MensErro(msgPadrao.Msg("DtCHT_inv"), true);
    }
}

void TfrmFiltroCancCHT::btpClienteClick(QObject*)
{
    // Every lookup reads the table afresh; a failing read stops here, with stCliente untouched.
    qryCliente.Close();
    qryCliente.Open();
    PesquisaLista(&dtsCliente, QStringLiteral("CDCLIENTE"),
                  msgPadrao.Msg(QStringLiteral("Cliente")) + QLatin1Char('|') +
                      msgPadrao.Msg(QStringLiteral("cli_nc")),
                  false, stCliente);
}

void TfrmFiltroCancCHT::btpFuncClick(QObject*)
{
    qryFunc.Close();
    qryFunc.Open();
    PesquisaLista(&dtsFunc, QStringLiteral("CDFUNC"),
                  msgPadrao.Msg(QStringLiteral("Func")) + QLatin1Char('|') +
                      msgPadrao.Msg(QStringLiteral("func_nc")),
                  false, stFunc);
}

void TfrmFiltroCancCHT::qryClienteNRINSJURCLIEGetText(cht::platform::TField& sender, QString& text,
                                                      bool)
{
    const QString number = sender.asString();
    const QString mask = PictPess(qryClienteIDTPIJURCLIE->asString());
    // A number that does not fill its mask is shown as stored: the formatting would cut or pad it.
    text = cht::platform::MaskValueFits(mask, number) ? cht::platform::FormatMaskText(mask, number)
                                                      : number;
}

void TfrmFiltroCancCHT::btfSaveOpcClick(QObject* sender)
{
    SetOptionValue(QStringLiteral("stCliente"), stCliente);
    SetOptionValue(QStringLiteral("stFunc"), stFunc);
    TfrmFiltroPadrao::btfSaveOpcClick(sender);
}

void TfrmFiltroCancCHT::btfLoadOpcClick(QObject* sender)
{
    stCliente = OptionValue(QStringLiteral("stCliente"));
    stFunc = OptionValue(QStringLiteral("stFunc"));
    TfrmFiltroPadrao::btfLoadOpcClick(sender);
    repaint();
}

void TfrmFiltroCancCHT::Vd_Parametros()
{
    if (rbtLCliente->isChecked() && EmptyString(stCliente)) {
        btpCliente->setFocus();
        MensErro(msgPadrao.Msg("cli_inf"), true);
    }
    if (rbtLFunc->isChecked() && EmptyString(stFunc)) {
        btpFunc->setFocus();
        MensErro(msgPadrao.Msg("func_inf"), true);
    }
    if (EmptyString(depCHTIni->typedText())) {
        depCHTIni->setFocus();
        MensErro(msgPadrao.Msg("DtCHTIni_inf"), true);
    }
    if (EmptyString(depCHTFin->typedText())) {
        depCHTFin->setFocus();
        MensErro(msgPadrao.Msg("DtCHTFin_inf"), true);
    }
    if (depCHTFin->GetDate() < depCHTIni->GetDate()) {
        depCHTIni->setFocus();
        MensErro(msgPadrao.Msg("DtCHT_inv"), true);
    }
    if (!chbPendente->isChecked() && !chbAprovada->isChecked() && !chbRealizada->isChecked() &&
        !chbNFaturada->isChecked()) {
        chbPendente->setFocus();
        MensErro(msgPadrao.Msg("Sit_Inf"), true);
    }
}

void TfrmFiltroCancCHT::sbtConfirmaClick(QObject*)
{
    depCHTIniExit(depCHTIni);
    depCHTFinExit(depCHTFin);
    Vd_Parametros();
    Atualiza_Filtro(false);

    TfrmCancelaCHT& screen = managementScreen();
    screen.reloadChtList();

    Close();
    if (screen.dbgPadrao->isEnabled())
        screen.dbgPadrao->setFocus();
}

void TfrmFiltroCancCHT::Atualiza_Filtro(bool restaura)
{
    if (!restaura) {
        if (rbtTCliente->isChecked()) {
            Filtro.TodosClientes = QStringLiteral("T");
            Filtro.Clientes.clear();
        } else {
            Filtro.TodosClientes.clear();
            Filtro.Clientes = stCliente;
        }
        if (rbtTFunc->isChecked()) {
            Filtro.TodosFuncs = QStringLiteral("T");
            Filtro.Funcs.clear();
        } else {
            Filtro.TodosFuncs.clear();
            Filtro.Funcs = stFunc;
        }
        QString statuses = QStringLiteral("_");
        if (chbPendente->isChecked())
            statuses += QStringLiteral("P_");
        if (chbAprovada->isChecked())
            statuses += QStringLiteral("A_");
        if (chbRealizada->isChecked())
            statuses += QStringLiteral("R_");
        if (chbNFaturada->isChecked())
            statuses += QStringLiteral("N_");
        Filtro.Situacao = statuses;
        Filtro.DataIni = depCHTIni->GetDate();
        Filtro.DataFin = depCHTFin->GetDate();
        return;
    }

    stCliente = Filtro.Clientes;
    stFunc = Filtro.Funcs;
    if (Filtro.TodosClientes == QLatin1String("T"))
        rbtTCliente->setChecked(true);
    else
        rbtLCliente->setChecked(true);
    if (Filtro.TodosFuncs == QLatin1String("T"))
        rbtTFunc->setChecked(true);
    else
        rbtLFunc->setChecked(true);
    for (const StatusSet& s : kStatusSets) {
        if (Filtro.Situacao == QLatin1String(s.code)) {
            chbPendente->setChecked(s.pending);
            chbAprovada->setChecked(s.approved);
            chbRealizada->setChecked(s.billed);
            chbNFaturada->setChecked(s.notBilled);
            break;
        }
    }
    depCHTIni->SetDate(Filtro.DataIni);
    depCHTFin->SetDate(Filtro.DataFin);
}
