#include "UiWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <exception>
#include <thread>

namespace cht::framework {

void runWhileUiWaits(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }

    std::atomic<bool> done{false};
    std::exception_ptr error;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        done.store(true);
        // Queued: if the loop has not started yet, it quits as soon as it does.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // An application-wide exit also ends nested loops; then the wait just blocks until the
    // worker is done, which its timeouts bound.
    while (!done.load())
        if (loop.exec(QEventLoop::ExcludeUserInputEvents) != 0)
            break;
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace cht::framework
