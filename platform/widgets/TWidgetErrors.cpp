#include "platform/widgets/TWidgetErrors.h"

#include "platform/ExceptionText.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace cht::platform {
namespace {

TWidgetErrors::Handler& handlerSlot()
{
    static TWidgetErrors::Handler handler;
    return handler;
}

void showDefault(std::exception_ptr error)
{
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Erro"),
                          exceptionText(error));
}

} // namespace

TWidgetErrors::Handler TWidgetErrors::setHandler(Handler handler)
{
    return std::exchange(handlerSlot(), std::move(handler));
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
