// Checks shared by every screen: errors, server results, blank texts, registration masks.
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/Netconnection.h"

#include <QString>

namespace cht::framework {

/// Hands the text to the error display once and stops the caller by raising EMensErro: nothing
/// after the call runs.
[[noreturn]] CHT_FRAMEWORK_EXPORT void MensErro(const QString& text, bool stop = true);

/// Unwraps a remote method's result: the data packet it carries (empty when it carries none).
/// Raises EServerError with the server's message when the server reports a failure.
CHT_FRAMEWORK_EXPORT TDataPacket CheckResultServ(TServerResult result, bool raise = true,
                                                 int context = 0);

/// True when the text is empty or blank.
CHT_FRAMEWORK_EXPORT bool EmptyString(const QString& text);

/// Edit mask of a client registration number by person kind: "J" gives the CNPJ mask, "F" the
/// CPF mask; any other kind gives an empty mask (the number is shown as it is).
CHT_FRAMEWORK_EXPORT QString PictPess(const QString& personKind);

} // namespace cht::framework
