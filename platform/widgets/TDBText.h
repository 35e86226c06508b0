// A label that shows one field of a data source's current record.
#pragma once

#include "cht_platform_export.h"
#include "platform/dataset/DataSource.h"

#include <QLabel>

namespace cht::platform {

/// Shows the display text of `dataField` for the current record; empty when the data set is
/// closed or empty or has no such field. Follows scrolls, edits and reloads.
class CHT_PLATFORM_EXPORT TDBText : public QLabel, public DataLink {
    Q_OBJECT
public:
    explicit TDBText(QWidget* parent = nullptr);
    ~TDBText() override;

    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);
    const QString& dataField() const { return m_dataField; }
    void setDataField(const QString& fieldName);

    void dataSetChanged() override;
    void dataSourceDestroyed() override;

private:
    void refresh();

    TDataSource* m_dataSource = nullptr;
    QString m_dataField;
};

} // namespace cht::platform
