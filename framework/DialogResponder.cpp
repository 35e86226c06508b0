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

void DialogResponder::Set(Script script)
{
    state().script = std::move(script);
}

void DialogResponder::Clear()
{
    state().script = nullptr;
    state().records.clear();
}

bool DialogResponder::Active()
{
    return static_cast<bool>(state().script);
}

const std::vector<DialogRequest>& DialogResponder::Records()
{
    return state().records;
}

void DialogResponder::ClearRecords()
{
    state().records.clear();
}

std::optional<DialogReply> DialogResponder::Answer(const DialogRequest& request)
{
    if (!state().script)
        return std::nullopt;
    state().records.push_back(request);
    // A copy: the script may replace itself while it answers.
    Script script = state().script;
    return script(request);
}

void DialogResponder::WhenModal(std::function<void(QDialog* dialog)> callback, int timeoutMs)
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
