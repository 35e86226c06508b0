#include "module/contracts/PageControl98.h"

#include "module/contracts/Forms.h"

namespace cht::framework {

TCustomPageControl98::TCustomPageControl98(QWidget* parent) : QTabWidget(parent)
{
    connect(
        this, &QTabWidget::currentChanged, this,
        [this](int) {
            if (onChange)
                Application::Dispatch([this] { onChange(this); });
        });
}

void TCustomPageControl98::SetActivePage(QWidget* page)
{
    if (page && indexOf(page) >= 0)
        setCurrentWidget(page);
}

QWidget* TCustomPageControl98::AddPage(const QString& objectName, const QString& caption)
{
    auto* page = new QWidget(this);
    page->setObjectName(objectName);
    addTab(page, caption);
    return page;
}

} // namespace cht::framework
