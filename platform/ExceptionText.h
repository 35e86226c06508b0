// The one text an error is shown with, whoever shows it.
#pragma once

#include "cht_platform_export.h"

#include <QString>

#include <exception>

namespace cht::platform {

/// The message of a std::exception, or "Ocorreu um erro inesperado." for one with a blank message
/// or for anything else thrown; an empty text for no error.
CHT_PLATFORM_EXPORT QString exceptionText(std::exception_ptr error);

} // namespace cht::platform
