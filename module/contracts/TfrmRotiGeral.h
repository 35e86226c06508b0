// Base routine dialog: a data group box, confirm and cancel buttons, freed when it closes.
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/Cvn_msg.h"
#include "module/contracts/Forms.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>

namespace cht::platform {
class TButtonFlat;
}

namespace cht::framework {

class CHT_FRAMEWORK_EXPORT TfrmRotiGeral : public QDialog, public TCreatable {
    Q_OBJECT
public:
    explicit TfrmRotiGeral(QWidget* parent = nullptr);
    ~TfrmRotiGeral() override;

    QLabel* lblCodTela = nullptr;
    QGroupBox* grbDadosRel = nullptr;
    QWidget* panMenu = nullptr; // button column at the right
    QWidget* panBotoes = nullptr;
    cht::platform::TButtonFlat* sbtConfirma = nullptr; // the control a screen enables by mode
    cht::platform::TButtonFlat* sbtCancel = nullptr;   // bound to sbtCancelClick (also Esc)
    TMessages msgPadrao;

    void FormCreate() override;
    /// Runs each time the dialog becomes active (its showing included).
    virtual void FormActivate();
    /// The base frees the dialog once events are processed.
    virtual void FormClose(TCloseAction& action);
    virtual void sbtConfirmaClick(QObject* sender);
    /// The base closes the dialog.
    virtual void sbtCancelClick(QObject* sender);

    int ShowModal();
    void Close();
    /// accept() closes through FormClose; reject() and Esc are the cancel button.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int m_result = 0;
    bool m_closing = false;
};

} // namespace cht::framework
