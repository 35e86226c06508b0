#include "platform/widgets/TDBNavigator.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/widgets/DataSourceLink.h"
#include "platform/widgets/TWidgetErrors.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace cht::platform {
namespace {

struct ButtonDef {
    const char* hint;
    QStyle::StandardPixmap icon;
};

const ButtonDef kButtons[TDBNavigator::kButtonCount] = {
    {"Primeiro", QStyle::SP_MediaSkipBackward}, {"Anterior", QStyle::SP_MediaSeekBackward},
    {"Próximo", QStyle::SP_MediaSeekForward},   {"Último", QStyle::SP_MediaSkipForward},
    {"Gravar", QStyle::SP_DialogApplyButton},   {"Cancelar", QStyle::SP_DialogCancelButton},
    {"Atualizar", QStyle::SP_BrowserReload},
};

std::size_t slot(TNavigateBtn b)
{
    return static_cast<std::size_t>(b);
}

} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolTip(QString::fromUtf8(kButtons[i].hint));
        b->setIcon(style()->standardIcon(kButtons[i].icon));
        const auto which = static_cast<TNavigateBtn>(i);
        connect(b, &QToolButton::clicked, this, [this, which] { runAction(which); });
        layout->addWidget(b);
        m_buttons[static_cast<std::size_t>(i)] = b;
    }
    updateButtons();
}

TDBNavigator::~TDBNavigator()
{
    DataSourceLink::unlink(m_dataSource, this);
}

void TDBNavigator::setDataSource(TDataSource* source)
{
    if (DataSourceLink::relink(m_dataSource, source, this))
        updateButtons();
}

QToolButton* TDBNavigator::button(TNavigateBtn which) const
{
    return m_buttons[slot(which)];
}

void TDBNavigator::setButtonVisible(TNavigateBtn which, bool visible)
{
    m_buttons[slot(which)]->setVisible(visible);
}

void TDBNavigator::btnClick(TNavigateBtn which)
{
    if (m_buttons[slot(which)]->isEnabled())
        runAction(which);
}

void TDBNavigator::dataSetChanged()
{
    updateButtons();
}
void TDBNavigator::stateChanged()
{
    updateButtons();
}

void TDBNavigator::dataSourceDestroyed()
{
    m_dataSource = nullptr;
    updateButtons();
}

void TDBNavigator::runAction(TNavigateBtn which)
{
    TClientDataSet* ds = m_dataSource ? m_dataSource->dataSet() : nullptr;
    TWidgetErrors::guard([&] {
        if (beforeAction)
            beforeAction(which);
        if (ds) {
            switch (which) {
            case TNavigateBtn::nbFirst:
                ds->first();
                break;
            case TNavigateBtn::nbPrior:
                ds->prior();
                break;
            case TNavigateBtn::nbNext:
                ds->next();
                break;
            case TNavigateBtn::nbLast:
                ds->last();
                break;
            case TNavigateBtn::nbPost:
                ds->post();
                break;
            case TNavigateBtn::nbCancel:
                ds->cancel();
                break;
            case TNavigateBtn::nbRefresh:
                if (onRefresh)
                    onRefresh();
                break;
            }
        }
        if (onClick)
            onClick(which);
    });
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    TClientDataSet* ds = m_dataSource ? m_dataSource->dataSet() : nullptr;
    const bool active = ds && ds->active();
    const bool editing =
        active && (ds->state() == DataSetState::Edit || ds->state() == DataSetState::Insert);
    const bool canBack = active && !ds->isEmpty() && !ds->bof();
    const bool canForward = active && !ds->isEmpty() && !ds->eof();
    m_buttons[slot(TNavigateBtn::nbFirst)]->setEnabled(canBack);
    m_buttons[slot(TNavigateBtn::nbPrior)]->setEnabled(canBack);
    m_buttons[slot(TNavigateBtn::nbNext)]->setEnabled(canForward);
    m_buttons[slot(TNavigateBtn::nbLast)]->setEnabled(canForward);
    m_buttons[slot(TNavigateBtn::nbPost)]->setEnabled(editing);
    m_buttons[slot(TNavigateBtn::nbCancel)]->setEnabled(editing);
    m_buttons[slot(TNavigateBtn::nbRefresh)]->setEnabled(active && static_cast<bool>(onRefresh));
}

} // namespace cht::platform
