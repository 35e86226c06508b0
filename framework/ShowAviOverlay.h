// The translucent overlay of the wait animation: a spinner and a text over the main form.
#pragma once

#include <QString>
#include <QWidget>

class QTimer;

namespace cht::framework {

class ShowAviOverlay : public QWidget {
public:
    explicit ShowAviOverlay(QWidget* mainForm);

    void setAnimation(int animation);
    /// Turns the spinner while a wait lasts; still between waits.
    void setRunning(bool running);
    /// Frames painted so far (the spinner turns on a timer, so it keeps growing while the UI
    /// thread waits in a local event loop).
    int framesPainted() const { return m_frames; }

    static QString textOf(int animation);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitParent();

    QTimer* m_timer;
    QString m_text;
    int m_step = 0;
    int m_frames = 0;
};

} // namespace cht::framework
