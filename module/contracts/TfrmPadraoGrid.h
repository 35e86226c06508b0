// Base grid screen: a child window of the host's MDI area with a tool bar, a main menu, a page
// control whose first tab holds the grid, a navigator bar and the standard commands.
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/Cvn_msg.h"
#include "module/contracts/Forms.h"
#include "module/contracts/PageControl98.h"
#include "platform/dataset/DataSource.h"

#include <QAction>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QPair>
#include <QUrl>
#include <QWidget>

#include <memory>

class QMdiSubWindow;

namespace cht::platform {
class TDBGrid;
class TDBText;
class TDBNavigator;
class TButtonFlat;
} // namespace cht::platform

namespace cht::framework {

class TotalsLink;

/// What the base screen's report, export and totals line read of a screen's list, fields named
/// as the data set names them. A screen fills what applies; an empty name leaves that part out.
struct ListDescription {
    /// The rows in words, for the totals: "CHT", "CHTs"; feminine gives "listadas", "marcadas".
    QString itemName = QStringLiteral("registro");
    QString itemNamePlural = QStringLiteral("registros");
    bool feminine = false;
    /// The selection flag and the value that means ticked.
    QString tickField;
    QString tickedValue = QStringLiteral("S");
    /// The field the report's totals group by; its groups are named by its picture words.
    QString statusField;
    /// Hours ("H:MM" texts or numbers of hours) and money that the totals add up, and how the
    /// totals call them.
    QString hoursField;
    QString hoursCaption = QStringLiteral("Horas");
    QString valueField;
    QString valueCaption = QStringLiteral("Valor");
    /// Titles in the report and the export for columns whose grid title is a picture or a blank,
    /// by field name in upper case.
    QHash<QString, QString> titles;
    /// For the columns the screen paints as pictures (by field name in upper case), the word of
    /// each value, in order. The report has the grid's drawing handler paint these columns' cells
    /// (the others are text) and prints the status field's word beside its picture; the export
    /// writes the words.
    QHash<QString, QList<QPair<QString, QString>>> pictureWords;
};

class CHT_FRAMEWORK_EXPORT TfrmPadraoGrid : public QWidget, public TCreatable {
    Q_OBJECT
public:
    explicit TfrmPadraoGrid(QWidget* parent = nullptr);
    ~TfrmPadraoGrid() override;

    // --- controls (created by the constructor; a screen adds its own and moves them) ---
    QLabel* lblCodTela = nullptr;
    QWidget* panMenu = nullptr; // tool bar: buttons are placed at absolute left positions
    cht::platform::TButtonFlat* sbtAjuda = nullptr;
    cht::platform::TButtonFlat* sbtImprimir = nullptr;
    cht::platform::TButtonFlat* sbtFechar = nullptr;
    // The five standard commands, each a tool-bar button with a menu item under mnuManutencao:
    // 1 insert, 2 edit, 3 delete, 4 find, 5 verify (reload); and menu items 6 save, 7 cancel.
    cht::platform::TButtonFlat* sbtIncluir = nullptr;
    cht::platform::TButtonFlat* sbtAlterar = nullptr;
    cht::platform::TButtonFlat* sbtExcluir = nullptr;
    cht::platform::TButtonFlat* sbtLocalizar = nullptr;
    cht::platform::TButtonFlat* sbtVerificar = nullptr;
    QMenuBar* mnuMenu = nullptr;
    QMenu* mnuOperacao = nullptr;
    QMenu* mnuManutencao = nullptr;
    QAction* mnuIncluir = nullptr;
    QAction* mnuAlterar = nullptr;
    QAction* mnuExcluir = nullptr;
    QAction* mnuLocalizar = nullptr;
    QAction* mnuVerificar = nullptr;
    QAction* mnuGravar = nullptr;
    QAction* mnuCancelar = nullptr;
    QAction* mnuFechar = nullptr;
    QAction* mnuImprimir = nullptr; // base items of mnuOperacao, after the screen's own
    QAction* mnuExportar = nullptr;
    QAction* mnuAjuda = nullptr;
    TCustomPageControl98* pgcPadrao = nullptr;
    QWidget* tshPadrao = nullptr; // first tab; its QVBoxLayout holds dbgPadrao (movable)
    cht::platform::TDBGrid* dbgPadrao = nullptr;
    cht::platform::TDataSource dtsPadrao;
    QWidget* panNavigator = nullptr;
    cht::platform::TDBText* dbtNome = nullptr;
    cht::platform::TDBNavigator* dbnPadrao = nullptr;
    /// The totals line beside the navigator: rows listed and ticked, hours and money ticked.
    QLabel* lblTotais = nullptr;
    TMessages msgPadrao;
    TMessages msgMensagensPadroes;

    /// How the report, the export and the totals line read the list; the screen fills it.
    ListDescription listDescription;
    /// The help page F1 and "Ajuda" show (a resource URL); the base page when not set.
    QUrl helpPage;
    /// The list's filter in words, for the report's heading; empty in the base.
    virtual QString filterDescription() const;
    /// Recounts the totals line at once (it follows the list by itself; a screen that changes
    /// listDescription after the list loaded calls this).
    void refreshTotals();

    /// Button of standard command 1..5 and its menu item; menu items 6 (save) and 7 (cancel).
    cht::platform::TButtonFlat* BaseActionButton(int n) const;
    QAction* BaseActionMenu(int n) const;
    QAction* BaseMenuItem(int n) const;

    // --- handlers (bound by the base; a screen overrides and usually calls the base first) ---
    void FormCreate() override;
    /// Runs each time the screen becomes the active window.
    virtual void FormActivate();
    /// The base frees the screen (action caFree).
    virtual void FormClose(TCloseAction& action);
    /// The base's own command-state rule, from dtsPadrao's state.
    virtual void dtsPadraoStateChange(cht::platform::TDataSource* sender);
    /// Grid key handling (F5 reloads through the verify command, Esc cancels an edit).
    virtual void dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);
    /// Standard edit command: puts the data set of dtsPadrao into edit.
    virtual void sbtAlterarClick(QObject* sender);
    /// Standard cancel command: cancels a pending edit of dtsPadrao's data set.
    virtual void sbtCancelarClick(QObject* sender);
    /// Standard verify command; the base does nothing.
    virtual void sbtVerificarClick(QObject* sender);
    /// Standard insert command: appends a row to dtsPadrao's data set.
    virtual void sbtIncluirClick(QObject* sender);
    /// Standard delete command: asks msgMensagensPadroes' "Excl" and deletes the current row.
    virtual void sbtExcluirClick(QObject* sender);
    /// Standard find command: asks for a text and moves to the next row showing it.
    virtual void sbtLocalizarClick(QObject* sender);
    /// Save item: posts a pending edit of dtsPadrao's data set.
    virtual void sbtGravarClick(QObject* sender);
    /// Print command: a preview of the list's report, from which it prints or is saved as PDF.
    virtual void sbtImprimirClick(QObject* sender);
    /// Export command: writes the list's report columns to a CSV file the operator picks.
    virtual void sbtExportarClick(QObject* sender);
    /// Help command: the screen's help page in the help window.
    virtual void sbtAjudaClick(QObject* sender);

    // --- window ---
    /// Shows the screen as a child window of the host's MDI area (or top-level without one).
    void Show();
    void SetWindowState(TWindowState state);
    TWindowState WindowState() const;
    /// Asks the screen to close: FormClose decides (caFree frees it once events are processed).
    void Close();
    /// The MDI child window that frames the screen, if any.
    QMdiSubWindow* SubWindow() const { return m_subWindow; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void bindCommands();
    void runFormActivate();

    std::unique_ptr<TotalsLink> m_totals;
    QMdiSubWindow* m_subWindow = nullptr;
    QString m_findText;
};

} // namespace cht::framework
