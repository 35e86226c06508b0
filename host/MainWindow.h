// The host's main window: the MDI frame the module's screens live in, and its menus.
#pragma once

#include "HostOptions.h"

#include <QMainWindow>

class QAction;
class QMdiArea;

namespace cht::host {

class ModuleLoader;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ModuleLoader& loader, const LoginValues& session, QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return m_mdi; }
    /// "Gerenciamento de CHT": enabled only when the module loaded.
    QAction* moduleAction() const { return m_openModule; }

    /// Reflects the loader's state in the menu and the status bar.
    void refreshModuleState();
    /// Runs the module's IniProc through the dispatcher: what it raises reaches the error display.
    void openModule();
    /// Closes every screen in the MDI area and lets Qt delete the ones that asked for it. True
    /// when none refused.
    bool closeScreens();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ModuleLoader& m_loader;
    QMdiArea* m_mdi;
    QAction* m_openModule;
};

} // namespace cht::host
