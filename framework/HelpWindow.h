// The help window: one window that shows the help page of the screen the operator was on (HTML
// in the resources), with links between pages.
#pragma once

#include "cht_framework_export.h"

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace cht::framework {

class CHT_FRAMEWORK_EXPORT HelpWindow : public QDialog {
    Q_OBJECT
public:
    /// The base grid screen's page, for screens without one of their own.
    static QUrl basePage();
    /// Shows `page` with `caption` in the title, over the active window (a modal dialog
    /// included, so that it can be read while that is open); the window is made once and reused.
    static HelpWindow* showPage(const QUrl& page, const QString& caption);
    /// The window, while there is one.
    static HelpWindow* current();

    QTextBrowser* browser() const { return m_browser; }
    /// The page shown (the last one opened or followed).
    QUrl page() const;

private:
    explicit HelpWindow(QWidget* parent);
    QTextBrowser* m_browser = nullptr;
    QUrl m_page;
};

} // namespace cht::framework
