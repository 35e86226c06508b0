// Where the widgets send an exception raised inside a Qt event (a handler of the owner, or the
// data set refusing a post): Qt must never see it cross its event loop.
#pragma once

#include "cht_platform_export.h"

#include <exception>
#include <functional>

namespace cht::platform {

/// The process-wide sink for errors raised while a widget handles an event. The framework installs
/// its dispatcher's error handling when it is loaded; without a handler the error text is shown
/// in a critical message box.
class CHT_PLATFORM_EXPORT TWidgetErrors {
public:
    using Handler = std::function<void(std::exception_ptr)>;

    /// Replaces the sink and returns the one it replaced; an empty handler means the default
    /// message box.
    static Handler setHandler(Handler handler);
    /// Hands an exception to the sink.
    static void report(std::exception_ptr error);
    /// Runs `action`, reporting anything it throws; true when it returned normally.
    static bool guard(const std::function<void()>& action);
};

} // namespace cht::platform
