// The page control of the base screens: tabs with a change event and SetActivePage.
#pragma once

#include "cht_framework_export.h"

#include <QTabWidget>

#include <functional>

namespace cht::framework {

class CHT_FRAMEWORK_EXPORT TCustomPageControl98 : public QTabWidget {
    Q_OBJECT
public:
    explicit TCustomPageControl98(QWidget* parent = nullptr);

    /// Selects a tab; runs onChange when the active tab changes, as an operator's click does.
    void SetActivePage(QWidget* page);
    QWidget* ActivePage() const { return currentWidget(); }
    /// Adds a tab page with its caption and returns it.
    QWidget* AddPage(const QString& objectName, const QString& caption);

    /// Runs after the active tab changed (through the dispatcher).
    std::function<void(QObject* sender)> onChange;
};

} // namespace cht::framework
