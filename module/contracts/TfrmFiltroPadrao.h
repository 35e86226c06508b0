// Base filter dialog: criteria group box, confirm and close buttons, and the saved-options store
// (name=value lines saved per screen and operator in the host's database).
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/Cvn_msg.h"
#include "module/contracts/Forms.h"
#include "platform/dataset/ClientDataSet.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStringList>
#include <QUrl>

namespace cht::platform {
class TButtonFlat;
}

namespace cht::framework {

class CHT_FRAMEWORK_EXPORT TfrmFiltroPadrao : public QDialog, public TCreatable {
    Q_OBJECT
public:
    explicit TfrmFiltroPadrao(QWidget* parent = nullptr);
    ~TfrmFiltroPadrao() override;

    QLabel* lblCodTela = nullptr;
    QGroupBox* grbFiltroPadrao = nullptr; // the screen lays its criteria inside
    QWidget* panMenu = nullptr;           // button column at the right
    QWidget* panBotoes = nullptr;
    cht::platform::TButtonFlat* sbtConfirma = nullptr;
    cht::platform::TButtonFlat* sbtFechar = nullptr; // closes without confirming (also Esc)
    cht::platform::TButtonFlat* btfOpcoes = nullptr; // opens ppmOpcoes
    TMessages msgPadrao;
    QMenu* ppmOpcoes = nullptr; // saved option sets: load one, save the current, delete
    QMenu* PopupMenu1 = nullptr;
    cht::platform::TClientDataSet cdsCarregaOpcoes; // the saved option sets of this screen

    /// The option list: "name=value" lines. The screen reads and writes its values; the base's
    /// load step fills it from the store, its save step persists it.
    QStringList Opcoes;
    /// The help page F1 shows (a resource URL); the base grid screens' page when not set.
    QUrl helpPage;
    QString OptionValue(const QString& name) const;
    void SetOptionValue(const QString& name, const QString& value);
    /// Key under which this screen's options are stored (defaults to lblCodTela's text).
    QString OptionsKey() const;

    void FormCreate() override;
    /// Runs each time the dialog is shown.
    virtual void FormActivate();
    /// The base frees the dialog; screens that keep theirs set caHide.
    virtual void FormClose(TCloseAction& action);
    virtual void sbtConfirmaClick(QObject* sender);
    /// Load step: restores the criteria from Opcoes (the set chosen in ppmOpcoes has already been
    /// read into it): the named check boxes, radio buttons and date editors of grbFiltroPadrao
    /// that the set holds, by object name ("S" or "N"; the date as typed).
    virtual void btfLoadOpcClick(QObject* sender);
    /// Save step: writes those criteria into Opcoes and persists it in the store under the chosen
    /// set name (asked for unless SaveOptions named it).
    virtual void btfSaveOpcClick(QObject* sender);

    /// What the options menu does, callable directly: read a saved set into Opcoes and run
    /// btfLoadOpcClick; run btfSaveOpcClick saving under `name`; delete a saved set.
    void LoadOptions(const QString& name);
    void SaveOptions(const QString& name);
    void DeleteOptions(const QString& name);
    /// Names of this screen's saved sets for the logged-in operator (also loaded into
    /// cdsCarregaOpcoes, field NMOPCAO).
    QStringList SavedOptionNames();
    /// Name of the set last loaded or saved.
    QString OptionSetName() const { return m_optionSetName; }

    /// Shows the dialog modally; returns its modal result.
    int ShowModal();
    /// Closes through FormClose (hide or free, as it decides).
    void Close();
    /// accept(), reject() and Esc end here: the close goes through FormClose.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fillOptionMenu(QMenu* menu, bool forDeletion);

    QString m_optionSetName;
    QString m_nameToSave;
    int m_result = 0;
};

} // namespace cht::framework
