// The application services of Forms.h: main window, MDI area, cursor, dispatcher, error display.
#include "module/contracts/Forms.h"

#include "framework/MessageBoxes.h"
#include "platform/ExceptionText.h"
#include "platform/widgets/TWidgetErrors.h"

#include <QApplication>
#include <QCursor>
#include <QMdiArea>
#include <QPointer>

namespace cht::framework {

namespace {

struct AppState {
    QPointer<QWidget> mainForm;
    QPointer<QMdiArea> mdiArea;
    TCursor cursor = TCursor::crDefault;
    std::function<void(const QString&)> errorDisplay;
};

AppState& app()
{
    static AppState s;
    return s;
}

// Errors raised inside a widget's own event handling take the dispatcher's road. Installed when
// the framework is loaded rather than on the Application's first use: a widget can raise before
// any screen or host code has called the Application (a login dialog, a test driving a bare
// widget), and load time depends on no order of calls.
struct WidgetErrorBridge {
    WidgetErrorBridge()
    {
        cht::platform::TWidgetErrors::setHandler(
            [](std::exception_ptr error) { Application::HandleException(error); });
    }
} const s_widgetErrorBridge;

} // namespace

QWidget* Application::MainForm()
{
    return app().mainForm.data();
}

void Application::SetMainForm(QWidget* w)
{
    app().mainForm = w;
}

QMdiArea* Application::MdiArea()
{
    return app().mdiArea.data();
}

void Application::SetMdiArea(QMdiArea* area)
{
    app().mdiArea = area;
}

void Application::SetCursor(TCursor c)
{
    // One override at most: two hourglasses are undone by one crDefault, as the screens expect.
    if (c == app().cursor)
        return;
    if (c == TCursor::crHourGlass)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
    app().cursor = c;
}

TCursor Application::Cursor()
{
    return app().cursor;
}

void Application::Dispatch(const std::function<void()>& handler)
{
    TryDispatch(handler);
}

bool Application::TryDispatch(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void Application::HandleException(std::exception_ptr error)
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const EMensErro&) {
        // MensErro has shown its text already.
    } catch (...) {
        ShowError(cht::platform::exceptionText(error));
    }
}

void Application::SetErrorDisplay(std::function<void(const QString& message)> display)
{
    app().errorDisplay = std::move(display);
}

void Application::ShowError(const QString& message)
{
    if (app().errorDisplay) {
        // A copy: the display may replace itself.
        auto display = app().errorDisplay;
        display(message);
        return;
    }
    messageBox(QStringLiteral("error"), TMsgDlgType::mtError, QStringLiteral("Erro"), message,
               mbOK);
}

void Application::ProcessMessages()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace cht::framework
