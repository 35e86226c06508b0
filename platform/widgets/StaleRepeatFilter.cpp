#include "platform/widgets/StaleRepeatFilter.h"

#include <QKeyEvent>

namespace cht::platform {

namespace {

// A key event is delivered within this long of its generation, or the clocks no longer agree.
constexpr qint64 kPlausibleDelayMs = 30000;

} // namespace

StaleRepeatFilter::StaleRepeatFilter(QObject* watched) : QObject(watched)
{
    m_clock.start();
    watched->installEventFilter(this);
}

void StaleRepeatFilter::busyEnded()
{
    m_busyEnd = m_clock.elapsed();
}

bool StaleRepeatFilter::stale(const QKeyEvent& key)
{
    const auto stamp = static_cast<qint64>(key.timestamp());
    if (stamp == 0)
        return false;
    const qint64 now = m_clock.elapsed();
    const qint64 offset = now - stamp;
    // The quickest delivery seen is the best estimate of how the two clocks relate.
    if (!m_offset || offset < *m_offset || offset - *m_offset > kPlausibleDelayMs)
        m_offset = offset;
    if (key.type() == QEvent::KeyRelease) {
        m_lastRelease = Stroke{key.key(), stamp};
        return false;
    }
    // X11 repeats a held key as a release and a press stamped alike, and Qt does not always
    // mark that press as a repeat.
    const bool repeat = key.isAutoRepeat() || (m_lastRelease && m_lastRelease->key == key.key() &&
                                               m_lastRelease->stamp == stamp);
    m_lastRelease.reset();
    if (!repeat || !m_busyEnd)
        return false;
    const qint64 generated = stamp + *m_offset;
    return generated < *m_busyEnd;
}

bool StaleRepeatFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    // Releases only tell how the clocks relate and which press repeats; they do no harm.
    if (stale(*static_cast<QKeyEvent*>(event))) {
        ++m_dropped;
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace cht::platform
