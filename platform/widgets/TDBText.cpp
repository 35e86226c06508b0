#include "platform/widgets/TDBText.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/DataSourceLink.h"
#include "platform/widgets/TWidgetErrors.h"

namespace cht::platform {

TDBText::TDBText(QWidget* parent) : QLabel(parent) {}

TDBText::~TDBText()
{
    DataSourceLink::unlink(m_dataSource, this);
}

void TDBText::setDataSource(TDataSource* source)
{
    if (DataSourceLink::relink(m_dataSource, source, this))
        refresh();
}

void TDBText::setDataField(const QString& fieldName)
{
    m_dataField = fieldName;
    refresh();
}

void TDBText::dataSetChanged()
{
    refresh();
}

void TDBText::dataSourceDestroyed()
{
    m_dataSource = nullptr;
    refresh();
}

void TDBText::refresh()
{
    QString shown;
    TClientDataSet* ds = m_dataSource ? m_dataSource->dataSet() : nullptr;
    if (ds && ds->active() && !ds->isEmpty() && !m_dataField.isEmpty()) {
        // A get-text hook may throw; the label then shows nothing and the error is reported.
        TWidgetErrors::guard([&] {
            if (TField* f = ds->findField(m_dataField))
                shown = f->displayText();
        });
    }
    setText(shown);
}

} // namespace cht::platform
