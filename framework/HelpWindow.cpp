#include "framework/HelpWindow.h"

#include "framework/MessageBoxes.h"

#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace cht::framework {

namespace {
QPointer<HelpWindow> s_window;
}

QUrl HelpWindow::basePage()
{
    return QUrl(QStringLiteral("qrc:/cht/help/padrao-grid.html"));
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAjuda"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 560);
    auto* layout = new QVBoxLayout(this);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("txbAjuda"));
    m_browser->setOpenExternalLinks(false);
    // Links between pages are relative: the page shown is read against the one before.
    connect(m_browser, &QTextBrowser::sourceChanged, this,
            [this](const QUrl& url) { m_page = m_page.resolved(url); });
    layout->addWidget(m_browser, 1);
    auto* close = new QPushButton(QStringLiteral("Fechar"), this);
    close->setObjectName(QStringLiteral("btnFechar"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    layout->addWidget(close, 0, Qt::AlignRight);
}

HelpWindow* HelpWindow::showPage(const QUrl& page, const QString& caption)
{
    QWidget* over = dialogParent();
    if (s_window && over == s_window)
        over = s_window->parentWidget();
    // Over a modal dialog the window must be that dialog's child, or it could not be used.
    if (s_window && s_window->parentWidget() != over) {
        s_window->close();
        delete s_window.data();
    }
    if (!s_window)
        s_window = new HelpWindow(over);
    s_window->setWindowTitle(QStringLiteral("Ajuda \u2014 %1").arg(caption));
    s_window->m_browser->setSource(page.isEmpty() ? basePage() : page);
    s_window->show();
    s_window->raise();
    s_window->activateWindow();
    return s_window;
}

HelpWindow* HelpWindow::current()
{
    return s_window;
}

QUrl HelpWindow::page() const
{
    return m_page;
}

} // namespace cht::framework
