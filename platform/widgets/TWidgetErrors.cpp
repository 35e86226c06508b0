#include "platform/widgets/TWidgetErrors.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <stdexcept>

namespace cht::platform {
namespace {

TWidgetErrors::Handler& handlerSlot()
{
    static TWidgetErrors::Handler handler;
    return handler;
}

void showDefault(std::exception_ptr error)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = QStringLiteral("Erro inesperado.");
    }
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Erro"), text);
}

} // namespace

void TWidgetErrors::setHandler(Handler handler)
{
    handlerSlot() = std::move(handler);
}

void TWidgetErrors::report(std::exception_ptr error)
{
    if (!error)
        return;
    // The sink itself must not throw back into Qt.
    try {
        if (handlerSlot())
            handlerSlot()(error);
        else
            showDefault(error);
    } catch (...) {
    }
}

bool TWidgetErrors::guard(const std::function<void()>& action)
{
    try {
        action();
        return true;
    } catch (...) {
        report(std::current_exception());
        return false;
    }
}

} // namespace cht::platform
