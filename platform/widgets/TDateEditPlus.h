// The date editor: dd/mm/yyyy typed into a masked line edit, read as an OLE day number.
#pragma once

#include "cht_platform_export.h"
#include "platform/widgets/DateEditError.h"

#include <QColor>
#include <QLineEdit>
#include <QStringList>

#include <optional>

namespace cht::platform {

/// A line edit with the mask dd/mm/yyyy. An empty text is allowed and reads as 0. GetDate,
/// SetDate, CheckValidDate and SaveTime are the system's own names.
class CHT_PLATFORM_EXPORT TDateEditPlus : public QLineEdit {
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget* parent = nullptr);
    ~TDateEditPlus() override;

    /// The date typed as an OLE day number (days since 30/12/1899); 0 for an empty or invalid
    /// text. With SaveTime the time of day of the last SetDate is kept in the fraction.
    double GetDate() const;
    /// Shows the date part of an OLE day number (0 empties the editor).
    void SetDate(double ole);
    /// Throws DateEditError for a text that is neither empty nor a valid date.
    void CheckValidDate() const;
    /// True for a complete, valid date (an empty text is not one).
    bool isValidDate() const;
    /// The text as typed ("31/12/2026"), or an empty text when no digit was typed (text() then
    /// holds the mask's separators).
    QString typedText() const;

    /// Keep the time of day given to SetDate in what GetDate returns.
    bool SaveTime() const { return m_saveTime; }
    void SetSaveTime(bool save) { m_saveTime = save; }

    /// Colour the text while it holds a valid date (and another while it holds an invalid one);
    /// off by default.
    bool validColors() const { return m_validColors; }
    void setValidColors(bool on);
    QColor validColor() const { return m_validColor; }
    void setValidColor(const QColor& color);
    QColor invalidColor() const { return m_invalidColor; }
    void setInvalidColor(const QColor& color);

    /// Day names, Sunday first ("Domingo" ... "Sábado"); the tool tip shows the typed date's.
    const QStringList& weekDayNames() const { return m_weekDayNames; }
    void setWeekDayNames(const QStringList& names);
    /// Name of the typed date's day of the week, or an empty text.
    QString weekDayName() const;

private:
    std::optional<double> parse() const;
    void textWasEdited();

    bool m_saveTime = false;
    double m_savedTime = 0.0;
    bool m_validColors = false;
    QColor m_validColor{Qt::darkBlue};
    QColor m_invalidColor{Qt::red};
    QStringList m_weekDayNames;
};

} // namespace cht::platform
