// A persistent field of a client data set: its definition, its display properties and the text
// hooks through which controls read and write it.
#pragma once

#include "cht_platform_export.h"
#include "platform/wire/Wire.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace cht::platform {

class TClientDataSet;

class CHT_PLATFORM_EXPORT TField {
public:
    /// text is in/out; displayText tells a display read from a read for editing.
    using GetTextHandler = std::function<void(TField& sender, QString& text, bool displayText)>;
    using SetTextHandler = std::function<void(TField& sender, const QString& text)>;

    TField(TClientDataSet& owner, int index, QString name, wire::FieldType type, int size);

    TClientDataSet& dataSet() const { return m_owner; }
    int index() const { return m_index; }
    const QString& fieldName() const { return m_name; }
    wire::FieldType dataType() const { return m_type; }
    /// Characters of a text field; 0 for the other types.
    int size() const { return m_size; }

    // Display properties.
    QString displayLabel; // empty: the field name is shown
    bool visible = true;
    QString displayFormat; // "#,###,##0.00" for numbers, "dd/MM/yyyy" style for dates
    int displayWidth = 0;  // characters; 0: derived from the size or the type
    /// Part of the row's key: a delta always carries it, and then, of the other fields, only
    /// those changed in some row (with no key field at all, a delta carries every field).
    bool inKey = false;
    GetTextHandler onGetText;
    SetTextHandler onSetText;

    QString label() const { return displayLabel.isEmpty() ? m_name : displayLabel; }
    /// Width in characters that a grid gives a column of this field by default.
    int defaultDisplayWidth() const;

    // Values of the current row.
    bool isNull() const;
    void clear();
    wire::Value value() const;
    void setValue(const wire::Value& v);
    /// Saved value: as loaded or as after the last merge.
    wire::Value oldValue() const;
    QString oldValueAsString() const;

    QString asString() const;
    void setAsString(const QString& s); // texts are cut to the size
    double asFloat() const;
    void setAsFloat(double v);
    std::int64_t asInteger() const;
    void setAsInteger(std::int64_t v);
    /// Date-times as OLE day numbers, or as QDateTime (local, no zone).
    double asOle() const;
    void setAsOle(double v);
    QDateTime asDateTime() const;
    void setAsDateTime(const QDateTime& dt);

    /// Text for editing: onGetText(displayText false) if set, else asString().
    QString text() const;
    /// Text for display: onGetText(displayText true) if set, else the formatted value.
    QString displayText() const;
    /// Writes an edited text: onSetText if set, else setAsString (numbers and dates parsed in
    /// pt-BR; a text that does not parse throws DataSetError).
    void setText(const QString& s);

    /// Formats any value of this field as it would be displayed (used by grids for other rows).
    QString formatValue(const wire::Value& v) const;

private:
    TClientDataSet& m_owner;
    int m_index;
    QString m_name;
    wire::FieldType m_type;
    int m_size;
};

} // namespace cht::platform
