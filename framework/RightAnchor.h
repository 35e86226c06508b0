// Keeps a child widget at the right end of its parent, which has no layout: the tool bars place
// their buttons at absolute positions, and the screen-code label rides along the right edge.
#pragma once

#include <QObject>

class QWidget;

namespace cht::framework {

class RightAnchor : public QObject {
public:
    RightAnchor(QWidget* child, int margin);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget* m_child;
    int m_margin;
};

} // namespace cht::framework
