// Definition of the CHT management screen: layout, captions, hints, shortcuts, fields, grid
// columns and message tables; the pictures come from Cli_cot09800Pictures.
#include "module/Cli_cot09800.h"

#include "module/Cli_cot09800Pictures.h"
#include "module/contracts/PageControl98.h"
#include "platform/widgets/StaleRepeatFilter.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TCanvas.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDBNavigator.h"
#include "platform/widgets/TDBText.h"
#include "platform/wire/ChtListColumns.h"

#include <QAction>
#include <QFont>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

using cht::framework::Application;
using cht::platform::TButtonFlat;
using cht::platform::TClientDataSet;
using cht::platform::TDBGrid;
using cht::platform::TDBText;
using cht::platform::TField;
using cht::wire::FieldType;
namespace pictures = Cli_cot09800::pictures;
using pictures::Ball;
using pictures::ButtonGlyph;

namespace {

QFont labelFont(bool bold)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(bold);
    return f;
}

QLabel* pictureLabel(QWidget* parent, const char* name, const QPixmap& picture, bool visible)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setPixmap(picture);
    l->resize(picture.size());
    l->setVisible(visible);
    return l;
}

QAction* separator(QWidget* owner, const char* name)
{
    auto* a = new QAction(owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setSeparator(true);
    return a;
}

QAction* menuItem(QWidget* owner, const char* name, const QString& caption, int key)
{
    auto* a = new QAction(caption, owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(QKeySequence(static_cast<int>(Qt::CTRL) | key));
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    owner->addAction(a);
    return a;
}

TField* textField(TClientDataSet& cds, const char* name, int size, const QString& label,
                  bool hidden)
{
    TField& f = cds.addField(QString::fromLatin1(name), FieldType::Text, size);
    f.displayLabel = label;
    f.visible = !hidden;
    return &f;
}

TField* dateTimeField(TClientDataSet& cds, const char* name, const QString& label,
                      bool hidden = false)
{
    TField& f = cds.addField(QString::fromLatin1(name), FieldType::DateTime);
    f.displayLabel = label;
    f.visible = !hidden;
    return &f;
}

TField* floatField(TClientDataSet& cds, const char* name, const QString& label, bool hidden,
                   const QString& format)
{
    TField& f = cds.addField(QString::fromLatin1(name), FieldType::Float);
    f.displayLabel = label;
    f.visible = !hidden;
    f.displayFormat = format;
    return &f;
}

// Caption and visibility of a field already defined.
TField* showField(TClientDataSet& cds, const char* name, const QString& label, bool hidden)
{
    TField& f = cds.fieldByName(QString::fromLatin1(name));
    f.displayLabel = label;
    f.visible = !hidden;
    return &f;
}

// A null title leaves the column titled with the field's label.
void addGridColumn(TDBGrid* grid, const char* field, const QString& title, int width)
{
    cht::platform::TColumn& c = grid->addColumn(QString::fromLatin1(field));
    if (!title.isNull())
        c.setTitle(title);
    if (width > 0)
        c.setWidth(width);
}

} // namespace

TfrmCancelaCHT::TfrmCancelaCHT(QWidget* parent) : TfrmPadraoGrid(parent)
{
    setObjectName(QStringLiteral("frmCancelaCHT"));
    setWindowTitle(QStringLiteral("Gerenciamento de CHT"));
    lblCodTela->setText(QStringLiteral("COT09800"));
    resize(973, 439);

    createFields();
    createMessages();
    createToolBar();
    createMenus();
    createTabs();
    createChtPanel();
    createColumns();
    bindEvents();
    describeList();
}

TfrmCancelaCHT::~TfrmCancelaCHT()
{
    // The data-aware controls made here go before the data sets and sources they link to.
    delete dbgConsultaCsa;
    delete dbgVencParcela;
    delete dbtHrNormal;
    delete dbtVrFaturar;
    delete dbtNotaFiscal;
    delete dbtInvoice;
    dtsPadrao.setDataSet(nullptr);
    if (Cli_cot09800::frmCancelaCHT == this) {
        Cli_cot09800::frmCancelaCHT = nullptr;
        Cli_cot09800::boIdCriado = false;
    }
}

void TfrmCancelaCHT::createFields()
{
    // The list's fields as the server sends them; the screen gives them captions, hides some and
    // formats the amount.
    TClientDataSet& c = cdsCancelaCHT;
    for (const cht::wire::ChtListColumn& column : cht::wire::kChtListColumns)
        c.addField(QString::fromLatin1(column.name), column.type, static_cast<int>(column.size));
    cdsCancelaCHTIDCHECK = showField(c, "IDCHECK", {}, true);
    cdsCancelaCHTIDSTATUSCHT = showField(c, "IDSTATUSCHT", {}, true);
    cdsCancelaCHTDTINCLCHT = showField(c, "DTINCLCHT", QStringLiteral("Data Geração"), false);
    cdsCancelaCHTNMFANTCLIE = showField(c, "NMFANTCLIE", QStringLiteral("Cliente"), false);
    cdsCancelaCHTNMFUNC = showField(c, "NMFUNC", QStringLiteral("Funcionário"), false);
    cdsCancelaCHTNMTIPOSERV =
        showField(c, "NMTIPOSERV", QStringLiteral("Tipo de Atividade"), false);
    cdsCancelaCHTNRSEQUCHT = showField(c, "NRSEQUCHT", QStringLiteral("Nr. CHT"), false);
    cdsCancelaCHTINICIOCSA = showField(c, "INICIOCSA", QStringLiteral("CDA de"), false);
    cdsCancelaCHTFIMCSA = showField(c, "FIMCSA", QStringLiteral("CDA até"), false);
    cdsCancelaCHTNRPROPOSFAS = showField(c, "NRPROPOSFAS", QStringLiteral("Proposta"), false);
    cdsCancelaCHTNRVERPROPFAS = showField(c, "NRVERPROPFAS", QStringLiteral("Versão"), false);
    cdsCancelaCHTNRINSJURCLIE = showField(c, "NRINSJURCLIE", QStringLiteral("Inscrição"), true);
    cdsCancelaCHTCDCLIENTE = showField(c, "CDCLIENTE", {}, true);
    cdsCancelaCHTCDFUNC = showField(c, "CDFUNC", {}, true);
    cdsCancelaCHTCDTIPOSERV = showField(c, "CDTIPOSERV", {}, true);
    cdsCancelaCHTNRSERVCONT = showField(c, "NRSERVCONT", {}, true);
    cdsCancelaCHTNRLANCTONF = showField(c, "NRLANCTONF", QStringLiteral("Nº Nota Fiscal"), true);
    cdsCancelaCHTNRINVOICE = showField(c, "NRINVOICE", QStringLiteral("Invoice"), true);
    cdsCancelaCHTDSALTERACAOCHT = showField(c, "DSALTERACAOCHT", {}, true);
    cdsCancelaCHTQTHRAPROFATUCHT = showField(c, "QTHRAPROFATUCHT", {}, true);
    cdsCancelaCHTVRFATU = showField(c, "VRFATU", {}, true);
    cdsCancelaCHTVRFATU->displayFormat = QStringLiteral("#,###,##0.00");
    cdsCancelaCHTCDEMPRESA = showField(c, "CDEMPRESA", {}, true);
    cdsCancelaCHTIDCHTPGTOOK = showField(c, "IDCHTPGTOOK", QStringLiteral("Cliente OK"), true);
    cdsCancelaCHTIDCHTASSINADA =
        showField(c, "IDCHTASSINADA", QStringLiteral("CHT Assinada"), true);
    cdsCancelaCHTCDGERENTEIMPCLI = showField(c, "CDGERENTEIMPCLI", {}, true);
    cdsCancelaCHTIDCDAOK = showField(c, "IDCDAOK", QStringLiteral("CDA's OK"), true);
    cdsCancelaCHTDSLOCALCONT = showField(c, "DSLOCALCONT", QStringLiteral("Desc. Local"), false);
    cdsCancelaCHTPROPOSTA = showField(c, "PROPOSTA", QStringLiteral("Proposta"), false);
    cdsCancelaCHTDSREFEPROPOSFAS =
        showField(c, "DSREFEPROPOSFAS", QStringLiteral("Referência da Proposta"), false);
    cdsCancelaCHTIDTIPOPROPFAS = showField(c, "IDTIPOPROPFAS", QStringLiteral("Contrato"), false);
    cdsCancelaCHTIDTIPOCOBRCONT = showField(c, "IDTIPOCOBRCONT", QStringLiteral("Cobrança"), false);
    cdsCancelaCHTIDTIPOCOBRSERV = showField(c, "IDTIPOCOBRSERV", {}, true);

    // The key of a CHT: a delta always carries it, and of the rest only what changed.
    for (TField* key :
         {cdsCancelaCHTNRPROPOSFAS, cdsCancelaCHTNRVERPROPFAS, cdsCancelaCHTCDTIPOSERV,
          cdsCancelaCHTNRSERVCONT, cdsCancelaCHTNRSEQUCHT, cdsCancelaCHTCDFUNC})
        key->inKey = true;

    cdsChaveNRPROPOSFAS = textField(cdsChave, "NRPROPOSFAS", 10, {}, true);
    cdsChaveNRVERPROPFAS = textField(cdsChave, "NRVERPROPFAS", 2, {}, true);
    cdsChaveCDTIPOSERV = textField(cdsChave, "CDTIPOSERV", 3, {}, true);
    cdsChaveNRSERVCONT = textField(cdsChave, "NRSERVCONT", 3, {}, true);
    cdsChaveNRSEQUCHT = textField(cdsChave, "NRSEQUCHT", 5, QStringLiteral("CHT"), false);
    cdsChaveCDFUNC = textField(cdsChave, "CDFUNC", 10, {}, true);

    cdsDataSYSDATE = dateTimeField(cdsData, "SYSDATE", {});

    TClientDataSet& d = cdsConsultaCSA;
    cdsConsultaCSAIDSITSERVPREST =
        textField(d, "IDSITSERVPREST", 1, QStringLiteral("Situação"), false);
    cdsConsultaCSANOMEFUNC = textField(d, "NOMEFUNC", 70, QStringLiteral("Funcionário"), false);
    cdsConsultaCSADSREFERENCIA =
        textField(d, "DSREFERENCIA", 50, QStringLiteral("Descrição"), false);
    cdsConsultaCSANOMECLIENTE = textField(d, "NOMECLIENTE", 75, QStringLiteral("Cliente"), false);
    cdsConsultaCSADTHRENTR1TUR = dateTimeField(d, "DTHRENTR1TUR", QStringLiteral("Entrada Trab."));
    cdsConsultaCSADTHRSAID1TUR = dateTimeField(d, "DTHRSAID1TUR", QStringLiteral("Saída Trab."));
    cdsConsultaCSANMINTCLIENTE =
        textField(d, "NMINTCLIENTE", 50, QStringLiteral("Interlocutor"), false);
    cdsConsultaCSAQTHRTOTAL_AUX =
        textField(d, "QTHRTOTAL_AUX", 4000, QStringLiteral("Hrs.Serv.Prestado"), false);
    cdsConsultaCSAQTHRDESLOCAMENTOFAT_AUX =
        textField(d, "QTHRDESLOCAMENTOFAT_AUX", 4000, QStringLiteral("Hrs.Desloc.Fat."), false);
    cdsConsultaCSAQTHRNFATU_AUX =
        textField(d, "QTHRNFATU_AUX", 4000, QStringLiteral("Hrs.Não Fat."), false);
    cdsConsultaCSAQTHRAPROFATU_AUX =
        textField(d, "QTHRAPROFATU_AUX", 4000, QStringLiteral("Hrs.Serv.Fat."), false);
    cdsConsultaCSAQTHRAPRCOMIS_AUX =
        textField(d, "QTHRAPRCOMIS_AUX", 4000, QStringLiteral("Hrs.Comissão"), false);
    cdsConsultaCSADTSERVPREST = dateTimeField(d, "DTSERVPREST", QStringLiteral("Data Serviço"));
    cdsConsultaCSANMOPERINC = textField(d, "NMOPERINC", 64, QStringLiteral("Inclusão"), false);
    cdsConsultaCSAIDASSINATURACLIENTE =
        textField(d, "IDASSINATURACLIENTE", 1, QStringLiteral("Assinatura"), false);
    cdsConsultaCSAIDORIGINALENTREGUE =
        textField(d, "IDORIGINALENTREGUE", 1, QStringLiteral("Entregue"), false);

    cdsVencParcelaDTVENCSERVCLIE =
        dateTimeField(cdsVencParcela, "DTVENCSERVCLIE", QStringLiteral("Data Vencimento"));
    cdsVencParcelaVRVENCSERVCLIE =
        floatField(cdsVencParcela, "VRVENCSERVCLIE", QStringLiteral("Valor Parcela"), false,
                   QStringLiteral("#,###,##0.00"));
}

void TfrmCancelaCHT::createMessages()
{
    msgPadrao.Lines = {
        QStringLiteral("Excl|Confirma exclusão?"),
        QStringLiteral("cht_sel|Não há CHT selecionada para exclusão."),
        QStringLiteral("cht_sel_conf|Não há CHT selecionada para aprovação."),
        QStringLiteral("Marca_NReal|CHTs devem ser informadas para que seja(m) marcada(s) como "
                       "\"Não faturar\"."),
        QStringLiteral("PENDENTE|Pendente"),
        QStringLiteral("CONFIRMADA|Confirmada"),
        QStringLiteral("CHT_GERADA|CHT Gerada"),
        QStringLiteral("sim|Sim"),
        QStringLiteral("nao|Não"),
        QStringLiteral("L|Locação"),
        QStringLiteral("M|LU/Manutenção"),
        QStringLiteral("S|Serviço"),
        QStringLiteral("H|Vr.Hora"),
        QStringLiteral("P|Vr.Pacote"),
        QStringLiteral("F|Vr.Fixo"),
    };
    msgMensagensPadroes.Lines = {
        QStringLiteral("Excl|Confirma exclusão?"),
        QStringLiteral("Canc|Cancelar operação?"),
        QStringLiteral("Conf_NFatu|Deseja marcar as CHTs selecionadas como \"Não faturadas\"?"),
        QStringLiteral("Canc_CHT|Deseja excluir as CHT\u00B4s selecionadas?"),
    };
}

void TfrmCancelaCHT::createToolBar()
{
    auto button = [this](const char* name, int left, const QString& hint, ButtonGlyph glyph) {
        auto* b = new TButtonFlat(panMenu);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, 4, 21, 21);
        b->setToolTip(hint);
        b->setIcon(pictures::buttonIcon(glyph));
        b->setIconSize(QSize(16, 16));
        b->setEnabled(false);
        b->show();
        return b;
    };
    sbtFiltro = button("sbtFiltro", 181, QStringLiteral("Filtrar"), ButtonGlyph::Filter);
    sbtFiltro->setEnabled(true);
    sbtConfirmaCHT =
        button("sbtConfirmaCHT", 216, QStringLiteral("Aprovar CHT"), ButtonGlyph::Approve);
    sbtNaoFaturar = button("sbtNaoFaturar", 237, QStringLiteral("Marcar CHT para não faturar"),
                           ButtonGlyph::NotBill);
    sbtCancelaCHT =
        button("sbtCancelaCHT", 258, QStringLiteral("Excluir CHT"), ButtonGlyph::Delete);
    sbtJustificativa = button("sbtJustificativa", 294, QStringLiteral("Consultar Justificativa"),
                              ButtonGlyph::Justification);
    sbtVencimento = button("sbtVencimento", 323, QStringLiteral("Consultar Vencimentos"),
                           ButtonGlyph::DueDates);
    sbtVencimento->setGroupIndex(1);
    sbtVencimento->SetAllowAllUp(true);

    sbtImprimir->move(352, sbtImprimir->y());
    sbtImprimir->setEnabled(false);
    sbtAjuda->move(388, sbtAjuda->y());
    sbtFechar->move(424, sbtFechar->y());

    m_picCheck = pictures::checkBox(Qt::white, true);
    m_picNoCheck = pictures::checkBox(Qt::white, false);
    m_picUnCheck = pictures::checkBox(QColor(192, 192, 192), false);
    m_picOk = pictures::okMark();
    m_picNOk = pictures::notOkMark();
    imgCheck = pictureLabel(panMenu, "imgCheck", QPixmap::fromImage(m_picCheck), false);
    imgNoCheck = pictureLabel(panMenu, "imgNoCheck", QPixmap::fromImage(m_picNoCheck), false);
    imgUnCheck = pictureLabel(panMenu, "imgUnCheck", QPixmap::fromImage(m_picUnCheck), false);
    imgOk = pictureLabel(panMenu, "imgOk", QPixmap::fromImage(m_picOk), false);
    imgNOk = pictureLabel(panMenu, "imgNOk", QPixmap::fromImage(m_picNOk), false);
}

void TfrmCancelaCHT::createMenus()
{
    mnuConfirmaCHT = menuItem(this, "mnuConfirmaCHT", QStringLiteral("C&onfirmar CHT"), Qt::Key_O);
    mnuNaoFaturar = menuItem(this, "mnuNaoFaturar", QStringLiteral("&Não Faturar"), Qt::Key_N);
    mnuCancelaCHT = menuItem(this, "mnuCancelaCHT", QStringLiteral("C&ancelar CHT"), Qt::Key_A);
    mnuLinha = separator(this, "mnuLinha");
    mnuJustificativa =
        menuItem(this, "mnuJustificativa", QStringLiteral("Consultar &Justificativa"), Qt::Key_J);
    mnuVencimento =
        menuItem(this, "mnuVencimento", QStringLiteral("Consultar V&encimentos"), Qt::Key_E);
    N1 = separator(this, "N1");
    // Ours go at the top of the operations menu, before the base screen's own items.
    QAction* firstOfBase = mnuOperacao->actions().value(0, nullptr);
    for (QAction* a : {mnuConfirmaCHT, mnuNaoFaturar, mnuCancelaCHT, mnuLinha, mnuJustificativa,
                       mnuVencimento, N1})
        mnuOperacao->insertAction(firstOfBase, a);

    // And after the base screen's own items of the maintenance menu.
    N2 = separator(this, "N2");
    Filtrar1 = menuItem(this, "Filtrar1", QStringLiteral("&Filtrar"), Qt::Key_L);
    mnuManutencao->addAction(N2);
    mnuManutencao->addAction(Filtrar1);

    for (QAction* a :
         {mnuConfirmaCHT, mnuNaoFaturar, mnuCancelaCHT, mnuJustificativa, mnuVencimento})
        a->setEnabled(false);
}

void TfrmCancelaCHT::createTabs()
{
    pgcPadrao->setTabText(pgcPadrao->indexOf(tshPadrao), QStringLiteral("CHT"));
    QLayout* chtTab = tshPadrao->layout();
    if (chtTab == nullptr) {
        chtTab = new QVBoxLayout(tshPadrao);
        chtTab->setContentsMargins(0, 0, 0, 0);
    }
    panDbgPadrao = new QWidget(tshPadrao);
    panDbgPadrao->setObjectName(QStringLiteral("panDbgPadrao"));
    chtTab->addWidget(panDbgPadrao);
    auto* stack = new QVBoxLayout(panDbgPadrao);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    scbFolhaDados = new QScrollArea;
    scbFolhaDados->setObjectName(QStringLiteral("scbFolhaDados"));
    scbFolhaDados->setFrameShape(QFrame::NoFrame);
    scbFolhaDados->setFocusPolicy(Qt::NoFocus);
    scbFolhaDados->setWidgetResizable(true);
    scbFolhaDados->setWidget(dbgPadrao);

    dbgVencParcela = new TDBGrid;
    dbgVencParcela->setObjectName(QStringLiteral("dbgVencParcela"));
    dbgVencParcela->setDataSource(&dtsVencParcela);
    dbgVencParcela->setColor(palette().color(QPalette::ToolTipBase));
    dbgVencParcela->setOptions(cht::platform::dgTitles | cht::platform::dgColumnResize |
                               cht::platform::dgColLines | cht::platform::dgRowLines);
    dbgVencParcela->setReadOnly(true);
    dbgVencParcela->resize(dbgVencParcela->width(), 80);
    dbgVencParcela->hide();

    Splitter1 = new QSplitter(Qt::Vertical, panDbgPadrao);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(scbFolhaDados);
    Splitter1->addWidget(dbgVencParcela);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    stack->addWidget(Splitter1, 1);

    panCHT = new QWidget(panDbgPadrao);
    panCHT->setObjectName(QStringLiteral("panCHT"));
    panCHT->setFixedHeight(56);
    stack->addWidget(panCHT);

    tshCSA = pgcPadrao->AddPage(QStringLiteral("tshCSA"), QStringLiteral("CDA"));
    auto* cdaTab = new QVBoxLayout(tshCSA);
    cdaTab->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QWidget(tshCSA);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    cdaTab->addWidget(Panel1);
    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    ScrollBox1 = new QScrollArea(Panel1);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    // Scroll boxes take no focus: a tab change puts it in the grid inside.
    ScrollBox1->setFocusPolicy(Qt::NoFocus);
    ScrollBox1->setWidgetResizable(true);
    panel->addWidget(ScrollBox1);
    dbgConsultaCsa = new TDBGrid;
    dbgConsultaCsa->setObjectName(QStringLiteral("dbgConsultaCsa"));
    dbgConsultaCsa->setDataSource(&dtsConsultaCsa);
    dbgConsultaCsa->setReadOnly(true);
    dbgConsultaCsa->setFrameShape(QFrame::NoFrame);
    dbgConsultaCsa->setColor(palette().color(QPalette::ToolTipBase));
    dbgConsultaCsa->setTitleFont(labelFont(false));
    dbgConsultaCsa->setOptions(cht::platform::dgTitles | cht::platform::dgColumnResize |
                               cht::platform::dgColLines | cht::platform::dgRowLines |
                               cht::platform::dgTabs | cht::platform::dgAlwaysShowSelection |
                               cht::platform::dgConfirmDelete | cht::platform::dgCancelOnExit);
    ScrollBox1->setWidget(dbgConsultaCsa);
}

void TfrmCancelaCHT::createChtPanel()
{
    auto label = [this](const char* name, const QString& caption, int left, int top) {
        auto* l = new QLabel(caption, panCHT);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(labelFont(true));
        l->move(left, top);
        l->adjustSize();
        return l;
    };
    auto dbText = [this](const char* name, const char* field, int left, int top) {
        auto* t = new TDBText(panCHT);
        t->setObjectName(QString::fromLatin1(name));
        t->setDataSource(&dtsPadrao);
        t->setDataField(QString::fromLatin1(field));
        t->setGeometry(left, top, 150, 14);
        return t;
    };
    lblHrNormal = label("lblHrNormal", QStringLiteral("Hora Faturada "), 8, 4);
    dbtHrNormal = dbText("dbtHrNormal", "QTHRAPROFATUCHT", 104, 4);
    lblValorFaturar = label("lblValorFaturar", QStringLiteral("Valor a Faturar"), 8, 20);
    dbtVrFaturar = dbText("dbtVrFaturar", "VRFATU", 104, 20);
    lblNotaFisc = label("lblNotaFisc", QStringLiteral("Nº Nota Fiscal"), 369, 4);
    dbtNotaFiscal = dbText("dbtNotaFiscal", "NRLANCTONF", 460, 4);
    lblInvoice = label("lblInvoice", QStringLiteral("Invoice"), 369, 20);
    dbtInvoice = dbText("dbtInvoice", "NRINVOICE", 460, 20);

    auto legend = [this, &label](QLabel*& img, const char* pictureName, const QImage& picture,
                                 int left, QLabel*& lbl, const char* labelName,
                                 const QString& caption, int captionLeft) {
        img = pictureLabel(panCHT, pictureName,
                           QPixmap::fromImage(cht::platform::withKeyTransparent(picture)), true);
        img->move(left, 37);
        lbl = label(labelName, caption, captionLeft, 39);
    };
    m_picAmarelo = pictures::statusBall(Ball::Yellow);
    m_picAzul = pictures::statusBall(Ball::Blue);
    m_picVerde = pictures::statusBall(Ball::Green);
    m_picCinza = pictures::statusBall(Ball::Grey);
    legend(imgAmarelo, "imgAmarelo", m_picAmarelo, 369, Label3, "Label3",
           QStringLiteral("Pendente"), 394);
    legend(imgAzul, "imgAzul", m_picAzul, 477, lblNaoAprovada, "lblNaoAprovada",
           QStringLiteral("Aprovada"), 503);
    legend(imgVerde, "imgVerde", m_picVerde, 585, Label2, "Label2", QStringLiteral("Faturada"),
           608);
    legend(imgCinza, "imgCinza", m_picCinza, 679, Label4, "Label4", QStringLiteral("Não faturar"),
           705);

    dbtNome->setDataField(QStringLiteral("NMFANTCLIE"));
}

void TfrmCancelaCHT::createColumns()
{
    TDBGrid* g = dbgPadrao;
    g->setOptions(cht::platform::dgTitles | cht::platform::dgColumnResize |
                  cht::platform::dgColLines | cht::platform::dgRowLines | cht::platform::dgTabs |
                  cht::platform::dgAlwaysShowSelection | cht::platform::dgConfirmDelete |
                  cht::platform::dgCancelOnExit);
    addGridColumn(g, "IDCHECK", QStringLiteral("4"), 18);
    if (cht::platform::TColumn* tick = g->columnByFieldName(QStringLiteral("IDCHECK"))) {
        tick->setTitleFont(labelFont(false));
        tick->setTitleImage(pictures::titleCheckMark());
    }
    addGridColumn(g, "IDSTATUSCHT", QStringLiteral(" "), 18);
    addGridColumn(g, "NMFANTCLIE", QStringLiteral("Cliente"), 66);
    addGridColumn(g, "NMFUNC", QStringLiteral("Funcionário"), 65);
    addGridColumn(g, "INICIOCSA", QStringLiteral("CDA de"), 62);
    addGridColumn(g, "FIMCSA", QStringLiteral("CDA até"), 68);
    addGridColumn(g, "IDCDAOK", QStringLiteral("CDA's OK"), 0);
    addGridColumn(g, "IDCHTASSINADA", QStringLiteral("CHT Assinada"), 0);
    if (cht::platform::TColumn* signedColumn =
            g->columnByFieldName(QStringLiteral("IDCHTASSINADA")))
        signedColumn->setPickList({QStringLiteral("Não"), QStringLiteral("Sim")});
    addGridColumn(g, "IDCHTPGTOOK", QStringLiteral("Cliente OK"), 55);
    addGridColumn(g, "PROPOSTA", QStringLiteral("Proposta"), 89);
    addGridColumn(g, "DSREFEPROPOSFAS", QStringLiteral("Referência da Proposta"), 118);
    addGridColumn(g, "IDTIPOCOBRCONT", QStringLiteral("Cobrança"), 54);
    addGridColumn(g, "IDTIPOPROPFAS", QStringLiteral("Contrato"), 88);
    addGridColumn(g, "NMTIPOSERV", QStringLiteral("Tipo de Atividade"), 87);
    addGridColumn(g, "DSLOCALCONT", QStringLiteral("Desc. Local"), 68);
    addGridColumn(g, "DTINCLCHT", QStringLiteral("Data Geração"), 72);
    addGridColumn(g, "NRSEQUCHT", QStringLiteral("Nr.CHT"), 45);

    TDBGrid* c = dbgConsultaCsa;
    addGridColumn(c, "IDSITSERVPREST", QStringLiteral("Situação"), 59);
    addGridColumn(c, "IDASSINATURACLIENTE", QStringLiteral("Assinado"), 0);
    addGridColumn(c, "IDORIGINALENTREGUE", QStringLiteral("Entregue"), 48);
    addGridColumn(c, "NOMEFUNC", QStringLiteral("Funcionário"), 61);
    addGridColumn(c, "NOMECLIENTE", QStringLiteral("Cliente"), 62);
    addGridColumn(c, "NMINTCLIENTE", QStringLiteral("Interlocutor"), 61);
    addGridColumn(c, "DTSERVPREST", QStringLiteral("Data Serviço"), 70);
    addGridColumn(c, "QTHRTOTAL_AUX", QStringLiteral("Hrs.Serv.Prestado"), 91);
    addGridColumn(c, "QTHRDESLOCAMENTOFAT_AUX", QStringLiteral("Hrs.Desloc.Fat."), 78);
    addGridColumn(c, "QTHRNFATU_AUX", QStringLiteral("Hrs.Não Fat."), 67);
    addGridColumn(c, "QTHRAPROFATU_AUX", QStringLiteral("Hrs.Serv.Fat."), 67);
    addGridColumn(c, "QTHRAPRCOMIS_AUX", QStringLiteral("Hrs.Comissão"), 73);
    for (const char* hours : {"QTHRTOTAL_AUX", "QTHRDESLOCAMENTOFAT_AUX", "QTHRNFATU_AUX",
                              "QTHRAPROFATU_AUX", "QTHRAPRCOMIS_AUX"}) {
        cht::platform::TColumn* col = c->columnByFieldName(QString::fromLatin1(hours));
        col->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        col->setTitleAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    addGridColumn(c, "DTHRENTR1TUR", QStringLiteral("Entrada Trab."), 101);
    addGridColumn(c, "DTHRSAID1TUR", QStringLiteral("Saída Trab."), 93);
    addGridColumn(c, "DSREFERENCIA", QStringLiteral("Descrição"), 74);
    addGridColumn(c, "NMOPERINC", QStringLiteral("Inclusão"), 0);

    addGridColumn(dbgVencParcela, "DTVENCSERVCLIE", QString(), 0);
    addGridColumn(dbgVencParcela, "VRVENCSERVCLIE", QString(), 0);
}

void TfrmCancelaCHT::bindEvents()
{
    netCancelaCHT.ServerName = QStringLiteral("COT09800.rdmCancelaCHT");
    netCancelaCHT.ThrowException = false;
    netCancelaCHT.BeforeConnect = [this](cht::framework::TNetConnection& c) {
        netCancelaCHTBeforeConnect(c);
    };

    dtsPadrao.setDataSet(&cdsCancelaCHT);
    dtsConsultaCsa.setDataSet(&cdsConsultaCSA);
    dtsVencParcela.setDataSet(&cdsVencParcela);

    cdsCancelaCHT.beforeOpen = [this](TClientDataSet& d) { cdsCancelaCHTBeforeOpen(d); };
    cdsCancelaCHT.afterCancel = [this](TClientDataSet& d) { cdsCancelaCHTAfterCancel(d); };
    reattachListReactions();

    using namespace std::placeholders;
    cdsCancelaCHTIDCHTASSINADA->onGetText =
        std::bind(&TfrmCancelaCHT::cdsCancelaCHTIDCHTASSINADAGetText, this, _1, _2, _3);
    cdsCancelaCHTIDCHTASSINADA->onSetText =
        std::bind(&TfrmCancelaCHT::cdsCancelaCHTIDCHTASSINADASetText, this, _1, _2);
    cdsCancelaCHTIDTIPOPROPFAS->onGetText =
        std::bind(&TfrmCancelaCHT::cdsCancelaCHTIDTIPOPROPFASGetText, this, _1, _2, _3);
    cdsCancelaCHTIDTIPOCOBRCONT->onGetText =
        std::bind(&TfrmCancelaCHT::cdsCancelaCHTIDTIPOCOBRCONTGetText, this, _1, _2, _3);
    cdsConsultaCSAIDSITSERVPREST->onGetText =
        std::bind(&TfrmCancelaCHT::cdsConsultaCSAIDSITSERVPRESTGetText, this, _1, _2, _3);
    cdsConsultaCSAIDASSINATURACLIENTE->onGetText =
        std::bind(&TfrmCancelaCHT::cdsConsultaCSAIDASSINATURACLIENTEGetText, this, _1, _2, _3);
    cdsConsultaCSAIDORIGINALENTREGUE->onGetText =
        std::bind(&TfrmCancelaCHT::cdsConsultaCSAIDORIGINALENTREGUEGetText, this, _1, _2, _3);

    // UI entry points run through the dispatcher: what they raise reaches the error display once
    // and never crosses Qt's loop. Data-set events, field hooks and BeforeConnect run inside an
    // operation a handler started, and what they raise must stop that handler: bound plainly.
    using cht::framework::dispatched;
    using Handler = void (TfrmCancelaCHT::*)(QObject*);
    auto bindClick = [this](TButtonFlat* b, Handler h) {
        b->onClick = dispatched([this, h](QObject* s) { (this->*h)(s); });
    };
    bindClick(sbtFiltro, &TfrmCancelaCHT::sbtFiltroClick);
    bindClick(sbtConfirmaCHT, &TfrmCancelaCHT::sbtConfirmaCHTClick);
    bindClick(sbtNaoFaturar, &TfrmCancelaCHT::sbtNaoFaturarClick);
    bindClick(sbtCancelaCHT, &TfrmCancelaCHT::sbtCancelaCHTClick);
    bindClick(sbtJustificativa, &TfrmCancelaCHT::sbtJustificativaClick);
    bindClick(sbtVencimento, &TfrmCancelaCHT::sbtVencimentoClick);
    auto bindAction = [this](QAction* a, Handler h) {
        connect(a, &QAction::triggered, this, dispatched([this, a, h] { (this->*h)(a); }));
    };
    bindAction(mnuConfirmaCHT, &TfrmCancelaCHT::sbtConfirmaCHTClick);
    bindAction(mnuCancelaCHT, &TfrmCancelaCHT::sbtCancelaCHTClick);
    // The screen definition binds nothing to these two; an item with a shortcut that did
    // nothing would mislead the operator.
    bindAction(mnuNaoFaturar, &TfrmCancelaCHT::sbtNaoFaturarClick);
    bindAction(mnuJustificativa, &TfrmCancelaCHT::sbtJustificativaClick);
    bindAction(mnuVencimento, &TfrmCancelaCHT::mnuVencimentoClick);
    bindAction(Filtrar1, &TfrmCancelaCHT::sbtFiltroClick);

    pgcPadrao->onChange = dispatched([this](QObject* s) { pgcPadraoChange(s); });

    dbgPadrao->onCellClick =
        dispatched([this](cht::platform::TColumn& c) { dbgPadraoCellClick(c); });
    dbgPadrao->onTitleClick =
        dispatched([this](cht::platform::TColumn& c) { dbgPadraoTitleClick(c); });
    dbgPadrao->onColEnter = dispatched([this] { dbgPadraoColEnter(dbgPadrao); });
    dbgPadrao->onColExit = dispatched([this] { dbgPadraoColExit(dbgPadrao); });
    // Not the drawing: a box opened inside a paint would paint again; the grid reports what a
    // drawing raised once the paint is over.
    dbgPadrao->onDrawColumnCell =
        std::bind(&TfrmCancelaCHT::dbgPadraoDrawColumnCell, this, _1, _2, _3, _4, _5);
    dbgConsultaCsa->onDrawColumnCell =
        std::bind(&TfrmCancelaCHT::dbgConsultaCsaDrawColumnCell, this, _1, _2, _3, _4, _5);

    m_staleRepeats = new cht::platform::StaleRepeatFilter(dbgPadrao);
}
