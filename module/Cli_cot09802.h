// Unit Cli_cot09802: the justification entry screen, its module state and its factory.
#pragma once

#include "cht_module_export.h"
#include "module/contracts/Forms.h"
#include "module/contracts/TfrmRotiGeral.h"

class QPlainTextEdit;

/// The modal justification of the not-billing marking: entered into, or read from, the current
/// CHT's DSALTERACAOCHT. Freed each time it closes.
class CHT_MODULE_EXPORT TfrmDescAlter : public cht::framework::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmDescAlter(QWidget* parent = nullptr);
    ~TfrmDescAlter() override;

    QPlainTextEdit* rceDescAlter = nullptr;

    void FormActivate() override;
    void FormClose(cht::framework::TCloseAction& action) override;
    void sbtConfirmaClick(QObject* sender) override;
    void sbtCancelClick(QObject* sender) override;

private:
    void createLayout();
};

namespace Cli_cot09802 {

/// The dialog shown now; null when none exists.
CHT_MODULE_EXPORT extern TfrmDescAlter* frmDescAlter;
/// True while a dialog exists; the factory tests it.
CHT_MODULE_EXPORT extern bool boIdCriado;

/// Shows the justification modally (for entry or reading, by Cli_cot09800::boEdit) and returns
/// when it has closed.
CHT_MODULE_EXPORT void CriaDescAlter();

/// Unit start and stop, counted: only the first start and the matching last stop do the work.
CHT_MODULE_EXPORT void Initialization();
CHT_MODULE_EXPORT void Finalization();

} // namespace Cli_cot09802
