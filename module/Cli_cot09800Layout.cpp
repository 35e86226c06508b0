// Definition of the CHT management screen: layout, captions, hints, shortcuts, fields, grid
// columns, message tables and the pictures of its buttons and images.
#include "module/Cli_cot09800.h"

#include "module/contracts/PageControl98.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDBNavigator.h"
#include "platform/widgets/TDBText.h"
#include "platform/wire/ChtListColumns.h"

#include <QAction>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
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

namespace {

const QColor kOlive(128, 128, 0);

QFont fonteRotulo(bool negrito)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(negrito);
    return f;
}

// --- the module's bitmaps: 16 x 16 (17 x 17 for the balls) on the olive key colour ----------

QImage fundoOliva(int lado)
{
    QImage img(lado, lado, QImage::Format_RGB32);
    img.fill(kOlive);
    return img;
}

// The 10 x 10 check box at pixels 2 to 11, dark top and left edge, a light-grey line one pixel
// to the right of and below it.
QImage caixa(const QColor& interior, bool marcada)
{
    QImage img = fundoOliva(16);
    const QColor cinzaClaro(192, 192, 192);
    for (int i = 2; i <= 11; ++i) {
        img.setPixelColor(i, 2, Qt::black);
        img.setPixelColor(2, i, Qt::black);
    }
    for (int x = 3; x <= 11; ++x)
        for (int y = 3; y <= 11; ++y)
            img.setPixelColor(x, y, interior);
    for (int i = 2; i <= 12; ++i) {
        img.setPixelColor(12, i, cinzaClaro);
        img.setPixelColor(i, 12, cinzaClaro);
    }
    if (marcada) {
        // A three-pixel-thick tick from (4, 6) down to (6, 8) and up to (10, 4).
        const int pontos[][2] = {{4, 6}, {5, 7}, {6, 8}, {7, 7}, {8, 6}, {9, 5}, {10, 4}};
        for (const auto& p : pontos)
            for (int d = 0; d < 3; ++d)
                img.setPixelColor(p[0], p[1] + d, Qt::black);
    }
    return img;
}

QImage marcaOk()
{
    QImage img = fundoOliva(16);
    QPainter p(&img);
    const QPolygon traco({QPoint(3, 8), QPoint(6, 11), QPoint(12, 4)});
    p.setPen(QPen(QColor(0, 0, 128), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolyline(traco.translated(1, 1));
    p.setPen(QPen(QColor(0, 128, 0), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolyline(traco);
    p.setPen(QPen(QColor(0, 255, 0), 1));
    p.drawPolyline(traco.translated(0, -1));
    return img;
}

QImage marcaNOk()
{
    QImage img = fundoOliva(16);
    QPainter p(&img);
    auto cruz = [&p](int dx, int dy) {
        p.drawLine(QPoint(4 + dx, 4 + dy), QPoint(11 + dx, 11 + dy));
        p.drawLine(QPoint(11 + dx, 4 + dy), QPoint(4 + dx, 11 + dy));
    };
    p.setPen(QPen(QColor(128, 128, 128), 3, Qt::SolidLine, Qt::SquareCap));
    cruz(1, 1);
    p.setPen(QPen(QColor(255, 0, 0), 3, Qt::SolidLine, Qt::SquareCap));
    cruz(0, 0);
    p.setPen(QPen(QColor(128, 0, 0), 1));
    cruz(0, 0);
    return img;
}

// A ball 13 pixels across with a black outline: upper-left face, centre tone, lower-right shade.
QImage bola(const QColor& face, const QColor& centro, const QColor& sombra)
{
    QImage img = fundoOliva(17);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect corpo(2, 2, 12, 12);
    QPainterPath circulo;
    circulo.addEllipse(corpo);
    p.setClipPath(circulo);
    p.fillRect(corpo, sombra);
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawEllipse(QRect(2, 2, 10, 10));
    p.setBrush(centro);
    p.drawEllipse(QRect(5, 5, 5, 5));
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(corpo);
    return img;
}

// The legend shows the balls with their key colour transparent.
QPixmap transparente(const QImage& img)
{
    QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixelColor(x, y) == kOlive)
                a.setPixelColor(x, y, Qt::transparent);
    return QPixmap::fromImage(a);
}

// --- button glyphs --------------------------------------------------------------------------

enum class Glifo { Filtro, Aprovar, NaoFaturar, Excluir, Justificativa, Vencimentos };

void folha(QPainter& p, const QColor& borda)
{
    p.setPen(QPen(borda, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 1.5, 9, 12));
}

QPixmap glifo(Glifo tipo, bool desabilitado)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    auto cor = [desabilitado](const QColor& c) { return desabilitado ? QColor(150, 150, 150) : c; };
    const QColor cinza = cor(QColor(90, 90, 90));
    switch (tipo) {
    case Glifo::Filtro: {
        // A funnel.
        const QPolygonF funil({QPointF(1.5, 2.5), QPointF(14.5, 2.5), QPointF(9.5, 8.5),
                               QPointF(9.5, 14.5), QPointF(6.5, 12.5), QPointF(6.5, 8.5)});
        p.setPen(QPen(cor(QColor(0, 60, 130)), 1));
        p.setBrush(cor(QColor(70, 140, 220)));
        p.drawPolygon(funil);
        break;
    }
    case Glifo::Aprovar:
        // A sheet with a green tick.
        folha(p, cinza);
        p.setPen(QPen(cor(QColor(0, 140, 0)), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(5, 9), QPointF(8, 12.5), QPointF(14.5, 4)}));
        break;
    case Glifo::NaoFaturar: {
        // A coin crossed out.
        p.setPen(QPen(cor(QColor(150, 110, 0)), 1));
        p.setBrush(cor(QColor(240, 200, 60)));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.setPen(cor(QColor(120, 80, 0)));
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("$"));
        p.setPen(QPen(cor(QColor(210, 0, 0)), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 13), QPointF(13, 3));
        break;
    }
    case Glifo::Excluir:
        // A sheet with a red cross.
        folha(p, cinza);
        p.setPen(QPen(cor(QColor(200, 0, 0)), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 7), QPointF(14, 14));
        p.drawLine(QPointF(14, 7), QPointF(7, 14));
        break;
    case Glifo::Justificativa:
        // A written sheet under a magnifying glass.
        folha(p, cinza);
        p.setPen(QPen(cinza, 1));
        for (int y = 4; y <= 10; y += 2)
            p.drawLine(QPointF(4, y + 0.5), QPointF(10, y + 0.5));
        p.setPen(QPen(cor(QColor(0, 70, 160)), 1.6));
        p.setBrush(QColor(255, 255, 255, 160));
        p.drawEllipse(QRectF(7.5, 6.5, 5.5, 5.5));
        p.setPen(QPen(cor(QColor(0, 70, 160)), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12.3, 11.3), QPointF(14.5, 13.8));
        break;
    case Glifo::Vencimentos:
        // A calendar page.
        p.setPen(QPen(cinza, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 12));
        p.setPen(Qt::NoPen);
        p.setBrush(cor(QColor(200, 30, 30)));
        p.drawRect(QRectF(2, 3, 12, 3));
        p.setBrush(cinza);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                p.drawRect(QRectF(3 + x * 3, 7.5 + y * 2.3, 1.6, 1.4));
        break;
    }
    return pm;
}

QIcon icone(Glifo tipo)
{
    QIcon i;
    i.addPixmap(glifo(tipo, false), QIcon::Normal);
    i.addPixmap(glifo(tipo, true), QIcon::Disabled);
    return i;
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

// Caption and visibility of a field already defined.
TField* exibe(TClientDataSet& cds, const char* nome, const QString& rotulo, bool oculto)
{
    TField& f = cds.fieldByName(QString::fromLatin1(nome));
    f.displayLabel = rotulo;
    f.visible = !oculto;
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
    // The list's fields as the server sends them; the screen gives them captions, hides some and
    // formats the amount.
    TClientDataSet& c = cdsCancelaCHT;
    for (const cht::wire::ChtListColumn& coluna : cht::wire::kChtListColumns)
        c.addField(QString::fromLatin1(coluna.name), coluna.type, static_cast<int>(coluna.size));
    cdsCancelaCHTIDCHECK = exibe(c, "IDCHECK", {}, true);
    cdsCancelaCHTIDSTATUSCHT = exibe(c, "IDSTATUSCHT", {}, true);
    cdsCancelaCHTDTINCLCHT = exibe(c, "DTINCLCHT", QStringLiteral("Data Geração"), false);
    cdsCancelaCHTNMFANTCLIE = exibe(c, "NMFANTCLIE", QStringLiteral("Cliente"), false);
    cdsCancelaCHTNMFUNC = exibe(c, "NMFUNC", QStringLiteral("Funcionário"), false);
    cdsCancelaCHTNMTIPOSERV = exibe(c, "NMTIPOSERV", QStringLiteral("Tipo de Atividade"), false);
    cdsCancelaCHTNRSEQUCHT = exibe(c, "NRSEQUCHT", QStringLiteral("Nr. CHT"), false);
    cdsCancelaCHTINICIOCSA = exibe(c, "INICIOCSA", QStringLiteral("CDA de"), false);
    cdsCancelaCHTFIMCSA = exibe(c, "FIMCSA", QStringLiteral("CDA até"), false);
    cdsCancelaCHTNRPROPOSFAS = exibe(c, "NRPROPOSFAS", QStringLiteral("Proposta"), false);
    cdsCancelaCHTNRVERPROPFAS = exibe(c, "NRVERPROPFAS", QStringLiteral("Versão"), false);
    cdsCancelaCHTNRINSJURCLIE = exibe(c, "NRINSJURCLIE", QStringLiteral("Inscrição"), true);
    cdsCancelaCHTCDCLIENTE = exibe(c, "CDCLIENTE", {}, true);
    cdsCancelaCHTCDFUNC = exibe(c, "CDFUNC", {}, true);
    cdsCancelaCHTCDTIPOSERV = exibe(c, "CDTIPOSERV", {}, true);
    cdsCancelaCHTNRSERVCONT = exibe(c, "NRSERVCONT", {}, true);
    cdsCancelaCHTNRLANCTONF = exibe(c, "NRLANCTONF", QStringLiteral("Nº Nota Fiscal"), true);
    cdsCancelaCHTNRINVOICE = exibe(c, "NRINVOICE", QStringLiteral("Invoice"), true);
    cdsCancelaCHTDSALTERACAOCHT = exibe(c, "DSALTERACAOCHT", {}, true);
    cdsCancelaCHTQTHRAPROFATUCHT = exibe(c, "QTHRAPROFATUCHT", {}, true);
    cdsCancelaCHTVRFATU = exibe(c, "VRFATU", {}, true);
    cdsCancelaCHTVRFATU->displayFormat = QStringLiteral("#,###,##0.00");
    cdsCancelaCHTCDEMPRESA = exibe(c, "CDEMPRESA", {}, true);
    cdsCancelaCHTIDCHTPGTOOK = exibe(c, "IDCHTPGTOOK", QStringLiteral("Cliente OK"), true);
    cdsCancelaCHTIDCHTASSINADA = exibe(c, "IDCHTASSINADA", QStringLiteral("CHT Assinada"), true);
    cdsCancelaCHTCDGERENTEIMPCLI = exibe(c, "CDGERENTEIMPCLI", {}, true);
    cdsCancelaCHTIDCDAOK = exibe(c, "IDCDAOK", QStringLiteral("CDA's OK"), true);
    cdsCancelaCHTDSLOCALCONT = exibe(c, "DSLOCALCONT", QStringLiteral("Desc. Local"), false);
    cdsCancelaCHTPROPOSTA = exibe(c, "PROPOSTA", QStringLiteral("Proposta"), false);
    cdsCancelaCHTDSREFEPROPOSFAS =
        exibe(c, "DSREFEPROPOSFAS", QStringLiteral("Referência da Proposta"), false);
    cdsCancelaCHTIDTIPOPROPFAS = exibe(c, "IDTIPOPROPFAS", QStringLiteral("Contrato"), false);
    cdsCancelaCHTIDTIPOCOBRCONT = exibe(c, "IDTIPOCOBRCONT", QStringLiteral("Cobrança"), false);
    cdsCancelaCHTIDTIPOCOBRSERV = exibe(c, "IDTIPOCOBRSERV", {}, true);

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
    auto botao = [this](const char* nome, int esquerda, const QString& dica, Glifo tipo) {
        auto* b = new TButtonFlat(panMenu);
        b->setObjectName(QString::fromLatin1(nome));
        b->setGeometry(esquerda, 4, 21, 21);
        b->SetHint(dica);
        b->setIcon(icone(tipo));
        b->setIconSize(QSize(16, 16));
        b->SetEnabled(false);
        b->show();
        return b;
    };
    sbtFiltro = botao("sbtFiltro", 181, QStringLiteral("Filtrar"), Glifo::Filtro);
    sbtFiltro->SetEnabled(true);
    sbtConfirmaCHT = botao("sbtConfirmaCHT", 216, QStringLiteral("Aprovar CHT"), Glifo::Aprovar);
    sbtNaoFaturar = botao("sbtNaoFaturar", 237, QStringLiteral("Marcar CHT para não faturar"),
                          Glifo::NaoFaturar);
    sbtCancelaCHT = botao("sbtCancelaCHT", 258, QStringLiteral("Excluir CHT"), Glifo::Excluir);
    sbtJustificativa = botao("sbtJustificativa", 294, QStringLiteral("Consultar Justificativa"),
                             Glifo::Justificativa);
    sbtVencimento =
        botao("sbtVencimento", 323, QStringLiteral("Consultar Vencimentos"), Glifo::Vencimentos);
    sbtVencimento->SetGroupIndex(1);
    sbtVencimento->SetAllowAllUp(true);

    sbtImprimir->move(352, sbtImprimir->y());
    sbtImprimir->SetEnabled(false);
    sbtAjuda->move(388, sbtAjuda->y());
    sbtFechar->move(424, sbtFechar->y());

    imgCheck = imagem(panMenu, "imgCheck", QPixmap::fromImage(caixa(Qt::white, true)), false);
    imgNoCheck = imagem(panMenu, "imgNoCheck", QPixmap::fromImage(caixa(Qt::white, false)), false);
    imgUnCheck = imagem(panMenu, "imgUnCheck",
                        QPixmap::fromImage(caixa(QColor(192, 192, 192), false)), false);
    imgOk = imagem(panMenu, "imgOk", QPixmap::fromImage(marcaOk()), false);
    imgNOk = imagem(panMenu, "imgNOk", QPixmap::fromImage(marcaNOk()), false);
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
        img = imagem(panCHT, nomeImg, transparente(figura), true);
        img->move(esquerda, 37);
        lbl = rotulo(nomeLbl, texto, esquerdaTexto, 39);
    };
    legenda(imgAmarelo, "imgAmarelo",
            bola(QColor(255, 255, 0), QColor(224, 224, 128), QColor(224, 192, 0)), 369, Label3,
            "Label3", QStringLiteral("Pendente"), 394);
    legenda(imgAzul, "imgAzul",
            bola(QColor(166, 202, 240), QColor(96, 160, 192), QColor(0, 96, 192)), 477,
            lblNaoAprovada, "lblNaoAprovada", QStringLiteral("Aprovada"), 503);
    legenda(imgVerde, "imgVerde", bola(QColor(96, 224, 0), QColor(0, 192, 0), QColor(96, 160, 0)),
            585, Label2, "Label2", QStringLiteral("Faturada"), 608);
    legenda(imgCinza, "imgCinza",
            bola(QColor(192, 192, 192), QColor(160, 160, 164), QColor(128, 128, 128)), 679, Label4,
            "Label4", QStringLiteral("Não faturar"), 705);

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

    // Every click runs through the dispatcher: what a handler raises reaches the error display.
    auto clique = [this](TButtonFlat* b, void (TfrmCancelaCHT::*h)(QObject*)) {
        b->onClick = [this, h](QObject* s) { Application::Dispatch([&] { (this->*h)(s); }); };
    };
    clique(sbtFiltro, &TfrmCancelaCHT::sbtFiltroClick);
    clique(sbtConfirmaCHT, &TfrmCancelaCHT::sbtConfirmaCHTClick);
    clique(sbtNaoFaturar, &TfrmCancelaCHT::sbtNaoFaturarClick);
    clique(sbtCancelaCHT, &TfrmCancelaCHT::sbtCancelaCHTClick);
    clique(sbtJustificativa, &TfrmCancelaCHT::sbtJustificativaClick);
    clique(sbtVencimento, &TfrmCancelaCHT::sbtVencimentoClick);
    auto escolha = [this](QAction* a, void (TfrmCancelaCHT::*h)(QObject*)) {
        connect(a, &QAction::triggered, this,
                [this, a, h] { Application::Dispatch([&] { (this->*h)(a); }); });
    };
    escolha(mnuConfirmaCHT, &TfrmCancelaCHT::sbtConfirmaCHTClick);
    escolha(mnuCancelaCHT, &TfrmCancelaCHT::sbtCancelaCHTClick);
    escolha(mnuVencimento, &TfrmCancelaCHT::mnuVencimentoClick);
    escolha(Filtrar1, &TfrmCancelaCHT::sbtFiltroClick);

    pgcPadrao->onChange = [this](QObject* s) { pgcPadraoChange(s); };

    dbgPadrao->onCellClick = [this](cht::platform::TColumn& c) { dbgPadraoCellClick(c); };
    dbgPadrao->onTitleClick = [this](cht::platform::TColumn& c) { dbgPadraoTitleClick(c); };
    dbgPadrao->onColEnter = [this] { dbgPadraoColEnter(dbgPadrao); };
    dbgPadrao->onColExit = [this] { dbgPadraoColExit(dbgPadrao); };
    dbgPadrao->onDrawColumnCell =
        std::bind(&TfrmCancelaCHT::dbgPadraoDrawColumnCell, this, _1, _2, _3, _4, _5);
    dbgConsultaCsa->onDrawColumnCell =
        std::bind(&TfrmCancelaCHT::dbgConsultaCsaDrawColumnCell, this, _1, _2, _3, _4, _5);
}
