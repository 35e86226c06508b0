#include "platform/widgets/TButtonFlat.h"

#include "platform/widgets/TWidgetErrors.h"

namespace cht::platform {

TButtonFlat::TButtonFlat(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (onClick)
            TWidgetErrors::guard([this] { onClick(this); });
    });
}

TButtonFlat::~TButtonFlat() = default;

bool TButtonFlat::Down() const
{
    return m_groupIndex != 0 && isChecked();
}

template <typename F> void TButtonFlat::forEachInGroup(F f) const
{
    if (m_groupIndex == 0 || !parentWidget())
        return;
    const auto siblings = parentWidget()->findChildren<TButtonFlat*>(Qt::FindDirectChildrenOnly);
    for (TButtonFlat* b : siblings)
        if (b != this && b->m_groupIndex == m_groupIndex)
            f(*b);
}

void TButtonFlat::releaseOthers()
{
    forEachInGroup([](TButtonFlat& b) { b.setChecked(false); });
}

void TButtonFlat::SetDown(bool down)
{
    if (m_groupIndex == 0 || down == isChecked())
        return;
    if (!down && !m_allowAllUp)
        return;
    setChecked(down);
    if (down)
        releaseOthers();
}

void TButtonFlat::setGroupIndex(int index)
{
    m_groupIndex = index;
    setCheckable(index != 0);
    if (index == 0) {
        setChecked(false);
        return;
    }
    // Joining a group takes its setting, and a group has at most one button down.
    bool otherDown = false;
    forEachInGroup([&](TButtonFlat& b) {
        m_allowAllUp = b.m_allowAllUp;
        otherDown = otherDown || b.isChecked();
    });
    if (otherDown)
        setChecked(false);
}

void TButtonFlat::SetAllowAllUp(bool allow)
{
    m_allowAllUp = allow;
    forEachInGroup([allow](TButtonFlat& b) { b.m_allowAllUp = allow; });
}

void TButtonFlat::nextCheckState()
{
    // QAbstractButton calls this on a click, before clicked() runs onClick.
    if (m_groupIndex == 0)
        return;
    if (!isChecked()) {
        setChecked(true);
        releaseOthers();
    } else if (m_allowAllUp) {
        setChecked(false);
    }
}

} // namespace cht::platform
