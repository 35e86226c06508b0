#include "module/Cli_cot09800Pictures.h"

#include "platform/widgets/GlyphIcon.h"
#include "platform/widgets/TCanvas.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QPolygonF>

namespace Cli_cot09800::pictures {

namespace {

QImage oliveSquare(int side)
{
    QImage img(side, side, QImage::Format_RGB32);
    img.fill(cht::platform::keyColorOlive());
    return img;
}

// A sheet of paper, the background of several glyphs.
void sheet(QPainter& p, const QColor& edge)
{
    p.setPen(QPen(edge, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 1.5, 9, 12));
}

void drawGlyph(QPainter& p, ButtonGlyph glyph, const cht::platform::GlyphTone& tone)
{
    const QColor grey = tone(QColor(90, 90, 90));
    switch (glyph) {
    case ButtonGlyph::Filter: {
        // A funnel.
        const QPolygonF funnel({QPointF(1.5, 2.5), QPointF(14.5, 2.5), QPointF(9.5, 8.5),
                                QPointF(9.5, 14.5), QPointF(6.5, 12.5), QPointF(6.5, 8.5)});
        p.setPen(QPen(tone(QColor(0, 60, 130)), 1));
        p.setBrush(tone(QColor(70, 140, 220)));
        p.drawPolygon(funnel);
        break;
    }
    case ButtonGlyph::Approve:
        // A sheet with a green tick.
        sheet(p, grey);
        p.setPen(QPen(tone(QColor(0, 140, 0)), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(5, 9), QPointF(8, 12.5), QPointF(14.5, 4)}));
        break;
    case ButtonGlyph::NotBill: {
        // A coin crossed out.
        p.setPen(QPen(tone(QColor(150, 110, 0)), 1));
        p.setBrush(tone(QColor(240, 200, 60)));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.setPen(tone(QColor(120, 80, 0)));
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("$"));
        p.setPen(QPen(tone(QColor(210, 0, 0)), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 13), QPointF(13, 3));
        break;
    }
    case ButtonGlyph::Delete:
        // A sheet with a red cross.
        sheet(p, grey);
        p.setPen(QPen(tone(QColor(200, 0, 0)), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 7), QPointF(14, 14));
        p.drawLine(QPointF(14, 7), QPointF(7, 14));
        break;
    case ButtonGlyph::Justification:
        // A written sheet under a magnifying glass.
        sheet(p, grey);
        p.setPen(QPen(grey, 1));
        for (int y = 4; y <= 10; y += 2)
            p.drawLine(QPointF(4, y + 0.5), QPointF(10, y + 0.5));
        p.setPen(QPen(tone(QColor(0, 70, 160)), 1.6));
        p.setBrush(QColor(255, 255, 255, 160));
        p.drawEllipse(QRectF(7.5, 6.5, 5.5, 5.5));
        p.setPen(QPen(tone(QColor(0, 70, 160)), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12.3, 11.3), QPointF(14.5, 13.8));
        break;
    case ButtonGlyph::DueDates:
        // A calendar page.
        p.setPen(QPen(grey, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 12));
        p.setPen(Qt::NoPen);
        p.setBrush(tone(QColor(200, 30, 30)));
        p.drawRect(QRectF(2, 3, 12, 3));
        p.setBrush(grey);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                p.drawRect(QRectF(3 + x * 3, 7.5 + y * 2.3, 1.6, 1.4));
        break;
    }
}

} // namespace

QImage checkBox(const QColor& inside, bool ticked)
{
    QImage img = oliveSquare(16);
    const QColor lightGrey(192, 192, 192);
    for (int i = 2; i <= 11; ++i) {
        img.setPixelColor(i, 2, Qt::black);
        img.setPixelColor(2, i, Qt::black);
    }
    for (int x = 3; x <= 11; ++x)
        for (int y = 3; y <= 11; ++y)
            img.setPixelColor(x, y, inside);
    for (int i = 2; i <= 12; ++i) {
        img.setPixelColor(12, i, lightGrey);
        img.setPixelColor(i, 12, lightGrey);
    }
    if (ticked) {
        // A three-pixel-thick tick from (4, 6) down to (6, 8) and up to (10, 4).
        const int points[][2] = {{4, 6}, {5, 7}, {6, 8}, {7, 7}, {8, 6}, {9, 5}, {10, 4}};
        for (const auto& pt : points)
            for (int d = 0; d < 3; ++d)
                img.setPixelColor(pt[0], pt[1] + d, Qt::black);
    }
    return img;
}

QImage titleCheckMark()
{
    QImage img(12, 12, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    const int points[][2] = {{2, 5}, {3, 6}, {4, 7}, {5, 6}, {6, 5}, {7, 4}, {8, 3}, {9, 2}};
    for (const auto& p : points)
        for (int d = 0; d < 3; ++d)
            img.setPixelColor(p[0], p[1] + d, Qt::black);
    return img;
}

QImage okMark()
{
    QImage img = oliveSquare(16);
    QPainter p(&img);
    const QPolygon stroke({QPoint(3, 8), QPoint(6, 11), QPoint(12, 4)});
    p.setPen(QPen(QColor(0, 0, 128), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolyline(stroke.translated(1, 1));
    p.setPen(QPen(QColor(0, 128, 0), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolyline(stroke);
    p.setPen(QPen(QColor(0, 255, 0), 1));
    p.drawPolyline(stroke.translated(0, -1));
    return img;
}

QImage notOkMark()
{
    QImage img = oliveSquare(16);
    QPainter p(&img);
    auto cross = [&p](int dx, int dy) {
        p.drawLine(QPoint(4 + dx, 4 + dy), QPoint(11 + dx, 11 + dy));
        p.drawLine(QPoint(11 + dx, 4 + dy), QPoint(4 + dx, 11 + dy));
    };
    p.setPen(QPen(QColor(128, 128, 128), 3, Qt::SolidLine, Qt::SquareCap));
    cross(1, 1);
    p.setPen(QPen(QColor(255, 0, 0), 3, Qt::SolidLine, Qt::SquareCap));
    cross(0, 0);
    p.setPen(QPen(QColor(128, 0, 0), 1));
    cross(0, 0);
    return img;
}

QImage statusBall(Ball ball)
{
    // Upper-left face, centre tone and lower-right shade of each ball, in the order of Ball.
    struct Tones {
        QColor face, centre, shade;
    };
    static const Tones tones[] = {
        {QColor(255, 255, 0), QColor(224, 224, 128), QColor(224, 192, 0)},
        {QColor(166, 202, 240), QColor(96, 160, 192), QColor(0, 96, 192)},
        {QColor(96, 224, 0), QColor(0, 192, 0), QColor(96, 160, 0)},
        {QColor(192, 192, 192), QColor(160, 160, 164), QColor(128, 128, 128)},
    };
    const Tones& t = tones[static_cast<int>(ball)];
    QImage img = oliveSquare(17);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect body(2, 2, 12, 12);
    QPainterPath circle;
    circle.addEllipse(body);
    p.setClipPath(circle);
    p.fillRect(body, t.shade);
    p.setPen(Qt::NoPen);
    p.setBrush(t.face);
    p.drawEllipse(QRect(2, 2, 10, 10));
    p.setBrush(t.centre);
    p.drawEllipse(QRect(5, 5, 5, 5));
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(body);
    return img;
}

QIcon buttonIcon(ButtonGlyph glyph)
{
    return cht::platform::glyphIcon(
        [glyph](QPainter& p, const cht::platform::GlyphTone& tone) { drawGlyph(p, glyph, tone); },
        QColor(150, 150, 150));
}

} // namespace Cli_cot09800::pictures
