// Screen definition of the CHT filter: layout, captions, hints, initial states and the message
// table.
#include "module/Cli_cot09801.h"

#include "platform/dataset/Field.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDateEditPlus.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>

#include <tuple>

namespace {

// Magnifying glass of the lookup buttons.
QIcon searchIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    p.setPen(QPen(QColor(96, 64, 0), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
    return QIcon(pm);
}

QGroupBox* groupBox(QWidget* parent, const char* name, const QString& title, const QRect& r)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QLatin1String(name));
    // Bold titles only: the type selector leaves the controls inside in the normal weight.
    g->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"));
    g->setGeometry(r);
    return g;
}

template <class W>
W* control(QWidget* parent, const char* name, const QString& text, const QRect& r)
{
    auto* w = new W(text, parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(r);
    return w;
}

cht::platform::TButtonFlat* searchButton(QWidget* parent, const char* name, const QRect& r)
{
    auto* b = new cht::platform::TButtonFlat(parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(QStringLiteral("Pesquisar"));
    b->setIcon(searchIcon());
    b->setGeometry(r);
    b->setEnabled(false);
    return b;
}

cht::platform::TDateEditPlus* dateEditor(QWidget* parent, const char* name, const QRect& r)
{
    auto* d = new cht::platform::TDateEditPlus(parent);
    d->setObjectName(QLatin1String(name));
    d->setGeometry(r);
    QPalette pal = d->palette();
    pal.setColor(QPalette::Base, QColor(255, 255, 225)); // the system's tooltip background
    d->setPalette(pal);
    d->setValidColors(true);
    d->setValidColor(Qt::blue);
    d->SetSaveTime(false);
    d->setWeekDayNames({QStringLiteral("Domingo"), QStringLiteral("Segunda"),
                        QStringLiteral("Terça"), QStringLiteral("Quarta"), QStringLiteral("Quinta"),
                        QStringLiteral("Sexta"), QStringLiteral("Sábado")});
    return d;
}

// The group of a "Todos" or "Lista" choice with the lookup button of the list, "Todos" selected;
// its controls are named grb, rbtT, rbtL and btp followed by `suffix`.
std::tuple<QGroupBox*, QRadioButton*, QRadioButton*, cht::platform::TButtonFlat*>
allOrList(QWidget* area, const char* suffix, const QString& title, const QRect& r, int searchLeft)
{
    const auto name = [suffix](const char* prefix) { return QByteArray(prefix) + suffix; };
    QGroupBox* group = groupBox(area, name("grb").constData(), title, r);
    auto* all = control<QRadioButton>(group, name("rbtT").constData(), QStringLiteral("Todos"),
                                      {10, 20, 70, 18});
    auto* list = control<QRadioButton>(group, name("rbtL").constData(), QStringLiteral("Lista"),
                                       {10, 41, 70, 18});
    auto* search = searchButton(group, name("btp").constData(), {searchLeft, 37, 23, 22});
    all->setChecked(true);
    return {group, all, list, search};
}

// A text field of a lookup query, labelled when it is shown.
cht::platform::TField* lookupField(cht::framework::TADOIBQuery& query, const char* name, int size,
                                   const QString& label, bool visible)
{
    cht::platform::TField& f =
        query.addField(QLatin1String(name), cht::wire::FieldType::Text, size);
    f.displayLabel = label;
    f.visible = visible;
    return &f;
}

} // namespace

void TfrmFiltroCancCHT::createLookups()
{
    qryCliente.SQL = QStringList{
        QStringLiteral("SELECT"),
        QStringLiteral("   C.CDCLIENTE, C.NRINSJURCLIE, C.NMFANTCLIE, C.IDTPIJURCLIE, "
                       "C.NMRAZSOCCLIE"),
        QStringLiteral("FROM"),
        QStringLiteral("   CLIENTE C"),
        QStringLiteral("ORDER BY"),
        QStringLiteral("   C.NRINSJURCLIE"),
        QStringLiteral(" "),
    };
    qryClienteCDCLIENTE = lookupField(qryCliente, "CDCLIENTE", 21, {}, false);
    qryClienteNRINSJURCLIE =
        lookupField(qryCliente, "NRINSJURCLIE", 25, QStringLiteral("Inscrição"), true);
    qryClienteNMFANTCLIE =
        lookupField(qryCliente, "NMFANTCLIE", 50, QStringLiteral("Nome Fantasia"), true);
    qryClienteIDTPIJURCLIE = lookupField(qryCliente, "IDTPIJURCLIE", 1, {}, false);
    qryClienteNMRAZSOCCLIE =
        lookupField(qryCliente, "NMRAZSOCCLIE", 50, QStringLiteral("Razão Social"), true);
    dtsCliente.setDataSet(&qryCliente);

    qryFunc.SQL = QStringList{
        QStringLiteral("SELECT"),   QStringLiteral("   CDFUNC, NMFUNC"),
        QStringLiteral("FROM"),     QStringLiteral("   FUNCIONARIO"),
        QStringLiteral("ORDER BY"), QStringLiteral("   CDFUNC"),
    };
    qryFuncCDFUNC = lookupField(qryFunc, "CDFUNC", 10, QStringLiteral("Código"), true);
    qryFuncCDFUNC->displayWidth = 15;
    qryFuncNMFUNC = lookupField(qryFunc, "NMFUNC", 40, QStringLiteral("Nome"), true);
    dtsFunc.setDataSet(&qryFunc);
}

void TfrmFiltroCancCHT::createLayout()
{
    setObjectName(QStringLiteral("frmFiltroCancCHT"));
    setWindowTitle(QStringLiteral("Filtro de Gerenciamento de CHT"));
    lblCodTela->setText(QStringLiteral("COT09801"));
    helpPage = QUrl(QStringLiteral("qrc:/cht/help/COT09801.html"));

    msgPadrao.Lines = {
        QStringLiteral("cli_inf|Cliente deve ser informado."),
        QStringLiteral("func_inf|Funcionário deve ser informado."),
        QStringLiteral("DtCHTIni_inf|Data inicial de geração da CHTdeve ser informada."),
        QStringLiteral("DtCHTFin_inf|Data final de geração da CHT deve ser informada."),
        QStringLiteral("DtCHT_inv|Data de geração da CHT inválida. Data inicial deve ser menor ou "
                       "igual à data final."),
        QStringLiteral("Cliente|Cliente"),
        QStringLiteral("cli_nc|Não há cliente cadastrado."),
        QStringLiteral("Func|Funcionário"),
        QStringLiteral("func_nc|Não há funcionário cadastrado."),
        QStringLiteral("Sit_Inf|Situação deve ser informada."),
    };

    QWidget* area = grbFiltroPadrao;
    area->setMinimumSize(289, 168);

    std::tie(grbCliente, rbtTCliente, rbtLCliente, btpCliente) =
        allOrList(area, "Cliente", QStringLiteral("Cliente"), {4, 2, 156, 66}, 120);
    std::tie(grbFunc, rbtTFunc, rbtLFunc, btpFunc) =
        allOrList(area, "Func", QStringLiteral("Funcionário"), {165, 2, 120, 66}, 88);

    grbDataCHT =
        groupBox(area, "grbDataCHT", QStringLiteral("Data Geração da CHT"), {4, 72, 156, 94});
    lblDe = control<QLabel>(grbDataCHT, "lblDe", QStringLiteral("de"), {8, 27, 24, 18});
    depCHTIni = dateEditor(grbDataCHT, "depCHTIni", {36, 24, 104, 24});
    lblAte = control<QLabel>(grbDataCHT, "lblAte", QStringLiteral("até"), {8, 61, 24, 18});
    depCHTFin = dateEditor(grbDataCHT, "depCHTFin", {36, 58, 104, 24});

    grbSituacao =
        groupBox(area, "grbSituacao", QStringLiteral("Situação da CHT"), {165, 72, 120, 94});
    chbPendente = control<QCheckBox>(grbSituacao, "chbPendente", QStringLiteral("Pendente"),
                                     {10, 20, 104, 17});
    chbAprovada = control<QCheckBox>(grbSituacao, "chbAprovada", QStringLiteral("Aprovada"),
                                     {10, 37, 104, 17});
    chbRealizada = control<QCheckBox>(grbSituacao, "chbRealizada", QStringLiteral("Faturada"),
                                      {10, 54, 104, 17});
    chbNFaturada = control<QCheckBox>(grbSituacao, "chbNFaturada", QStringLiteral("Não Faturar"),
                                      {10, 71, 104, 17});
    chbPendente->setChecked(true);

    // Tab order: Cliente, Funcionário, Data Geração da CHT, Situação da CHT.
    setTabOrder(rbtTCliente, rbtLCliente);
    setTabOrder(rbtLCliente, btpCliente);
    setTabOrder(btpCliente, rbtTFunc);
    setTabOrder(rbtTFunc, rbtLFunc);
    setTabOrder(rbtLFunc, btpFunc);
    setTabOrder(btpFunc, depCHTIni);
    setTabOrder(depCHTIni, depCHTFin);
    setTabOrder(depCHTFin, chbPendente);
    setTabOrder(chbPendente, chbAprovada);
    setTabOrder(chbAprovada, chbRealizada);
    setTabOrder(chbRealizada, chbNFaturada);

    resize(395, 176);
    createLookups();
}
