#include "framework/ShowAviOverlay.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>

namespace cht::framework {

namespace {
constexpr int kSpokes = 12;
constexpr int kTickMs = 80;
} // namespace

ShowAviOverlay::ShowAviOverlay(QWidget* mainForm) : QWidget(mainForm), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("ShowAviOverlay"));
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kSpokes;
        update();
    });
    if (mainForm)
        mainForm->installEventFilter(this);
    fitParent();
}

void ShowAviOverlay::setRunning(bool running)
{
    if (running)
        m_timer->start();
    else
        m_timer->stop();
}

QString ShowAviOverlay::textOf(int animation)
{
    switch (animation) {
    case 1:
        return QStringLiteral("Transferindo dados...");
    case 6:
        return QStringLiteral("Pesquisando...");
    default:
        return QStringLiteral("Aguarde...");
    }
}

void ShowAviOverlay::setAnimation(int animation)
{
    m_text = textOf(animation);
    setProperty("animationText", m_text);
    update();
}

void ShowAviOverlay::fitParent()
{
    if (QWidget* p = parentWidget())
        setGeometry(p->rect());
    raise();
}

bool ShowAviOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded))
        fitParent();
    return QWidget::eventFilter(watched, event);
}

void ShowAviOverlay::paintEvent(QPaintEvent*)
{
    ++m_frames;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0, 0, 0, 70));

    const QFontMetrics fm(font());
    const int boxW = std::max(220, fm.horizontalAdvance(m_text) + 40);
    const int boxH = 120;
    const QRect box((width() - boxW) / 2, (height() - boxH) / 2, boxW, boxH);
    QPainterPath path;
    path.addRoundedRect(QRectF(box), 10, 10);
    p.fillPath(path, QColor(255, 255, 255, 235));
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.drawPath(path);

    // Spinner: spokes fading behind the leading one.
    const QPointF centre(box.center().x(), box.top() + 42);
    for (int i = 0; i < kSpokes; ++i) {
        const int age = (m_step - i + kSpokes) % kSpokes;
        QColor c(30, 90, 170);
        c.setAlpha(255 - age * 200 / kSpokes);
        p.save();
        p.translate(centre);
        p.rotate(360.0 * i / kSpokes);
        p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -10), QPointF(0, -22));
        p.restore();
    }
    p.setPen(QColor(20, 20, 20));
    p.drawText(QRect(box.left(), box.top() + 76, box.width(), 30), Qt::AlignCenter, m_text);
}

} // namespace cht::framework
