// Unit Cli_cot09800: the CHT management screen, its module state and its factory.
#pragma once

#include "cht_module_export.h"
#include "module/contracts/Forms.h"
#include "module/contracts/Netconnection.h"
#include "module/contracts/TfrmPadraoGrid.h"
#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/ControlsDisabler.h"
#include "platform/dataset/DataSource.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/TDBGrid.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>
#include <string_view>

class QAction;
class QLabel;
class QScrollArea;
class QSplitter;
class QWidget;

namespace cht::platform {
class StaleRepeatFilter;
class TButtonFlat;
class TColumn;
class TDBText;
} // namespace cht::platform

/// The CHT management screen: the CHT list and its commands, the CDA tab and the due-date
/// parcels. It owns the server connection and every client data set of the module.
class CHT_MODULE_EXPORT TfrmCancelaCHT : public cht::framework::TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmCancelaCHT(QWidget* parent = nullptr);
    ~TfrmCancelaCHT() override;

    // --- data (declared before the controls' data sources, which must go first) ---
    cht::platform::TClientDataSet cdsCancelaCHT{QStringLiteral("cdsCancelaCHT")};
    cht::platform::TClientDataSet cdsChave{QStringLiteral("cdsChave")};
    cht::platform::TClientDataSet cdsData{QStringLiteral("cdsData")};
    cht::platform::TClientDataSet cdsConsultaCSA{QStringLiteral("cdsConsultaCSA")};
    cht::platform::TClientDataSet cdsVencParcela{QStringLiteral("cdsVencParcela")};
    cht::platform::TDataSource dtsConsultaCsa;
    cht::platform::TDataSource dtsVencParcela;
    cht::framework::TNetConnection netCancelaCHT;

    // Fields of cdsCancelaCHT, in definition order.
    cht::platform::TField* cdsCancelaCHTIDCHECK = nullptr;
    cht::platform::TField* cdsCancelaCHTIDSTATUSCHT = nullptr;
    cht::platform::TField* cdsCancelaCHTDTINCLCHT = nullptr;
    cht::platform::TField* cdsCancelaCHTNMFANTCLIE = nullptr;
    cht::platform::TField* cdsCancelaCHTNMFUNC = nullptr;
    cht::platform::TField* cdsCancelaCHTNMTIPOSERV = nullptr;
    cht::platform::TField* cdsCancelaCHTNRSEQUCHT = nullptr;
    cht::platform::TField* cdsCancelaCHTINICIOCSA = nullptr;
    cht::platform::TField* cdsCancelaCHTFIMCSA = nullptr;
    cht::platform::TField* cdsCancelaCHTNRPROPOSFAS = nullptr;
    cht::platform::TField* cdsCancelaCHTNRVERPROPFAS = nullptr;
    cht::platform::TField* cdsCancelaCHTNRINSJURCLIE = nullptr;
    cht::platform::TField* cdsCancelaCHTCDCLIENTE = nullptr;
    cht::platform::TField* cdsCancelaCHTCDFUNC = nullptr;
    cht::platform::TField* cdsCancelaCHTCDTIPOSERV = nullptr;
    cht::platform::TField* cdsCancelaCHTNRSERVCONT = nullptr;
    cht::platform::TField* cdsCancelaCHTNRLANCTONF = nullptr;
    cht::platform::TField* cdsCancelaCHTNRINVOICE = nullptr;
    cht::platform::TField* cdsCancelaCHTDSALTERACAOCHT = nullptr;
    cht::platform::TField* cdsCancelaCHTQTHRAPROFATUCHT = nullptr;
    cht::platform::TField* cdsCancelaCHTVRFATU = nullptr;
    cht::platform::TField* cdsCancelaCHTCDEMPRESA = nullptr;
    cht::platform::TField* cdsCancelaCHTIDCHTPGTOOK = nullptr;
    cht::platform::TField* cdsCancelaCHTIDCHTASSINADA = nullptr;
    cht::platform::TField* cdsCancelaCHTCDGERENTEIMPCLI = nullptr;
    cht::platform::TField* cdsCancelaCHTIDCDAOK = nullptr;
    cht::platform::TField* cdsCancelaCHTDSLOCALCONT = nullptr;
    cht::platform::TField* cdsCancelaCHTPROPOSTA = nullptr;
    cht::platform::TField* cdsCancelaCHTDSREFEPROPOSFAS = nullptr;
    cht::platform::TField* cdsCancelaCHTIDTIPOPROPFAS = nullptr;
    cht::platform::TField* cdsCancelaCHTIDTIPOCOBRCONT = nullptr;
    cht::platform::TField* cdsCancelaCHTIDTIPOCOBRSERV = nullptr;
    // Fields of cdsChave.
    cht::platform::TField* cdsChaveNRPROPOSFAS = nullptr;
    cht::platform::TField* cdsChaveNRVERPROPFAS = nullptr;
    cht::platform::TField* cdsChaveCDTIPOSERV = nullptr;
    cht::platform::TField* cdsChaveNRSERVCONT = nullptr;
    cht::platform::TField* cdsChaveNRSEQUCHT = nullptr;
    cht::platform::TField* cdsChaveCDFUNC = nullptr;
    // Field of cdsData.
    cht::platform::TField* cdsDataSYSDATE = nullptr;
    // Fields of cdsConsultaCSA.
    cht::platform::TField* cdsConsultaCSAIDSITSERVPREST = nullptr;
    cht::platform::TField* cdsConsultaCSANOMEFUNC = nullptr;
    cht::platform::TField* cdsConsultaCSADSREFERENCIA = nullptr;
    cht::platform::TField* cdsConsultaCSANOMECLIENTE = nullptr;
    cht::platform::TField* cdsConsultaCSADTHRENTR1TUR = nullptr;
    cht::platform::TField* cdsConsultaCSADTHRSAID1TUR = nullptr;
    cht::platform::TField* cdsConsultaCSANMINTCLIENTE = nullptr;
    cht::platform::TField* cdsConsultaCSAQTHRTOTAL_AUX = nullptr;
    cht::platform::TField* cdsConsultaCSAQTHRDESLOCAMENTOFAT_AUX = nullptr;
    cht::platform::TField* cdsConsultaCSAQTHRNFATU_AUX = nullptr;
    cht::platform::TField* cdsConsultaCSAQTHRAPROFATU_AUX = nullptr;
    cht::platform::TField* cdsConsultaCSAQTHRAPRCOMIS_AUX = nullptr;
    cht::platform::TField* cdsConsultaCSADTSERVPREST = nullptr;
    cht::platform::TField* cdsConsultaCSANMOPERINC = nullptr;
    cht::platform::TField* cdsConsultaCSAIDASSINATURACLIENTE = nullptr;
    cht::platform::TField* cdsConsultaCSAIDORIGINALENTREGUE = nullptr;
    // Fields of cdsVencParcela.
    cht::platform::TField* cdsVencParcelaDTVENCSERVCLIE = nullptr;
    cht::platform::TField* cdsVencParcelaVRVENCSERVCLIE = nullptr;

    // --- tool bar ---
    cht::platform::TButtonFlat* sbtFiltro = nullptr;
    cht::platform::TButtonFlat* sbtConfirmaCHT = nullptr;
    cht::platform::TButtonFlat* sbtNaoFaturar = nullptr;
    cht::platform::TButtonFlat* sbtCancelaCHT = nullptr;
    cht::platform::TButtonFlat* sbtJustificativa = nullptr;
    cht::platform::TButtonFlat* sbtVencimento = nullptr;
    // Hidden 16 x 16 pictures that the grids paint; olive (128, 128, 0) is their key colour.
    QLabel* imgCheck = nullptr;
    QLabel* imgNoCheck = nullptr;
    QLabel* imgUnCheck = nullptr;
    QLabel* imgOk = nullptr;
    QLabel* imgNOk = nullptr;

    // --- menu ---
    QAction* mnuConfirmaCHT = nullptr;
    QAction* mnuNaoFaturar = nullptr;
    QAction* mnuCancelaCHT = nullptr;
    QAction* mnuLinha = nullptr;
    QAction* mnuJustificativa = nullptr;
    QAction* mnuVencimento = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* Filtrar1 = nullptr;

    // --- tab "CHT" ---
    QWidget* panDbgPadrao = nullptr;
    QScrollArea* scbFolhaDados = nullptr;
    QSplitter* Splitter1 = nullptr;
    cht::platform::TDBGrid* dbgVencParcela = nullptr;
    QWidget* panCHT = nullptr;
    QLabel* lblHrNormal = nullptr;
    cht::platform::TDBText* dbtHrNormal = nullptr;
    QLabel* lblValorFaturar = nullptr;
    cht::platform::TDBText* dbtVrFaturar = nullptr;
    QLabel* lblNotaFisc = nullptr;
    cht::platform::TDBText* dbtNotaFiscal = nullptr;
    QLabel* lblInvoice = nullptr;
    cht::platform::TDBText* dbtInvoice = nullptr;
    // Legend: the status balls (17 x 17; shown with the olive key transparent) and their labels.
    QLabel* imgAmarelo = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* imgAzul = nullptr;
    QLabel* lblNaoAprovada = nullptr;
    QLabel* imgVerde = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* imgCinza = nullptr;
    QLabel* Label4 = nullptr;

    // --- tab "CDA" ---
    QWidget* tshCSA = nullptr;
    QWidget* Panel1 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    cht::platform::TDBGrid* dbgConsultaCsa = nullptr;

    // --- shared procedures of the list ---
    /// Fetches the CHTs that match Filtro (GetCHT, under wait animation 6) and replaces the list
    /// with them, first row current. A failure before the load keeps the previous rows.
    void reloadChtList();
    /// Detaches the three list reactions: state change, after scroll, after post.
    void suspendListReactions();
    /// Attaches the three list reactions again (always these handlers, in that order).
    void reattachListReactions();
    /// Visits every row, first to last, with the reactions suspended, the controls disabled and
    /// the hourglass; leaves the list on its first row. Reactions, controls and cursor are
    /// restored on every way out, a raising visit included.
    void walkRows(const std::function<void()>& visit);

    /// A row walk whose restoring steps its caller may take early, one by one: while it lives
    /// the list reactions are suspended, the list's controls disabled and the cursor is the
    /// hourglass; whatever is still suspended when it ends is restored, on every way out.
    class RowWalk {
    public:
        explicit RowWalk(TfrmCancelaCHT& screen);
        ~RowWalk() noexcept(false);
        RowWalk(const RowWalk&) = delete;
        RowWalk& operator=(const RowWalk&) = delete;
        /// Visits each row, first to last, and leaves the list on its first row.
        void visit(const std::function<void()>& onRow);
        /// Visits the rows from the first while onRow returns true and stays where the walk
        /// ended: on the last row, or on the row that stopped it. False when stopped.
        bool visitWhile(const std::function<bool()>& onRow);
        /// Attaches the list reactions again; the controls stay disabled.
        void reattachReactions();
        /// Lets the list refresh its controls again.
        void enableControls();
        /// Back to the default cursor.
        void restoreCursor();

    private:
        TfrmCancelaCHT& m_screen;
        std::optional<cht::platform::ControlsDisabler> m_controls;
        bool m_suspended = true;
        bool m_hourglass = true;
    };

    /// Fetches the CDAs of the current CHT (GetConsultaCSA, under wait animation 1) into
    /// cdsConsultaCSA; an empty list asks with eight empty texts. A failure keeps the rows shown.
    void queryCurrentCdas();

    /// Sends the list's change log (SetCHT, under wait animation 1) and merges it once the server
    /// took it. A refused or failed save keeps every change in the log for the next save.
    void saveChangeLog();
    /// A row the operator may tick: not billed, and its client managed by the operator.
    bool isTickableRow(std::string_view operador) const;

    // --- handlers ---
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(cht::framework::TCloseAction& action) override;
    void netCancelaCHTBeforeConnect(cht::framework::TNetConnection& sender);
    /// The command-state rule.
    void dtsPadraoStateChange(cht::platform::TDataSource* sender) override;
    /// Filtro in words, for the list's report: clients, employees, dates and statuses.
    QString filterDescription() const override;
    void sbtFiltroClick(QObject* sender);
    void sbtAlterarClick(QObject* sender) override;
    void sbtVerificarClick(QObject* sender) override;
    void cdsCancelaCHTBeforeOpen(cht::platform::TClientDataSet& dataSet);
    void cdsCancelaCHTAfterScroll(cht::platform::TClientDataSet& dataSet);
    void cdsCancelaCHTAfterPost(cht::platform::TClientDataSet& dataSet);
    void cdsCancelaCHTAfterCancel(cht::platform::TClientDataSet& dataSet);

    void dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift) override;
    void dbgPadraoCellClick(cht::platform::TColumn& column);
    void dbgPadraoTitleClick(cht::platform::TColumn& column);
    void dbgPadraoColEnter(QObject* sender);
    void dbgPadraoColExit(QObject* sender);
    void dbgPadraoDrawColumnCell(cht::platform::TDBGrid& sender, const QRect& rect, int dataCol,
                                 cht::platform::TColumn& column,
                                 cht::platform::TGridDrawState state);
    void cdsCancelaCHTIDCHTASSINADAGetText(cht::platform::TField& sender, QString& text,
                                           bool displayText);
    void cdsCancelaCHTIDCHTASSINADASetText(cht::platform::TField& sender, const QString& text);
    void cdsCancelaCHTIDTIPOPROPFASGetText(cht::platform::TField& sender, QString& text,
                                           bool displayText);
    void cdsCancelaCHTIDTIPOCOBRCONTGetText(cht::platform::TField& sender, QString& text,
                                            bool displayText);
    void sbtConfirmaCHTClick(QObject* sender);
    void sbtCancelaCHTClick(QObject* sender);
    void sbtNaoFaturarClick(QObject* sender);
    void sbtJustificativaClick(QObject* sender);
    void pgcPadraoChange(QObject* sender);
    void dbgConsultaCsaDrawColumnCell(cht::platform::TDBGrid& sender, const QRect& rect,
                                      int dataCol, cht::platform::TColumn& column,
                                      cht::platform::TGridDrawState state);
    void cdsConsultaCSAIDSITSERVPRESTGetText(cht::platform::TField& sender, QString& text,
                                             bool displayText);
    void cdsConsultaCSAIDASSINATURACLIENTEGetText(cht::platform::TField& sender, QString& text,
                                                  bool displayText);
    void cdsConsultaCSAIDORIGINALENTREGUEGetText(cht::platform::TField& sender, QString& text,
                                                 bool displayText);
    void sbtVencimentoClick(QObject* sender);
    void mnuVencimentoClick(QObject* sender);

private:
    // Layout and definitions (Cli_cot09800Layout.cpp).
    void createFields();
    void createToolBar();
    void createMenus();
    void createTabs();
    void createChtPanel();
    void createColumns();
    void createMessages();
    void bindEvents();
    // What the base screen's report, export, totals and help read (Cli_cot09800Report.cpp).
    void describeList();

    /// Copies the key of every ticked row, in list order, into cdsChave; true when any was.
    bool collectTickedKeys(RowWalk& walk);
    /// Approval or deletion: the ticked keys to `method` in one call, then the list reloaded;
    /// `noneKey` is the message when nothing is ticked.
    void applyToTicked(const char* method, const char* noneKey, bool deletion);
    /// Shows the parcels grid below the splitter, 80 pixels high when it was hidden.
    void showParcelsGrid();

    /// Text of a field of the current row; empty on a closed or empty list.
    static QString currentText(const cht::platform::TField* field);

    // The pictures the grids paint, kept with their olive key colour (the legend shows the balls
    // with it made transparent).
    QImage m_picCheck, m_picNoCheck, m_picUnCheck, m_picOk, m_picNOk;
    QImage m_picAmarelo, m_picAzul, m_picVerde, m_picCinza;
    // Holding an arrow key in the list while each row queries the server: repeats that piled up
    // during a query are dropped.
    cht::platform::StaleRepeatFilter* m_staleRepeats = nullptr;
};

namespace Cli_cot09800 {

/// The one CHT management screen; null until created and once it is gone.
CHT_MODULE_EXPORT extern TfrmCancelaCHT* frmCancelaCHT;
/// True while the management screen exists; the launch tests it.
CHT_MODULE_EXPORT extern bool boIdCriado;
/// Direction of the next tick-all pass: false ticks, true unticks.
CHT_MODULE_EXPORT extern bool boTodosServ;
/// The operator confirmed a justification.
CHT_MODULE_EXPORT extern bool boConfirmou;
/// The justification screen opens for entry (true) or for reading only (false).
CHT_MODULE_EXPORT extern bool boEdit;

/// The launch: creates the management screen once, shows it in normal state, then the filter.
CHT_MODULE_EXPORT void CriaCancelaCHT();

/// Unit start and stop, counted: only the first start and the matching last stop do the work.
CHT_MODULE_EXPORT void Initialization();
CHT_MODULE_EXPORT void Finalization();

} // namespace Cli_cot09800
