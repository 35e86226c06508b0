// Runs blocking work off the UI thread while the UI thread keeps painting.
#pragma once

#include <functional>

namespace cht::framework {

/// Runs `work` on a worker thread; the calling UI thread waits in a local event loop that
/// excludes user input, so the screens (and the wait animation) repaint and no operator input
/// is processed until the work is done. Off the UI thread, or without an application object,
/// the work simply runs in place. Whatever `work` raises is raised here.
void runWhileUiWaits(const std::function<void()>& work);

} // namespace cht::framework
