// The saved-options store of the filter screens: named option sets (name=value lines) kept per
// screen and operator in the host's database, table OPCAO_TELA (created when missing).
#pragma once

#include "cht_framework_export.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cht::framework {

class CHT_FRAMEWORK_EXPORT OptionStore {
public:
    /// Names of the sets saved for that screen and operator, in alphabetical order.
    static QStringList names(const QString& screen, const QString& operador);
    /// The lines of one set; nullopt when there is none of that name.
    static std::optional<QStringList> load(const QString& screen, const QString& operador,
                                           const QString& name);
    /// Writes a set, replacing one of the same name.
    static void save(const QString& screen, const QString& operador, const QString& name,
                     const QStringList& lines);
    static void remove(const QString& screen, const QString& operador, const QString& name);
};

} // namespace cht::framework
