// The application services every screen leans on: the form factory, the application-wide mouse
// cursor, the main window, and the dispatcher through which every event handler runs.
#pragma once

#include "cht_framework_export.h"

#include <QWidget>

#include <exception>
#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>

class QMdiArea;

namespace cht::framework {

/// What a screen's close handler decides: keep it, hide it, free it.
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

/// Window states a screen can be put in.
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

/// The application-wide mouse cursor.
enum class TCursor { crDefault, crHourGlass };

/// Raised by MensErro: the text has been handed to the error display once, and the handler that
/// called it stops here.
class CHT_FRAMEWORK_EXPORT EMensErro : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A failure reported by the application server or by the connection, in Portuguese.
class CHT_FRAMEWORK_EXPORT EServerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A screen created through the form factory: constructed, then its FormCreate runs (virtual
/// dispatch reaches the derived screen, which a constructor could not).
class CHT_FRAMEWORK_EXPORT TCreatable {
public:
    virtual ~TCreatable() = default;
    virtual void FormCreate() {}
};

class CHT_FRAMEWORK_EXPORT Application {
public:
    /// The host's main window (the MDI frame); the wait animation covers it.
    static QWidget* MainForm();
    static void SetMainForm(QWidget* w);
    /// Parent for new child screens: the host's MDI area (null in a host without one).
    static QMdiArea* MdiArea();
    static void SetMdiArea(QMdiArea* area);

    /// The application's mouse cursor; crDefault restores the normal one.
    static void SetCursor(TCursor c);
    static TCursor Cursor();

    /// Runs a handler: nothing it raises crosses Qt's event loop; it reaches the error display.
    static void Dispatch(const std::function<void()>& handler);
    /// Dispatch that tells whether the handler returned normally.
    static bool TryDispatch(const std::function<void()>& handler);
    /// What Dispatch does with a caught error: an EMensErro has been shown already; anything
    /// else goes to the error display.
    static void HandleException(std::exception_ptr error);
    /// The host's error display; the default shows a modal error box.
    static void SetErrorDisplay(std::function<void(const QString& message)> display);
    static void ShowError(const QString& message);
    /// Processes pending events (deferred deletes included).
    static void ProcessMessages();
};

/// Wraps an event handler for binding to a UI event (click, key, menu item, tab change, grid
/// event): each call runs through Application::Dispatch. Arguments the handler does not take (a
/// signal's checked flag) are dropped, as Qt drops them for a slot.
template <class F> auto dispatched(F handler)
{
    return [handler = std::move(handler)](auto&&... args) {
        Application::Dispatch([&] {
            if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        });
    };
}

/// Creates a screen owned by the application and runs its FormCreate. If FormCreate raises, the
/// half-made screen is destroyed and the error goes on.
template <class T> T* CreateForm()
{
    T* form = new T();
    try {
        form->FormCreate();
    } catch (...) {
        delete form;
        throw;
    }
    return form;
}

/// Creates a dialog owned by the application and runs its FormCreate as the toolkit's forms do:
/// an error there ends the creation step only. It reaches the error display, and the dialog is
/// returned all the same, with whatever that step had done before it failed.
template <class T> T* CreateFormReportingErrors()
{
    T* form = new T();
    Application::Dispatch([form] { form->FormCreate(); });
    return form;
}

/// Restores the default cursor when it goes out of scope: a handler that sets the hourglass
/// never leaves it set, whatever it raises.
class CursorGuard {
public:
    explicit CursorGuard(TCursor c = TCursor::crHourGlass) { Application::SetCursor(c); }
    ~CursorGuard() { Application::SetCursor(TCursor::crDefault); }
    CursorGuard(const CursorGuard&) = delete;
    CursorGuard& operator=(const CursorGuard&) = delete;
};

} // namespace cht::framework
