#include "platform/ExceptionText.h"

namespace cht::platform {

QString exceptionText(std::exception_ptr error)
{
    if (!error)
        return {};
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
    }
    if (text.trimmed().isEmpty())
        text = QStringLiteral("Ocorreu um erro inesperado.");
    return text;
}

} // namespace cht::platform
