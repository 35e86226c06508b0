// Message tables: lines "key|text"; the screens ask for their texts by key.
#pragma once

#include "cht_framework_export.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace cht::framework {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum TMsgDlgBtn : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgDlgButtons = unsigned;
/// Modal results; only mrYes (6) is consent.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

class CHT_FRAMEWORK_EXPORT TMessages {
public:
    TMessages() = default;
    explicit TMessages(QStringList lines) : Lines(std::move(lines)) {}

    /// The table: lines made of a key, a vertical bar and the text.
    QStringList Lines;

    /// Text stored under the key (exact key); an unknown key gives an empty text.
    QString Msg(const QString& key) const;
    /// Shows the keyed text in a modal dialog and returns the modal result (mrYes is 6).
    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons,
                int helpContext) const;

private:
    // Texts by key, made from the lines they were read from: a list that still shares its data
    // with those lines is unchanged (any change to Lines detaches it).
    mutable QStringList m_indexedLines;
    mutable QHash<QString, QString> m_index;
};

} // namespace cht::framework
