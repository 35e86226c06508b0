#include "framework/RightAnchor.h"

#include <QEvent>
#include <QWidget>

namespace cht::framework {

RightAnchor::RightAnchor(QWidget* child, int margin)
    : QObject(child), m_child(child), m_margin(margin)
{
    child->parentWidget()->installEventFilter(this);
    child->installEventFilter(this);
    place();
}

bool RightAnchor::eventFilter(QObject* watched, QEvent* event)
{
    const bool parentResized =
        watched == m_child->parentWidget() && event->type() == QEvent::Resize;
    const bool childResized = watched == m_child && event->type() == QEvent::Resize;
    if (parentResized || childResized)
        place();
    return QObject::eventFilter(watched, event);
}

void RightAnchor::place()
{
    QWidget* parent = m_child->parentWidget();
    const int x = parent->width() - m_child->width() - m_margin;
    if (m_child->x() != x)
        m_child->move(x, m_child->y());
}

} // namespace cht::framework
