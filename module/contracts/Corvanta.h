// The logged-in session as the host knows it: who the operator is and where the server listens.
#pragma once

#include "cht_framework_export.h"

#include <QString>

namespace Corvanta {

/// The logged-in operator's identification.
CHT_FRAMEWORK_EXPORT QString Operador();
/// Host name or address of the application server.
CHT_FRAMEWORK_EXPORT QString WebURL();
/// Port of the application server.
CHT_FRAMEWORK_EXPORT int WebPort();

/// Set by the host at login.
CHT_FRAMEWORK_EXPORT void SetSession(const QString& operador, const QString& webUrl, int webPort);

} // namespace Corvanta
