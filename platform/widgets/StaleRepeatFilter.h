// Drops the auto-repeats of a held key that piled up while the UI thread was blocked, so that a
// held arrow key moves a list once per row the screen actually got to, not once per repeat.
#pragma once

#include "cht_platform_export.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>

class QKeyEvent;

namespace cht::platform {

/// An event filter for a widget whose moves run blocking work (a remote call per row). Events the
/// window system queues during the work reach the widget afterwards, all at once; those that are
/// auto-repeats generated before the work ended are dropped. A repeat is a press Qt marks so, or,
/// as X11 sends them, a press stamped like the release of the same key just before it. Keys
/// pressed on purpose, key releases and events without a window-system timestamp always pass.
///
/// The window system stamps events on its own millisecond clock; the filter relates it to a
/// monotonic clock by the smallest delivery delay it has seen, and starts over when that relation
/// stops making sense (a clock that wrapped or jumped).
class CHT_PLATFORM_EXPORT StaleRepeatFilter : public QObject {
public:
    /// Filters the key presses that reach `watched`, which owns the filter.
    explicit StaleRepeatFilter(QObject* watched);

    /// Call when a blocking piece of work ends: repeats generated until now are stale.
    void busyEnded();
    /// Auto-repeats dropped so far.
    int dropped() const { return m_dropped; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool stale(const QKeyEvent& key);

    struct Stroke {
        int key;
        qint64 stamp;
    };

    QElapsedTimer m_clock;
    std::optional<Stroke> m_lastRelease; // the last event when it was a release
    std::optional<qint64> m_offset;      // monotonic ms minus event timestamp, smallest seen
    std::optional<qint64> m_busyEnd;
    int m_dropped = 0;
};

} // namespace cht::platform
