#include "framework/DialogResponder.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace cht::framework {

namespace {

struct ResponderState {
    DialogResponder::Script script;
    std::vector<DialogRequest> records;
};

ResponderState& state()
{
    static ResponderState s;
    return s;
}

} // namespace

void DialogResponder::set(Script script)
{
    state().script = std::move(script);
}

void DialogResponder::clear()
{
    state().script = nullptr;
    state().records.clear();
}

bool DialogResponder::isActive()
{
    return static_cast<bool>(state().script);
}

const std::vector<DialogRequest>& DialogResponder::records()
{
    return state().records;
}

void DialogResponder::clearRecords()
{
    state().records.clear();
}

std::optional<DialogReply> DialogResponder::answer(const DialogRequest& request)
{
    if (!state().script)
        return std::nullopt;
    state().records.push_back(request);
    // A copy: the script may replace itself while it answers.
    Script script = state().script;
    return script(request);
}

void DialogResponder::whenModal(std::function<void(QDialog* dialog)> callback, int timeoutMs)
{
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, callback, timeoutMs] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            callback(dialog);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            callback(nullptr);
        }
    });
    timer->start();
}

} // namespace cht::framework
