// The flat tool-bar button with an enabled and a pressed state.
#pragma once

#include "cht_platform_export.h"

#include <QToolButton>

#include <functional>

namespace cht::platform {

/// A flat button. With group index 0 it is a plain push button and is never down. With a group
/// index a click presses it and releases the other buttons of that group with the same parent;
/// a click on the pressed button releases it only when AllowAllUp is set (the group shares the
/// setting). onClick runs after the pressed state flipped. The hint is Qt's tool tip, the caption
/// its text. Enabled, Down, SetDown and AllowAllUp are the system's own names.
class CHT_PLATFORM_EXPORT TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    using ClickEvent = std::function<void(QObject* sender)>;

    explicit TButtonFlat(QWidget* parent = nullptr);
    ~TButtonFlat() override;

    bool Enabled() const { return isEnabled(); }

    bool Down() const;
    /// Presses or releases without running onClick; pressing releases the group's others. A
    /// button without a group index cannot be down, and the pressed button of a group without
    /// AllowAllUp cannot be released this way (press another one instead).
    void SetDown(bool down);

    int groupIndex() const { return m_groupIndex; }
    void setGroupIndex(int index);
    bool AllowAllUp() const { return m_allowAllUp; }
    void SetAllowAllUp(bool allow);

    /// Runs on every click, the operator's or Qt's click() (which does nothing when disabled).
    ClickEvent onClick;

protected:
    void nextCheckState() override;

private:
    void releaseOthers();
    template <typename F> void forEachInGroup(F f) const;

    int m_groupIndex = 0;
    bool m_allowAllUp = false;
};

} // namespace cht::platform
