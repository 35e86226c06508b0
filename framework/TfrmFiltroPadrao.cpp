#include "module/contracts/TfrmFiltroPadrao.h"

#include "framework/DialogClose.h"
#include "framework/DialogFrame.h"
#include "framework/Glyphs.h"
#include "framework/HelpWindow.h"
#include "framework/MessageBoxes.h"
#include "framework/OptionStore.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Corvanta.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDateEditPlus.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include <optional>

namespace cht::framework {

using cht::platform::TButtonFlat;
using cht::platform::TDateEditPlus;

namespace {

// The criteria whose state an option set keeps: the named check boxes, radio buttons and date
// editors of the criteria area.
template <class W> QList<W*> criteria(QWidget* area)
{
    QList<W*> named;
    for (W* w : area->findChildren<W*>())
        if (!w->objectName().isEmpty())
            named << w;
    return named;
}

std::optional<QString> optionLine(const QStringList& options, const QString& name)
{
    const QString prefix = name + QLatin1Char('=');
    for (const QString& line : options)
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return std::nullopt;
}

} // namespace

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget* parent) : QDialog(parent)
{
    DialogFrameLook look;
    look.rootMargin = 4;
    look.rootSpacing = 4;
    look.codeAlignment = Qt::AlignRight | Qt::AlignVCenter;
    const DialogFrame frame = buildDialogFrame(*this, "grbFiltroPadrao", look);
    grbFiltroPadrao = frame.body;
    panMenu = frame.panMenu;
    lblCodTela = frame.lblCodTela;
    panBotoes = frame.panBotoes;
    sbtConfirma = columnButton(panBotoes, "sbtConfirma", QStringLiteral("Confirmar"),
                               QStringLiteral("Confirmar (Enter)"), Glyph::Confirmar, 96);
    sbtFechar = columnButton(panBotoes, "sbtFechar", QStringLiteral("Fechar"),
                             QStringLiteral("Fechar sem confirmar (Esc)"), Glyph::Fechar, 96);
    btfOpcoes = columnButton(panBotoes, "btfOpcoes", QStringLiteral("Opções"),
                             QStringLiteral("Opções salvas"), Glyph::Opcoes, 96);
    frame.buttons->addWidget(sbtConfirma);
    frame.buttons->addWidget(sbtFechar);
    frame.buttons->addWidget(btfOpcoes);

    ppmOpcoes = new QMenu(this);
    ppmOpcoes->setObjectName(QStringLiteral("ppmOpcoes"));
    QMenu* loadMenu = ppmOpcoes->addMenu(QStringLiteral("Carregar opções"));
    loadMenu->setObjectName(QStringLiteral("mnuCarregarOpcoes"));
    QAction* saveAction = ppmOpcoes->addAction(QStringLiteral("Salvar opções..."));
    saveAction->setObjectName(QStringLiteral("mnuSalvarOpcoes"));
    QMenu* deleteMenu = ppmOpcoes->addMenu(QStringLiteral("Excluir opções"));
    deleteMenu->setObjectName(QStringLiteral("mnuExcluirOpcoes"));
    connect(
        loadMenu, &QMenu::aboutToShow, this, [this, loadMenu] { fillOptionMenu(loadMenu, false); });
    connect(
        deleteMenu, &QMenu::aboutToShow, this,
        [this, deleteMenu] { fillOptionMenu(deleteMenu, true); });
    connect(saveAction, &QAction::triggered, this,
            dispatched([this, saveAction] { btfSaveOpcClick(saveAction); }));
    btfOpcoes->setMenu(ppmOpcoes);
    btfOpcoes->setPopupMode(QToolButton::InstantPopup);

    // The same entries on a right click over the criteria.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addActions(ppmOpcoes->actions());
    grbFiltroPadrao->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grbFiltroPadrao, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(grbFiltroPadrao->mapToGlobal(pos)); });

    cdsCarregaOpcoes.addField(QStringLiteral("NMOPCAO"), cht::wire::FieldType::Text, 60)
        .displayLabel = QStringLiteral("Opção");

    sbtConfirma->onClick = dispatched([this](QObject* sender) { sbtConfirmaClick(sender); });
    sbtFechar->onClick = dispatched([this] {
        m_result = QDialog::Rejected;
        Close();
    });
}

TfrmFiltroPadrao::~TfrmFiltroPadrao() = default;

void TfrmFiltroPadrao::fillOptionMenu(QMenu* menu, bool forDeletion)
{
    menu->clear();
    QStringList names;
    if (!Application::TryDispatch([this, &names] { names = SavedOptionNames(); })) {
        menu->addAction(QStringLiteral("(opções indisponíveis)"))->setEnabled(false);
        return;
    }
    if (names.isEmpty()) {
        menu->addAction(QStringLiteral("(nenhuma opção salva)"))->setEnabled(false);
        return;
    }
    for (const QString& name : names) {
        QAction* a = menu->addAction(name);
        connect(a, &QAction::triggered, this, dispatched([this, name, forDeletion] {
                    if (!forDeletion) {
                        LoadOptions(name);
                        return;
                    }
                    if (messageBox(QStringLiteral("message"), TMsgDlgType::mtConfirmation,
                                   QStringLiteral("Excluir opções"),
                                   QStringLiteral("Excluir as opções \"%1\"?").arg(name),
                                   mbYes | mbNo) == mrYes)
                        DeleteOptions(name);
                }));
    }
}

QString TfrmFiltroPadrao::OptionValue(const QString& name) const
{
    return optionLine(Opcoes, name).value_or(QString());
}

void TfrmFiltroPadrao::SetOptionValue(const QString& name, const QString& value)
{
    // One line per name: a value never carries a line break.
    QString flat = value;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QString prefix = name + QLatin1Char('=');
    for (QString& line : Opcoes) {
        if (line.startsWith(prefix)) {
            line = prefix + flat;
            return;
        }
    }
    Opcoes << prefix + flat;
}

QString TfrmFiltroPadrao::OptionsKey() const
{
    const QString code = lblCodTela->text().trimmed();
    if (!code.isEmpty())
        return code;
    return objectName().isEmpty() ? QString::fromLatin1(metaObject()->className()) : objectName();
}

QStringList TfrmFiltroPadrao::SavedOptionNames()
{
    const QStringList names = OptionStore::names(OptionsKey(), Corvanta::Operador());
    cht::wire::ColumnTable table({{"NMOPCAO", cht::wire::FieldType::Text, 60}});
    for (const QString& name : names)
        table.setText(table.appendRow(), 0, name.toStdString());
    cdsCarregaOpcoes.loadFromPacket(std::move(table));
    return names;
}

void TfrmFiltroPadrao::LoadOptions(const QString& name)
{
    const auto lines = OptionStore::load(OptionsKey(), Corvanta::Operador(), name);
    if (!lines)
        MensErro(QStringLiteral("As opções \"%1\" não estão mais salvas.").arg(name));
    Opcoes = *lines;
    m_optionSetName = name;
    btfLoadOpcClick(nullptr);
}

void TfrmFiltroPadrao::SaveOptions(const QString& name)
{
    m_nameToSave = name;
    try {
        btfSaveOpcClick(nullptr);
    } catch (...) {
        m_nameToSave.clear();
        throw;
    }
    m_nameToSave.clear();
}

void TfrmFiltroPadrao::DeleteOptions(const QString& name)
{
    OptionStore::remove(OptionsKey(), Corvanta::Operador(), name);
    if (m_optionSetName == name)
        m_optionSetName.clear();
}

void TfrmFiltroPadrao::FormCreate() {}

void TfrmFiltroPadrao::FormActivate() {}

void TfrmFiltroPadrao::FormClose(TCloseAction& action)
{
    action = TCloseAction::caFree;
}

void TfrmFiltroPadrao::sbtConfirmaClick(QObject*)
{
    m_result = QDialog::Accepted;
    Close();
}

void TfrmFiltroPadrao::btfLoadOpcClick(QObject*)
{
    // Only what the set holds changes; a radio button is selected, never cleared, so that its
    // group's reaction runs as for a click.
    const QString on = QStringLiteral("S");
    for (QCheckBox* b : criteria<QCheckBox>(grbFiltroPadrao))
        if (const auto v = optionLine(Opcoes, b->objectName()))
            b->setChecked(*v == on);
    for (QRadioButton* b : criteria<QRadioButton>(grbFiltroPadrao))
        if (optionLine(Opcoes, b->objectName()) == on)
            b->setChecked(true);
    for (TDateEditPlus* d : criteria<TDateEditPlus>(grbFiltroPadrao))
        if (const auto v = optionLine(Opcoes, d->objectName()))
            d->setText(*v);
    update();
}

void TfrmFiltroPadrao::btfSaveOpcClick(QObject*)
{
    QString name = m_nameToSave;
    if (name.isEmpty()) {
        const auto asked = askText(QStringLiteral("Salvar opções"),
                                   QStringLiteral("Nome das opções:"), m_optionSetName);
        if (!asked)
            return;
        name = *asked;
    }
    name = name.trimmed();
    if (name.isEmpty())
        MensErro(QStringLiteral("O nome das opções deve ser informado."));
    const QString on = QStringLiteral("S");
    const QString off = QStringLiteral("N");
    for (QCheckBox* b : criteria<QCheckBox>(grbFiltroPadrao))
        SetOptionValue(b->objectName(), b->isChecked() ? on : off);
    for (QRadioButton* b : criteria<QRadioButton>(grbFiltroPadrao))
        SetOptionValue(b->objectName(), b->isChecked() ? on : off);
    for (TDateEditPlus* d : criteria<TDateEditPlus>(grbFiltroPadrao))
        SetOptionValue(d->objectName(), d->typedText());
    OptionStore::save(OptionsKey(), Corvanta::Operador(), name, Opcoes);
    m_optionSetName = name;
}

int TfrmFiltroPadrao::ShowModal()
{
    m_result = QDialog::Rejected;
    return exec() == QDialog::Accepted ? mrOk : mrCancel;
}

void TfrmFiltroPadrao::Close()
{
    QWidget::close();
}

void TfrmFiltroPadrao::done(int result)
{
    m_result = result;
    QWidget::close();
}

void TfrmFiltroPadrao::closeEvent(QCloseEvent* event)
{
    const int result = m_result;
    m_result = QDialog::Rejected;
    closeDialog(*this, *event, result, [this](TCloseAction& action) { FormClose(action); });
}

void TfrmFiltroPadrao::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Application::Dispatch([this] { FormActivate(); });
}

void TfrmFiltroPadrao::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        QWidget* focus = focusWidget();
        if (!qobject_cast<QTextEdit*>(focus) && !qobject_cast<QPlainTextEdit*>(focus)) {
            sbtConfirma->click();
            event->accept();
            return;
        }
    }
    if (plain && key == Qt::Key_Escape) {
        sbtFechar->click();
        event->accept();
        return;
    }
    if (plain && key == Qt::Key_F1) {
        Application::Dispatch([this] { HelpWindow::showPage(helpPage, windowTitle()); });
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace cht::framework
