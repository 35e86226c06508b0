// Unit Cli_cot09801: the CHT filter screen, its factory, and Filtro, the one record of criteria
// that every load of the CHT list sends to the server.
#pragma once

#include "cht_module_export.h"
#include "module/contracts/Forms.h"
#include "module/contracts/TADOIBQuery.h"
#include "module/contracts/TfrmFiltroPadrao.h"
#include "platform/dataset/DataSource.h"

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QWidget;

namespace cht::platform {
class TButtonFlat;
class TDateEditPlus;
} // namespace cht::platform

/// The CHT selection criteria. Situacao is "_" followed by "X_" for each wanted status in the
/// order P, A, R, N; a "T" in TodosClientes/TodosFuncs means all, and the list beside it is then
/// empty. Dates are OLE day numbers.
struct CHT_MODULE_EXPORT TFiltro {
    QString Situacao, TodosClientes, Clientes, TodosFuncs, Funcs;
    double DataIni = 0, DataFin = 0;
};

/// The modal filter over the CHT management screen; it works through that screen's connection
/// and data sets. Created once, hidden between uses.
class CHT_MODULE_EXPORT TfrmFiltroCancCHT : public cht::framework::TfrmFiltroPadrao {
    Q_OBJECT
public:
    explicit TfrmFiltroCancCHT(QWidget* parent = nullptr);
    ~TfrmFiltroCancCHT() override;

    // --- controls (layout in Cli_cot09801Layout.cpp) ---
    QGroupBox* grbCliente = nullptr;
    QRadioButton* rbtTCliente = nullptr;
    QRadioButton* rbtLCliente = nullptr;
    cht::platform::TButtonFlat* btpCliente = nullptr;
    QGroupBox* grbFunc = nullptr;
    QRadioButton* rbtTFunc = nullptr;
    QRadioButton* rbtLFunc = nullptr;
    cht::platform::TButtonFlat* btpFunc = nullptr;
    QGroupBox* grbDataCHT = nullptr;
    QLabel* lblDe = nullptr;
    cht::platform::TDateEditPlus* depCHTIni = nullptr;
    QLabel* lblAte = nullptr;
    cht::platform::TDateEditPlus* depCHTFin = nullptr;
    QGroupBox* grbSituacao = nullptr;
    QCheckBox* chbPendente = nullptr;
    QCheckBox* chbAprovada = nullptr;
    QCheckBox* chbRealizada = nullptr;
    QCheckBox* chbNFaturada = nullptr;

    /// The picked client and employee lists (filled by the lookups).
    QString stCliente;
    QString stFunc;

    // --- lookups on the host's database (definitions in Cli_cot09801Layout.cpp) ---
    cht::framework::TADOIBQuery qryCliente{QStringLiteral("qryCliente")};
    cht::platform::TDataSource dtsCliente;
    cht::platform::TField* qryClienteCDCLIENTE = nullptr;
    cht::platform::TField* qryClienteNRINSJURCLIE = nullptr;
    cht::platform::TField* qryClienteNMFANTCLIE = nullptr;
    cht::platform::TField* qryClienteIDTPIJURCLIE = nullptr;
    cht::platform::TField* qryClienteNMRAZSOCCLIE = nullptr;
    cht::framework::TADOIBQuery qryFunc{QStringLiteral("qryFunc")};
    cht::platform::TDataSource dtsFunc;
    cht::platform::TField* qryFuncCDFUNC = nullptr;
    cht::platform::TField* qryFuncNMFUNC = nullptr;

    // --- handlers ---
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(cht::framework::TCloseAction& action) override;
    void sbtConfirmaClick(QObject* sender) override;
    void rbtTClienteClick(QObject* sender);
    void rbtLClienteClick(QObject* sender);
    void rbtTFuncClick(QObject* sender);
    void rbtLFuncClick(QObject* sender);
    void grbDataCHTExit(QObject* sender);
    void depCHTIniExit(QObject* sender);
    void depCHTFinExit(QObject* sender);
    void btpClienteClick(QObject* sender);
    void btpFuncClick(QObject* sender);
    void qryClienteNRINSJURCLIEGetText(cht::platform::TField& sender, QString& text,
                                       bool displayText);
    /// The lists into the option list, then the base's save step.
    void btfSaveOpcClick(QObject* sender) override;
    /// The lists from the option list, then the base's load step, then a repaint.
    void btfLoadOpcClick(QObject* sender) override;

    /// Checks the choices before a submission; the first failure moves the focus and raises.
    void Vd_Parametros();
    /// false: the screen into Filtro; true: Filtro back into the screen.
    void Atualiza_Filtro(bool restaura);

private:
    void createLayout();
    void createLookups();
    void bindEvents();
    void focusMoved(QWidget* from, QWidget* to);

    QMetaObject::Connection m_focusMoved;
};

namespace Cli_cot09801 {

/// The current criteria; lives from module load to unload.
CHT_MODULE_EXPORT extern TFiltro Filtro;
/// The one filter screen; null until created and again once the management screen released it.
CHT_MODULE_EXPORT extern TfrmFiltroCancCHT* frmFiltroCancCHT;
/// Set when the screen is created, cleared when it closes.
CHT_MODULE_EXPORT extern bool boIdCriado;
/// True until the screen's first activation since the module was loaded.
CHT_MODULE_EXPORT extern bool boPrimVez;

/// Shows the filter modally, creating it first when there is none; returns the modal result.
CHT_MODULE_EXPORT int CriaFiltroCancCHT();

/// Unit start and stop, counted: only the first start and the matching last stop do the work.
CHT_MODULE_EXPORT void Initialization();
CHT_MODULE_EXPORT void Finalization();

} // namespace Cli_cot09801
