#include "MainWindow.h"

#include "ModuleLoader.h"
#include "module/contracts/Forms.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>

namespace cht::host {

MainWindow::MainWindow(ModuleLoader& loader, const LoginValues& session, QWidget* parent)
    : QMainWindow(parent), m_loader(loader), m_mdi(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Corvanta — Gerenciamento"));
    m_mdi->setObjectName(QStringLiteral("mdiPrincipal"));
    m_mdi->setBackground(QColor(0x5a, 0x6e, 0x82));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);

    QMenu* modules = menuBar()->addMenu(QStringLiteral("&Módulos"));
    modules->setObjectName(QStringLiteral("mnuModulos"));
    m_openModule =
        modules->addAction(QStringLiteral("Gerenciamento de &CHT"), this, &MainWindow::openModule);
    m_openModule->setObjectName(QStringLiteral("mnuGerenciamentoCHT"));
    modules->addSeparator();
    QAction* quit = modules->addAction(QStringLiteral("&Sair"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("mnuSair"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Janela"));
    window->setObjectName(QStringLiteral("mnuJanela"));
    window->addAction(QStringLiteral("&Cascata"), m_mdi, &QMdiArea::cascadeSubWindows)
        ->setObjectName(QStringLiteral("mnuCascata"));
    window->addAction(QStringLiteral("&Lado a lado"), m_mdi, &QMdiArea::tileSubWindows)
        ->setObjectName(QStringLiteral("mnuLadoALado"));
    window->addSeparator();
    window->addAction(QStringLiteral("&Fechar todas"), this, [this] { closeScreens(); })
        ->setObjectName(QStringLiteral("mnuFecharTodas"));

    const QString database =
        session.database.isEmpty() ? QStringLiteral("(nenhum)") : session.database;
    statusBar()->addWidget(new QLabel(QStringLiteral("Operador: %1").arg(session.operador)));
    statusBar()->addWidget(
        new QLabel(QStringLiteral("Servidor: %1:%2").arg(session.server).arg(session.port)));
    statusBar()->addWidget(new QLabel(QStringLiteral("Banco: %1").arg(database)));

    resize(1200, 800);
    refreshModuleState();
}

void MainWindow::refreshModuleState()
{
    m_openModule->setEnabled(m_loader.loaded());
    m_openModule->setStatusTip(m_loader.loaded() ? QStringLiteral("Abre o Gerenciamento de CHT.")
                                                 : m_loader.errorText());
}

void MainWindow::openModule()
{
    if (!m_loader.loaded())
        return;
    cht::framework::Application::Dispatch([this] { m_loader.iniProc(); });
}

bool MainWindow::closeScreens()
{
    m_mdi->closeAllSubWindows();
    // The screens free themselves with deleteLater; let that happen before anyone asks.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return m_mdi->subWindowList().isEmpty();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closeScreens())
        event->accept();
    else
        event->ignore();
}

} // namespace cht::host
