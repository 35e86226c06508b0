// Definition of the CHT management screen: layout, captions, hints, shortcuts, fields, grid
// columns and message tables; the pictures come from Cli_cot09800Pictures.
#include "module/Cli_cot09800.h"

#include "module/Cli_cot09800Pictures.h"
#include "module/contracts/PageControl98.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TCanvas.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDBNavigator.h"
#include "platform/widgets/TDBText.h"

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

QFont fonteRotulo(bool negrito)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(negrito);
    return f;
}

QLabel* imagem(QWidget* pai, const char* nome, const QPixmap& figura, bool visivel)
{
    auto* l = new QLabel(pai);
    l->setObjectName(QString::fromLatin1(nome));
    l->setPixmap(figura);
    l->resize(figura.size());
    l->setVisible(visivel);
    return l;
}

QAction* separador(QWidget* dono, const char* nome)
{
    auto* a = new QAction(dono);
    a->setObjectName(QString::fromLatin1(nome));
    a->setSeparator(true);
    return a;
}

QAction* item(QWidget* dono, const char* nome, const QString& legenda, int tecla)
{
    auto* a = new QAction(legenda, dono);
    a->setObjectName(QString::fromLatin1(nome));
    a->setShortcut(QKeySequence(static_cast<int>(Qt::CTRL) | tecla));
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    dono->addAction(a);
    return a;
}

TField* texto(TClientDataSet& cds, const char* nome, int tamanho, const QString& rotulo,
              bool oculto)
{
    TField& f = cds.addField(QString::fromLatin1(nome), FieldType::Text, tamanho);
    f.displayLabel = rotulo;
    f.visible = !oculto;
    return &f;
}

TField* dataHora(TClientDataSet& cds, const char* nome, const QString& rotulo, bool oculto = false)
{
    TField& f = cds.addField(QString::fromLatin1(nome), FieldType::DateTime);
    f.displayLabel = rotulo;
    f.visible = !oculto;
    return &f;
}

TField* numero(TClientDataSet& cds, const char* nome, const QString& rotulo, bool oculto,
               const QString& formato)
{
    TField& f = cds.addField(QString::fromLatin1(nome), FieldType::Float);
    f.displayLabel = rotulo;
    f.visible = !oculto;
    f.displayFormat = formato;
    return &f;
}

void coluna(TDBGrid* grade, const char* campo, const QString& titulo, int largura)
{
    cht::platform::TColumn& c = grade->addColumn(QString::fromLatin1(campo));
    c.setTitle(titulo);
    if (largura > 0)
        c.setWidth(largura);
}

} // namespace

TfrmCancelaCHT::TfrmCancelaCHT(QWidget* parent) : TfrmPadraoGrid(parent)
{
    setObjectName(QStringLiteral("frmCancelaCHT"));
    setWindowTitle(QStringLiteral("Gerenciamento de CHT"));
    lblCodTela->setText(QStringLiteral("COT09800"));
    resize(973, 439);

    criaCampos();
    criaMensagens();
    criaBarraFerramentas();
    criaMenus();
    criaAbas();
    criaPainelCHT();
    criaColunas();
    ligaEventos();
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

void TfrmCancelaCHT::criaCampos()
{
    TClientDataSet& c = cdsCancelaCHT;
    cdsCancelaCHTIDCHECK = texto(c, "IDCHECK", 1, {}, true);
    cdsCancelaCHTIDSTATUSCHT = texto(c, "IDSTATUSCHT", 1, {}, true);
    cdsCancelaCHTDTINCLCHT = dataHora(c, "DTINCLCHT", QStringLiteral("Data Geração"));
    cdsCancelaCHTNMFANTCLIE = texto(c, "NMFANTCLIE", 50, QStringLiteral("Cliente"), false);
    cdsCancelaCHTNMFUNC = texto(c, "NMFUNC", 40, QStringLiteral("Funcionário"), false);
    cdsCancelaCHTNMTIPOSERV =
        texto(c, "NMTIPOSERV", 80, QStringLiteral("Tipo de Atividade"), false);
    cdsCancelaCHTNRSEQUCHT = texto(c, "NRSEQUCHT", 5, QStringLiteral("Nr. CHT"), false);
    cdsCancelaCHTINICIOCSA = dataHora(c, "INICIOCSA", QStringLiteral("CDA de"));
    cdsCancelaCHTFIMCSA = dataHora(c, "FIMCSA", QStringLiteral("CDA até"));
    cdsCancelaCHTNRPROPOSFAS = texto(c, "NRPROPOSFAS", 10, QStringLiteral("Proposta"), false);
    cdsCancelaCHTNRVERPROPFAS = texto(c, "NRVERPROPFAS", 2, QStringLiteral("Versão"), false);
    cdsCancelaCHTNRINSJURCLIE = texto(c, "NRINSJURCLIE", 20, QStringLiteral("Inscrição"), true);
    cdsCancelaCHTCDCLIENTE = texto(c, "CDCLIENTE", 21, {}, true);
    cdsCancelaCHTCDFUNC = texto(c, "CDFUNC", 10, {}, true);
    cdsCancelaCHTCDTIPOSERV = texto(c, "CDTIPOSERV", 3, {}, true);
    cdsCancelaCHTNRSERVCONT = texto(c, "NRSERVCONT", 3, {}, true);
    cdsCancelaCHTNRLANCTONF = texto(c, "NRLANCTONF", 10, QStringLiteral("Nº Nota Fiscal"), true);
    cdsCancelaCHTNRINVOICE = texto(c, "NRINVOICE", 10, QStringLiteral("Invoice"), true);
    cdsCancelaCHTDSALTERACAOCHT = texto(c, "DSALTERACAOCHT", 2000, {}, true);
    cdsCancelaCHTQTHRAPROFATUCHT = texto(c, "QTHRAPROFATUCHT", 44, {}, true);
    cdsCancelaCHTVRFATU = numero(c, "VRFATU", {}, true, QStringLiteral("#,###,##0.00"));
    cdsCancelaCHTCDEMPRESA = texto(c, "CDEMPRESA", 2, {}, true);
    cdsCancelaCHTIDCHTPGTOOK = texto(c, "IDCHTPGTOOK", 1, QStringLiteral("Cliente OK"), true);
    cdsCancelaCHTIDCHTASSINADA = texto(c, "IDCHTASSINADA", 1, QStringLiteral("CHT Assinada"), true);
    cdsCancelaCHTCDGERENTEIMPCLI = texto(c, "CDGERENTEIMPCLI", 12, {}, true);
    cdsCancelaCHTIDCDAOK = texto(c, "IDCDAOK", 1, QStringLiteral("CDA's OK"), true);
    cdsCancelaCHTDSLOCALCONT = texto(c, "DSLOCALCONT", 250, QStringLiteral("Desc. Local"), false);
    cdsCancelaCHTPROPOSTA = texto(c, "PROPOSTA", 23, QStringLiteral("Proposta"), false);
    cdsCancelaCHTDSREFEPROPOSFAS =
        texto(c, "DSREFEPROPOSFAS", 100, QStringLiteral("Referência da Proposta"), false);
    cdsCancelaCHTIDTIPOPROPFAS = texto(c, "IDTIPOPROPFAS", 1, QStringLiteral("Contrato"), false);
    cdsCancelaCHTIDTIPOCOBRCONT = texto(c, "IDTIPOCOBRCONT", 1, QStringLiteral("Cobrança"), false);
    cdsCancelaCHTIDTIPOCOBRSERV = texto(c, "IDTIPOCOBRSERV", 1, {}, true);

    cdsChaveNRPROPOSFAS = texto(cdsChave, "NRPROPOSFAS", 10, {}, true);
    cdsChaveNRVERPROPFAS = texto(cdsChave, "NRVERPROPFAS", 2, {}, true);
    cdsChaveCDTIPOSERV = texto(cdsChave, "CDTIPOSERV", 3, {}, true);
    cdsChaveNRSERVCONT = texto(cdsChave, "NRSERVCONT", 3, {}, true);
    cdsChaveNRSEQUCHT = texto(cdsChave, "NRSEQUCHT", 5, QStringLiteral("CHT"), false);
    cdsChaveCDFUNC = texto(cdsChave, "CDFUNC", 10, {}, true);

    cdsDataSYSDATE = dataHora(cdsData, "SYSDATE", {});

    TClientDataSet& d = cdsConsultaCSA;
    cdsConsultaCSAIDSITSERVPREST = texto(d, "IDSITSERVPREST", 1, QStringLiteral("Situação"), false);
    cdsConsultaCSANOMEFUNC = texto(d, "NOMEFUNC", 70, QStringLiteral("Funcionário"), false);
    cdsConsultaCSADSREFERENCIA = texto(d, "DSREFERENCIA", 50, QStringLiteral("Descrição"), false);
    cdsConsultaCSANOMECLIENTE = texto(d, "NOMECLIENTE", 75, QStringLiteral("Cliente"), false);
    cdsConsultaCSADTHRENTR1TUR = dataHora(d, "DTHRENTR1TUR", QStringLiteral("Entrada Trab."));
    cdsConsultaCSADTHRSAID1TUR = dataHora(d, "DTHRSAID1TUR", QStringLiteral("Saída Trab."));
    cdsConsultaCSANMINTCLIENTE =
        texto(d, "NMINTCLIENTE", 50, QStringLiteral("Interlocutor"), false);
    cdsConsultaCSAQTHRTOTAL_AUX =
        texto(d, "QTHRTOTAL_AUX", 4000, QStringLiteral("Hrs.Serv.Prestado"), false);
    cdsConsultaCSAQTHRDESLOCAMENTOFAT_AUX =
        texto(d, "QTHRDESLOCAMENTOFAT_AUX", 4000, QStringLiteral("Hrs.Desloc.Fat."), false);
    cdsConsultaCSAQTHRNFATU_AUX =
        texto(d, "QTHRNFATU_AUX", 4000, QStringLiteral("Hrs.Não Fat."), false);
    cdsConsultaCSAQTHRAPROFATU_AUX =
        texto(d, "QTHRAPROFATU_AUX", 4000, QStringLiteral("Hrs.Serv.Fat."), false);
    cdsConsultaCSAQTHRAPRCOMIS_AUX =
        texto(d, "QTHRAPRCOMIS_AUX", 4000, QStringLiteral("Hrs.Comissão"), false);
    cdsConsultaCSADTSERVPREST = dataHora(d, "DTSERVPREST", QStringLiteral("Data Serviço"));
    cdsConsultaCSANMOPERINC = texto(d, "NMOPERINC", 64, QStringLiteral("Inclusão"), false);
    cdsConsultaCSAIDASSINATURACLIENTE =
        texto(d, "IDASSINATURACLIENTE", 1, QStringLiteral("Assinatura"), false);
    cdsConsultaCSAIDORIGINALENTREGUE =
        texto(d, "IDORIGINALENTREGUE", 1, QStringLiteral("Entregue"), false);

    cdsVencParcelaDTVENCSERVCLIE =
        dataHora(cdsVencParcela, "DTVENCSERVCLIE", QStringLiteral("Data Vencimento"));
    cdsVencParcelaVRVENCSERVCLIE =
        numero(cdsVencParcela, "VRVENCSERVCLIE", QStringLiteral("Valor Parcela"), false,
               QStringLiteral("#,###,##0.00"));
}

void TfrmCancelaCHT::criaMensagens()
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

void TfrmCancelaCHT::criaBarraFerramentas()
{
    auto botao = [this](const char* nome, int esquerda, const QString& dica, ButtonGlyph tipo) {
        auto* b = new TButtonFlat(panMenu);
        b->setObjectName(QString::fromLatin1(nome));
        b->setGeometry(esquerda, 4, 21, 21);
        b->SetHint(dica);
        b->setIcon(pictures::buttonIcon(tipo));
        b->setIconSize(QSize(16, 16));
        b->SetEnabled(false);
        b->show();
        return b;
    };
    sbtFiltro = botao("sbtFiltro", 181, QStringLiteral("Filtrar"), ButtonGlyph::Filter);
    sbtFiltro->SetEnabled(true);
    sbtConfirmaCHT =
        botao("sbtConfirmaCHT", 216, QStringLiteral("Aprovar CHT"), ButtonGlyph::Approve);
    sbtNaoFaturar = botao("sbtNaoFaturar", 237, QStringLiteral("Marcar CHT para não faturar"),
                          ButtonGlyph::NotBill);
    sbtCancelaCHT = botao("sbtCancelaCHT", 258, QStringLiteral("Excluir CHT"), ButtonGlyph::Delete);
    sbtJustificativa = botao("sbtJustificativa", 294, QStringLiteral("Consultar Justificativa"),
                             ButtonGlyph::Justification);
    sbtVencimento =
        botao("sbtVencimento", 323, QStringLiteral("Consultar Vencimentos"), ButtonGlyph::DueDates);
    sbtVencimento->SetGroupIndex(1);
    sbtVencimento->SetAllowAllUp(true);

    sbtImprimir->move(352, sbtImprimir->y());
    sbtImprimir->SetEnabled(false);
    sbtAjuda->move(388, sbtAjuda->y());
    sbtFechar->move(424, sbtFechar->y());

    imgCheck =
        imagem(panMenu, "imgCheck", QPixmap::fromImage(pictures::checkBox(Qt::white, true)), false);
    imgNoCheck = imagem(panMenu, "imgNoCheck",
                        QPixmap::fromImage(pictures::checkBox(Qt::white, false)), false);
    imgUnCheck =
        imagem(panMenu, "imgUnCheck",
               QPixmap::fromImage(pictures::checkBox(QColor(192, 192, 192), false)), false);
    imgOk = imagem(panMenu, "imgOk", QPixmap::fromImage(pictures::okMark()), false);
    imgNOk = imagem(panMenu, "imgNOk", QPixmap::fromImage(pictures::notOkMark()), false);
}

void TfrmCancelaCHT::criaMenus()
{
    mnuConfirmaCHT = item(this, "mnuConfirmaCHT", QStringLiteral("C&onfirmar CHT"), Qt::Key_O);
    mnuNaoFaturar = item(this, "mnuNaoFaturar", QStringLiteral("&Não Faturar"), Qt::Key_N);
    mnuCancelaCHT = item(this, "mnuCancelaCHT", QStringLiteral("C&ancelar CHT"), Qt::Key_A);
    mnuLinha = separador(this, "mnuLinha");
    mnuJustificativa =
        item(this, "mnuJustificativa", QStringLiteral("Consultar &Justificativa"), Qt::Key_J);
    mnuVencimento =
        item(this, "mnuVencimento", QStringLiteral("Consultar V&encimentos"), Qt::Key_E);
    N1 = separador(this, "N1");
    // Ours go at the top of the operations menu, before the base screen's own items.
    QAction* primeiroDaBase = mnuOperacao->actions().value(0, nullptr);
    for (QAction* a : {mnuConfirmaCHT, mnuNaoFaturar, mnuCancelaCHT, mnuLinha, mnuJustificativa,
                       mnuVencimento, N1})
        mnuOperacao->insertAction(primeiroDaBase, a);

    // And after the base screen's own items of the maintenance menu.
    N2 = separador(this, "N2");
    Filtrar1 = item(this, "Filtrar1", QStringLiteral("&Filtrar"), Qt::Key_L);
    mnuManutencao->addAction(N2);
    mnuManutencao->addAction(Filtrar1);

    for (QAction* a :
         {mnuConfirmaCHT, mnuNaoFaturar, mnuCancelaCHT, mnuJustificativa, mnuVencimento})
        a->setEnabled(false);
}

void TfrmCancelaCHT::criaAbas()
{
    pgcPadrao->setTabText(pgcPadrao->indexOf(tshPadrao), QStringLiteral("CHT"));
    QLayout* abaCHT = tshPadrao->layout();
    if (abaCHT == nullptr) {
        abaCHT = new QVBoxLayout(tshPadrao);
        abaCHT->setContentsMargins(0, 0, 0, 0);
    }
    panDbgPadrao = new QWidget(tshPadrao);
    panDbgPadrao->setObjectName(QStringLiteral("panDbgPadrao"));
    abaCHT->addWidget(panDbgPadrao);
    auto* pilha = new QVBoxLayout(panDbgPadrao);
    pilha->setContentsMargins(0, 0, 0, 0);
    pilha->setSpacing(0);

    scbFolhaDados = new QScrollArea;
    scbFolhaDados->setObjectName(QStringLiteral("scbFolhaDados"));
    scbFolhaDados->setFrameShape(QFrame::NoFrame);
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
    pilha->addWidget(Splitter1, 1);

    panCHT = new QWidget(panDbgPadrao);
    panCHT->setObjectName(QStringLiteral("panCHT"));
    panCHT->setFixedHeight(56);
    pilha->addWidget(panCHT);

    tshCSA = pgcPadrao->AddPage(QStringLiteral("tshCSA"), QStringLiteral("CDA"));
    auto* abaCDA = new QVBoxLayout(tshCSA);
    abaCDA->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QWidget(tshCSA);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    abaCDA->addWidget(Panel1);
    auto* painel = new QVBoxLayout(Panel1);
    painel->setContentsMargins(0, 0, 0, 0);
    ScrollBox1 = new QScrollArea(Panel1);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    painel->addWidget(ScrollBox1);
    dbgConsultaCsa = new TDBGrid;
    dbgConsultaCsa->setObjectName(QStringLiteral("dbgConsultaCsa"));
    dbgConsultaCsa->setDataSource(&dtsConsultaCsa);
    dbgConsultaCsa->setReadOnly(true);
    dbgConsultaCsa->setFrameShape(QFrame::NoFrame);
    dbgConsultaCsa->setColor(palette().color(QPalette::ToolTipBase));
    dbgConsultaCsa->setTitleFont(fonteRotulo(false));
    dbgConsultaCsa->setOptions(cht::platform::dgTitles | cht::platform::dgColumnResize |
                               cht::platform::dgColLines | cht::platform::dgRowLines |
                               cht::platform::dgTabs | cht::platform::dgAlwaysShowSelection |
                               cht::platform::dgConfirmDelete | cht::platform::dgCancelOnExit);
    ScrollBox1->setWidget(dbgConsultaCsa);
}

void TfrmCancelaCHT::criaPainelCHT()
{
    auto rotulo = [this](const char* nome, const QString& legenda, int esquerda, int topo) {
        auto* l = new QLabel(legenda, panCHT);
        l->setObjectName(QString::fromLatin1(nome));
        l->setFont(fonteRotulo(true));
        l->move(esquerda, topo);
        l->adjustSize();
        return l;
    };
    auto valor = [this](const char* nome, const char* campo, int esquerda, int topo) {
        auto* t = new TDBText(panCHT);
        t->setObjectName(QString::fromLatin1(nome));
        t->setDataSource(&dtsPadrao);
        t->setDataField(QString::fromLatin1(campo));
        t->setGeometry(esquerda, topo, 150, 14);
        return t;
    };
    lblHrNormal = rotulo("lblHrNormal", QStringLiteral("Hora Faturada "), 8, 4);
    dbtHrNormal = valor("dbtHrNormal", "QTHRAPROFATUCHT", 104, 4);
    lblValorFaturar = rotulo("lblValorFaturar", QStringLiteral("Valor a Faturar"), 8, 20);
    dbtVrFaturar = valor("dbtVrFaturar", "VRFATU", 104, 20);
    lblNotaFisc = rotulo("lblNotaFisc", QStringLiteral("Nº Nota Fiscal"), 369, 4);
    dbtNotaFiscal = valor("dbtNotaFiscal", "NRLANCTONF", 460, 4);
    lblInvoice = rotulo("lblInvoice", QStringLiteral("Invoice"), 369, 20);
    dbtInvoice = valor("dbtInvoice", "NRINVOICE", 460, 20);

    auto legenda = [this, &rotulo](QLabel*& img, const char* nomeImg, const QImage& figura,
                                   int esquerda, QLabel*& lbl, const char* nomeLbl,
                                   const QString& texto, int esquerdaTexto) {
        img = imagem(panCHT, nomeImg, QPixmap::fromImage(cht::platform::withKeyTransparent(figura)),
                     true);
        img->move(esquerda, 37);
        lbl = rotulo(nomeLbl, texto, esquerdaTexto, 39);
    };
    legenda(imgAmarelo, "imgAmarelo", pictures::statusBall(Ball::Yellow), 369, Label3, "Label3",
            QStringLiteral("Pendente"), 394);
    legenda(imgAzul, "imgAzul", pictures::statusBall(Ball::Blue), 477, lblNaoAprovada,
            "lblNaoAprovada", QStringLiteral("Aprovada"), 503);
    legenda(imgVerde, "imgVerde", pictures::statusBall(Ball::Green), 585, Label2, "Label2",
            QStringLiteral("Faturada"), 608);
    legenda(imgCinza, "imgCinza", pictures::statusBall(Ball::Grey), 679, Label4, "Label4",
            QStringLiteral("Não faturar"), 705);

    dbtNome->setDataField(QStringLiteral("NMFANTCLIE"));
}

void TfrmCancelaCHT::criaColunas()
{
    TDBGrid* g = dbgPadrao;
    g->setOptions(cht::platform::dgTitles | cht::platform::dgColumnResize |
                  cht::platform::dgColLines | cht::platform::dgRowLines | cht::platform::dgTabs |
                  cht::platform::dgAlwaysShowSelection | cht::platform::dgConfirmDelete |
                  cht::platform::dgCancelOnExit);
    coluna(g, "IDCHECK", QStringLiteral("4"), 18);
    if (cht::platform::TColumn* tick = g->columnByFieldName(QStringLiteral("IDCHECK")))
        tick->setTitleFont(fonteRotulo(false));
    coluna(g, "IDSTATUSCHT", QStringLiteral(" "), 18);
    coluna(g, "NMFANTCLIE", QStringLiteral("Cliente"), 66);
    coluna(g, "NMFUNC", QStringLiteral("Funcionário"), 65);
    coluna(g, "INICIOCSA", QStringLiteral("CDA de"), 62);
    coluna(g, "FIMCSA", QStringLiteral("CDA até"), 68);
    coluna(g, "IDCDAOK", QStringLiteral("CDA's OK"), 0);
    coluna(g, "IDCHTASSINADA", QStringLiteral("CHT Assinada"), 0);
    if (cht::platform::TColumn* assinada = g->columnByFieldName(QStringLiteral("IDCHTASSINADA")))
        assinada->setPickList({QStringLiteral("Não"), QStringLiteral("Sim")});
    coluna(g, "IDCHTPGTOOK", QStringLiteral("Cliente OK"), 55);
    coluna(g, "PROPOSTA", QStringLiteral("Proposta"), 89);
    coluna(g, "DSREFEPROPOSFAS", QStringLiteral("Referência da Proposta"), 118);
    coluna(g, "IDTIPOCOBRCONT", QStringLiteral("Cobrança"), 54);
    coluna(g, "IDTIPOPROPFAS", QStringLiteral("Contrato"), 88);
    coluna(g, "NMTIPOSERV", QStringLiteral("Tipo de Atividade"), 87);
    coluna(g, "DSLOCALCONT", QStringLiteral("Desc. Local"), 68);
    coluna(g, "DTINCLCHT", QStringLiteral("Data Geração"), 72);
    coluna(g, "NRSEQUCHT", QStringLiteral("Nr.CHT"), 45);

    TDBGrid* c = dbgConsultaCsa;
    coluna(c, "IDSITSERVPREST", QStringLiteral("Situação"), 59);
    coluna(c, "IDASSINATURACLIENTE", QStringLiteral("Assinado"), 0);
    coluna(c, "IDORIGINALENTREGUE", QStringLiteral("Entregue"), 48);
    coluna(c, "NOMEFUNC", QStringLiteral("Funcionário"), 61);
    coluna(c, "NOMECLIENTE", QStringLiteral("Cliente"), 62);
    coluna(c, "NMINTCLIENTE", QStringLiteral("Interlocutor"), 61);
    coluna(c, "DTSERVPREST", QStringLiteral("Data Serviço"), 70);
    coluna(c, "QTHRTOTAL_AUX", QStringLiteral("Hrs.Serv.Prestado"), 91);
    coluna(c, "QTHRDESLOCAMENTOFAT_AUX", QStringLiteral("Hrs.Desloc.Fat."), 78);
    coluna(c, "QTHRNFATU_AUX", QStringLiteral("Hrs.Não Fat."), 67);
    coluna(c, "QTHRAPROFATU_AUX", QStringLiteral("Hrs.Serv.Fat."), 67);
    coluna(c, "QTHRAPRCOMIS_AUX", QStringLiteral("Hrs.Comissão"), 73);
    for (const char* horas : {"QTHRTOTAL_AUX", "QTHRDESLOCAMENTOFAT_AUX", "QTHRNFATU_AUX",
                              "QTHRAPROFATU_AUX", "QTHRAPRCOMIS_AUX"}) {
        cht::platform::TColumn* col = c->columnByFieldName(QString::fromLatin1(horas));
        col->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        col->setTitleAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    coluna(c, "DTHRENTR1TUR", QStringLiteral("Entrada Trab."), 101);
    coluna(c, "DTHRSAID1TUR", QStringLiteral("Saída Trab."), 93);
    coluna(c, "DSREFERENCIA", QStringLiteral("Descrição"), 74);
    coluna(c, "NMOPERINC", QStringLiteral("Inclusão"), 0);

    coluna(dbgVencParcela, "DTVENCSERVCLIE", {}, 0);
    coluna(dbgVencParcela, "VRVENCSERVCLIE", {}, 0);
}

void TfrmCancelaCHT::ligaEventos()
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
    ReanexaReacoes();

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
    auto clique = [this](TButtonFlat* b, Handler h) {
        b->onClick = dispatched([this, h](QObject* s) { (this->*h)(s); });
    };
    clique(sbtFiltro, &TfrmCancelaCHT::sbtFiltroClick);
    clique(sbtConfirmaCHT, &TfrmCancelaCHT::sbtConfirmaCHTClick);
    clique(sbtNaoFaturar, &TfrmCancelaCHT::sbtNaoFaturarClick);
    clique(sbtCancelaCHT, &TfrmCancelaCHT::sbtCancelaCHTClick);
    clique(sbtJustificativa, &TfrmCancelaCHT::sbtJustificativaClick);
    clique(sbtVencimento, &TfrmCancelaCHT::sbtVencimentoClick);
    auto escolha = [this](QAction* a, Handler h) {
        connect(a, &QAction::triggered, this, dispatched([this, a, h] { (this->*h)(a); }));
    };
    escolha(mnuConfirmaCHT, &TfrmCancelaCHT::sbtConfirmaCHTClick);
    escolha(mnuCancelaCHT, &TfrmCancelaCHT::sbtCancelaCHTClick);
    escolha(mnuVencimento, &TfrmCancelaCHT::mnuVencimentoClick);
    escolha(Filtrar1, &TfrmCancelaCHT::sbtFiltroClick);

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
}
