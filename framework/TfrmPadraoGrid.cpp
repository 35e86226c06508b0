#include "module/contracts/TfrmPadraoGrid.h"

#include "framework/Glyphs.h"
#include "framework/HelpWindow.h"
#include "framework/ListSummary.h"
#include "framework/MessageBoxes.h"
#include "framework/ReportPreview.h"
#include "framework/RightAnchor.h"
#include "framework/ScreenFont.h"
#include "platform/dataset/ControlsDisabler.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDBNavigator.h"
#include "platform/widgets/TDBText.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>

namespace cht::framework {

using cht::platform::DataSetState;
using cht::platform::TButtonFlat;

// Keeps the totals line in step with the list: every load, edit, post and re-enabling of the
// controls recounts (a tick-all pass runs with the controls disabled and recounts once, at its
// end); moving from row to row changes nothing.
class TotalsLink : public cht::platform::DataLink {
public:
    explicit TotalsLink(TfrmPadraoGrid& screen) : m_screen(screen)
    {
        m_screen.dtsPadrao.addLink(this);
    }
    ~TotalsLink() override
    {
        if (m_source)
            m_screen.dtsPadrao.removeLink(this);
    }
    void dataSetChanged() override { recount(); }
    void recordChanged() override { recount(); }
    void dataSetScrolled() override {}
    void dataSourceDestroyed() override { m_source = false; }

    void recount()
    {
        const cht::platform::TClientDataSet* ds = m_screen.dtsPadrao.dataSet();
        m_screen.lblTotais->setText(ds ? totalsLine(*ds, m_screen.listDescription) : QString());
    }

private:
    TfrmPadraoGrid& m_screen;
    bool m_source = true;
};

namespace {

constexpr int kToolBarHeight = 29;
constexpr int kNavigatorHeight = 19;
constexpr int kButtonTop = 4;
constexpr int kButtonSize = 21;

TButtonFlat* toolButton(QWidget* bar, const char* name, Glyph glyph, const QString& hint, int left)
{
    auto* b = new TButtonFlat(bar);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(left, kButtonTop, kButtonSize, kButtonSize);
    b->setIcon(glyphIcon(glyph));
    b->setIconSize(QSize(16, 16));
    b->setToolTip(hint);
    return b;
}

QAction* menuItem(QMenu* menu, QWidget* owner, const char* name, const QString& caption,
                  const QKeySequence& shortcut, Glyph glyph)
{
    QAction* a = menu->addAction(glyphIcon(glyph), caption);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        // Bound to the screen, so that two open screens never make a shortcut ambiguous.
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        owner->addAction(a);
    }
    return a;
}

bool browsing(const cht::platform::TClientDataSet* ds)
{
    return ds && ds->state() == DataSetState::Browse;
}

bool editing(const cht::platform::TClientDataSet* ds)
{
    return ds && (ds->state() == DataSetState::Edit || ds->state() == DataSetState::Insert);
}

} // namespace

TfrmPadraoGrid::TfrmPadraoGrid(QWidget* parent) : QWidget(parent)
{
    applyScreenFont(*this);
    // Opaque: a control repainted on the screen does not have the window's frame and title
    // repainted behind it.
    setAutoFillBackground(true);
    resize(973, 439);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    mnuMenu = new QMenuBar(this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    mnuMenu->setNativeMenuBar(false);
    root->addWidget(mnuMenu);
    mnuOperacao = mnuMenu->addMenu(QStringLiteral("&Operação"));
    mnuOperacao->setObjectName(QStringLiteral("mnuOperacao"));
    mnuManutencao = mnuMenu->addMenu(QStringLiteral("&Manutenção"));
    mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));

    mnuIncluir = menuItem(mnuManutencao, this, "mnuIncluir", QStringLiteral("&Incluir"),
                          QKeySequence(Qt::Key_Insert), Glyph::Incluir);
    mnuAlterar = menuItem(mnuManutencao, this, "mnuAlterar", QStringLiteral("&Alterar"),
                          QKeySequence(Qt::Key_F2), Glyph::Alterar);
    mnuExcluir = menuItem(mnuManutencao, this, "mnuExcluir", QStringLiteral("E&xcluir"),
                          QKeySequence(Qt::CTRL | Qt::Key_Delete), Glyph::Excluir);
    mnuLocalizar = menuItem(mnuManutencao, this, "mnuLocalizar", QStringLiteral("Locali&zar"),
                            QKeySequence(Qt::CTRL | Qt::Key_F), Glyph::Localizar);
    mnuVerificar = menuItem(mnuManutencao, this, "mnuVerificar", QStringLiteral("&Verificar"),
                            QKeySequence(Qt::Key_F5), Glyph::Verificar);
    mnuManutencao->addSeparator();
    mnuGravar = menuItem(mnuManutencao, this, "mnuGravar", QStringLiteral("&Gravar"),
                         QKeySequence(Qt::CTRL | Qt::Key_G), Glyph::Confirmar);
    mnuCancelar = menuItem(mnuManutencao, this, "mnuCancelar", QStringLiteral("&Cancelar"),
                           QKeySequence(Qt::CTRL | Qt::Key_Backspace), Glyph::Cancelar);

    // The screen puts its own items before these.
    mnuImprimir = menuItem(mnuOperacao, this, "mnuImprimir", QStringLiteral("&Imprimir"),
                           QKeySequence(Qt::CTRL | Qt::Key_P), Glyph::Imprimir);
    mnuExportar = menuItem(mnuOperacao, this, "mnuExportar", QStringLiteral("E&xportar"),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), Glyph::Exportar);
    mnuAjuda = menuItem(mnuOperacao, this, "mnuAjuda", QStringLiteral("Aj&uda"),
                        QKeySequence(Qt::Key_F1), Glyph::Ajuda);
    mnuFechar = menuItem(mnuOperacao, this, "mnuFechar", QStringLiteral("&Fechar"), QKeySequence(),
                         Glyph::Fechar);

    panMenu = new QWidget(this);
    panMenu->setObjectName(QStringLiteral("panMenu"));
    panMenu->setFixedHeight(kToolBarHeight);
    root->addWidget(panMenu);
    // Standard buttons left of 181, where the screens place their own.
    sbtIncluir = toolButton(panMenu, "sbtIncluir", Glyph::Incluir, QStringLiteral("Incluir"), 2);
    sbtAlterar = toolButton(panMenu, "sbtAlterar", Glyph::Alterar, QStringLiteral("Alterar"), 23);
    sbtExcluir = toolButton(panMenu, "sbtExcluir", Glyph::Excluir, QStringLiteral("Excluir"), 44);
    sbtLocalizar =
        toolButton(panMenu, "sbtLocalizar", Glyph::Localizar, QStringLiteral("Localizar"), 68);
    sbtVerificar = toolButton(panMenu, "sbtVerificar", Glyph::Verificar,
                              QStringLiteral("Verificar (atualizar a lista)"), 89);
    sbtImprimir =
        toolButton(panMenu, "sbtImprimir", Glyph::Imprimir, QStringLiteral("Imprimir"), 113);
    sbtAjuda = toolButton(panMenu, "sbtAjuda", Glyph::Ajuda, QStringLiteral("Ajuda"), 134);
    sbtFechar = toolButton(panMenu, "sbtFechar", Glyph::Fechar, QStringLiteral("Fechar"), 155);
    // Print and export follow the list (the state rule): nothing to show before it loads.
    sbtImprimir->setEnabled(false);
    mnuImprimir->setEnabled(false);
    mnuExportar->setEnabled(false);

    lblCodTela = new QLabel(panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    lblCodTela->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCodTela->setGeometry(0, kButtonTop, 90, kButtonSize);
    QFont codeFont = lblCodTela->font();
    codeFont.setBold(true);
    lblCodTela->setFont(codeFont);
    new RightAnchor(lblCodTela, 6);

    pgcPadrao = new TCustomPageControl98(this);
    pgcPadrao->setObjectName(QStringLiteral("pgcPadrao"));
    root->addWidget(pgcPadrao, 1);
    tshPadrao = pgcPadrao->AddPage(QStringLiteral("tshPadrao"), QStringLiteral("Padrão"));
    auto* tabLayout = new QVBoxLayout(tshPadrao);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(0);
    dbgPadrao = new cht::platform::TDBGrid(tshPadrao);
    dbgPadrao->setObjectName(QStringLiteral("dbgPadrao"));
    dbgPadrao->setDataSource(&dtsPadrao);
    tabLayout->addWidget(dbgPadrao);

    panNavigator = new QWidget(this);
    panNavigator->setObjectName(QStringLiteral("panNavigator"));
    panNavigator->setFixedHeight(kNavigatorHeight);
    root->addWidget(panNavigator);
    auto* navLayout = new QHBoxLayout(panNavigator);
    navLayout->setContentsMargins(4, 0, 0, 0);
    navLayout->setSpacing(4);
    dbtNome = new cht::platform::TDBText(panNavigator);
    dbtNome->setObjectName(QStringLiteral("dbtNome"));
    dbtNome->setDataSource(&dtsPadrao);
    navLayout->addWidget(dbtNome, 1);
    lblTotais = new QLabel(panNavigator);
    lblTotais->setObjectName(QStringLiteral("lblTotais"));
    lblTotais->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    navLayout->addWidget(lblTotais);
    dbnPadrao = new cht::platform::TDBNavigator(panNavigator);
    dbnPadrao->setObjectName(QStringLiteral("dbnPadrao"));
    dbnPadrao->setDataSource(&dtsPadrao);
    dbnPadrao->setFixedHeight(kNavigatorHeight);
    navLayout->addWidget(dbnPadrao);

    msgMensagensPadroes.Lines = QStringList{QStringLiteral("Excl|Confirma exclusão?"),
                                            QStringLiteral("Canc|Cancelar operação?")};
    m_totals = std::make_unique<TotalsLink>(*this);
    bindCommands();
}

TfrmPadraoGrid::~TfrmPadraoGrid()
{
    m_totals.reset();
    // The widgets listen to dtsPadrao: they go before it does.
    const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children)
        delete child;
    dtsPadrao.onStateChange = nullptr;
}

void TfrmPadraoGrid::bindCommands()
{
    using Handler = void (TfrmPadraoGrid::*)(QObject*);
    auto bind = [this](TButtonFlat* button, QAction* action, Handler handler) {
        if (button)
            button->onClick = dispatched([this, handler](QObject* s) { (this->*handler)(s); });
        if (action)
            connect(action, &QAction::triggered, this,
                    dispatched([this, handler, action] { (this->*handler)(action); }));
    };
    bind(sbtIncluir, mnuIncluir, &TfrmPadraoGrid::sbtIncluirClick);
    bind(sbtAlterar, mnuAlterar, &TfrmPadraoGrid::sbtAlterarClick);
    bind(sbtExcluir, mnuExcluir, &TfrmPadraoGrid::sbtExcluirClick);
    bind(sbtLocalizar, mnuLocalizar, &TfrmPadraoGrid::sbtLocalizarClick);
    bind(sbtVerificar, mnuVerificar, &TfrmPadraoGrid::sbtVerificarClick);
    bind(nullptr, mnuGravar, &TfrmPadraoGrid::sbtGravarClick);
    bind(nullptr, mnuCancelar, &TfrmPadraoGrid::sbtCancelarClick);
    bind(sbtImprimir, mnuImprimir, &TfrmPadraoGrid::sbtImprimirClick);
    bind(nullptr, mnuExportar, &TfrmPadraoGrid::sbtExportarClick);
    bind(sbtAjuda, mnuAjuda, &TfrmPadraoGrid::sbtAjudaClick);
    sbtFechar->onClick = dispatched([this] { Close(); });
    connect(mnuFechar, &QAction::triggered, this, dispatched([this] { Close(); }));
    dbgPadrao->onKeyDown =
        dispatched([this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
            dbgPadraoKeyDown(sender, key, shift);
        });
    // A data-set event runs inside the operation that changed the state: what it raises stops
    // that operation's caller, not a dispatch of its own.
    dtsPadrao.onStateChange = [this](cht::platform::TDataSource& sender) {
        dtsPadraoStateChange(&sender);
    };
}

TButtonFlat* TfrmPadraoGrid::BaseActionButton(int n) const
{
    switch (n) {
    case 1:
        return sbtIncluir;
    case 2:
        return sbtAlterar;
    case 3:
        return sbtExcluir;
    case 4:
        return sbtLocalizar;
    case 5:
        return sbtVerificar;
    default:
        return nullptr;
    }
}

QAction* TfrmPadraoGrid::BaseActionMenu(int n) const
{
    switch (n) {
    case 1:
        return mnuIncluir;
    case 2:
        return mnuAlterar;
    case 3:
        return mnuExcluir;
    case 4:
        return mnuLocalizar;
    case 5:
        return mnuVerificar;
    default:
        return nullptr;
    }
}

QAction* TfrmPadraoGrid::BaseMenuItem(int n) const
{
    switch (n) {
    case 6:
        return mnuGravar;
    case 7:
        return mnuCancelar;
    default:
        return nullptr;
    }
}

void TfrmPadraoGrid::FormCreate()
{
    dtsPadraoStateChange(&dtsPadrao);
}

void TfrmPadraoGrid::FormActivate() {}

void TfrmPadraoGrid::FormClose(TCloseAction& action)
{
    action = TCloseAction::caFree;
}

void TfrmPadraoGrid::dtsPadraoStateChange(cht::platform::TDataSource* sender)
{
    const cht::platform::TClientDataSet* ds = sender ? sender->dataSet() : dtsPadrao.dataSet();
    const bool browse = browsing(ds);
    const bool rows = ds && !ds->isEmpty();
    const bool edit = editing(ds);
    auto set = [](TButtonFlat* button, QAction* action, bool enabled) {
        if (button)
            button->setEnabled(enabled);
        if (action)
            action->setEnabled(enabled);
    };
    set(sbtIncluir, mnuIncluir, browse);
    set(sbtAlterar, mnuAlterar, browse && rows);
    set(sbtExcluir, mnuExcluir, browse && rows);
    set(sbtLocalizar, mnuLocalizar, browse && rows);
    set(sbtVerificar, mnuVerificar, browse);
    set(nullptr, mnuGravar, edit);
    set(nullptr, mnuCancelar, edit);
    // Print and export: the list as it stands, so never halfway through an edit.
    set(sbtImprimir, mnuImprimir, browse && rows);
    set(nullptr, mnuExportar, browse && rows);
}

QString TfrmPadraoGrid::filterDescription() const
{
    return {};
}

void TfrmPadraoGrid::refreshTotals()
{
    m_totals->recount();
}

void TfrmPadraoGrid::dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift)
{
    if (shift != Qt::NoModifier)
        return;
    if (key == Qt::Key_F5 && sbtVerificar->Enabled()) {
        key = 0;
        sbtVerificarClick(sender);
    } else if (key == Qt::Key_Escape && editing(dtsPadrao.dataSet())) {
        key = 0;
        sbtCancelarClick(sender);
    }
}

void TfrmPadraoGrid::sbtAlterarClick(QObject*)
{
    cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (!browsing(ds) || ds->isEmpty())
        return;
    ds->edit();
    if (dbgPadrao->isEnabled())
        dbgPadrao->setFocus();
}

void TfrmPadraoGrid::sbtCancelarClick(QObject*)
{
    cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (editing(ds))
        ds->cancel();
}

void TfrmPadraoGrid::sbtVerificarClick(QObject*) {}

void TfrmPadraoGrid::sbtIncluirClick(QObject*)
{
    cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (!browsing(ds))
        return;
    ds->append();
    if (dbgPadrao->isEnabled())
        dbgPadrao->setFocus();
}

void TfrmPadraoGrid::sbtExcluirClick(QObject*)
{
    cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (!browsing(ds) || ds->isEmpty())
        return;
    QString key = QStringLiteral("Excl");
    TMessages table = msgMensagensPadroes;
    if (table.Msg(key).isEmpty())
        table.Lines << QStringLiteral("Excl|Confirma exclusão?");
    if (table.ShowMsg(key, TMsgDlgType::mtConfirmation, mbYes | mbNo, 0) == mrYes)
        ds->deleteRecord();
}

void TfrmPadraoGrid::sbtLocalizarClick(QObject*)
{
    cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (!browsing(ds) || ds->isEmpty())
        return;
    const auto text =
        askText(QStringLiteral("Localizar"), QStringLiteral("Texto a localizar:"), m_findText);
    if (!text || text->trimmed().isEmpty())
        return;
    m_findText = *text;
    const int count = ds->recordCount();
    const int start = ds->recNo();
    int found = 0;
    {
        // The controls refresh once, on the row found, before any message.
        const cht::platform::ControlsDisabler disabled(*ds);
        // From the row after the current one, round to the current one.
        for (int step = 1; step <= count && found == 0; ++step) {
            const int rec = (start - 1 + step) % count + 1;
            ds->setRecNo(rec);
            for (int f = 0; f < ds->fieldCount(); ++f) {
                const cht::platform::TField& field = ds->field(f);
                if (field.visible &&
                    field.displayText().contains(m_findText, Qt::CaseInsensitive)) {
                    found = rec;
                    break;
                }
            }
        }
        ds->setRecNo(found ? found : start);
    }
    if (!found)
        messageBox(QStringLiteral("info"), TMsgDlgType::mtInformation, QStringLiteral("Localizar"),
                   QStringLiteral("Texto \"%1\" não encontrado.").arg(m_findText), mbOK);
}

void TfrmPadraoGrid::sbtGravarClick(QObject*)
{
    cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (editing(ds))
        ds->post();
}

void TfrmPadraoGrid::sbtImprimirClick(QObject*)
{
    const cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (!browsing(ds) || ds->isEmpty())
        return;
    previewListReport(*this);
}

void TfrmPadraoGrid::sbtExportarClick(QObject*)
{
    const cht::platform::TClientDataSet* ds = dtsPadrao.dataSet();
    if (!browsing(ds) || ds->isEmpty())
        return;
    exportListCsv(*this);
}

void TfrmPadraoGrid::sbtAjudaClick(QObject*)
{
    HelpWindow::showPage(helpPage.isEmpty() ? HelpWindow::basePage() : helpPage, windowTitle());
}

void TfrmPadraoGrid::Show()
{
    if (QMdiArea* area = Application::MdiArea()) {
        const bool first = !m_subWindow;
        // A screen's design size is its own size when it was set; the MDI frame would otherwise
        // shrink it to its size hint.
        const QSize design = testAttribute(Qt::WA_Resized) ? size() : QSize();
        if (first) {
            m_subWindow = area->addSubWindow(this);
            // The close handler decides whether the window goes; Qt must not delete it first.
            m_subWindow->setAttribute(Qt::WA_DeleteOnClose, false);
            connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
                if (w && w == m_subWindow)
                    runFormActivate();
            });
        }
        m_subWindow->show();
        if (first && design.isValid()) {
            const QSize frame = m_subWindow->size() - size();
            m_subWindow->resize(design + frame);
        }
        area->setActiveSubWindow(m_subWindow);
    } else {
        show();
        raise();
        activateWindow();
    }
}

void TfrmPadraoGrid::SetWindowState(TWindowState state)
{
    QWidget* w = m_subWindow ? static_cast<QWidget*>(m_subWindow) : this;
    switch (state) {
    case TWindowState::wsNormal:
        w->showNormal();
        break;
    case TWindowState::wsMinimized:
        w->showMinimized();
        break;
    case TWindowState::wsMaximized:
        w->showMaximized();
        break;
    }
}

TWindowState TfrmPadraoGrid::WindowState() const
{
    const Qt::WindowStates s = m_subWindow ? m_subWindow->windowState() : windowState();
    if (s & Qt::WindowMinimized)
        return TWindowState::wsMinimized;
    if (s & Qt::WindowMaximized)
        return TWindowState::wsMaximized;
    return TWindowState::wsNormal;
}

void TfrmPadraoGrid::Close()
{
    if (m_subWindow)
        m_subWindow->close(); // asks this widget through closeEvent
    else
        QWidget::close();
}

void TfrmPadraoGrid::closeEvent(QCloseEvent* event)
{
    TCloseAction action = TCloseAction::caHide;
    if (!Application::TryDispatch([this, &action] { FormClose(action); })) {
        event->ignore();
        return;
    }
    switch (action) {
    case TCloseAction::caNone:
        event->ignore();
        return;
    case TCloseAction::caMinimize:
        event->ignore();
        SetWindowState(TWindowState::wsMinimized);
        return;
    case TCloseAction::caHide:
        event->accept();
        return;
    case TCloseAction::caFree:
        event->accept();
        if (m_subWindow)
            m_subWindow->deleteLater();
        deleteLater();
        return;
    }
}

void TfrmPadraoGrid::runFormActivate()
{
    Application::Dispatch([this] { FormActivate(); });
}

bool TfrmPadraoGrid::event(QEvent* event)
{
    // Inside the MDI area the area's activation signal covers window activation too.
    if (event->type() == QEvent::ActivationChange && !m_subWindow && isActiveWindow())
        runFormActivate();
    return QWidget::event(event);
}

} // namespace cht::framework
