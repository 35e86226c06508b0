#include "framework/Glyphs.h"

#include "platform/widgets/GlyphIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace cht::framework {

namespace {

constexpr int kSize = 16;

void drawGlyph(QPainter& p, Glyph glyph, const cht::platform::GlyphTone& tone)
{
    const QColor blue = tone(QColor(30, 80, 170));
    const QColor green = tone(QColor(20, 140, 40));
    const QColor red = tone(QColor(190, 30, 30));
    const QColor dark = tone(QColor(60, 60, 60));
    switch (glyph) {
    case Glyph::Incluir: // plus
        p.setPen(QPen(green, 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(8, 2, 8, 14);
        p.drawLine(2, 8, 14, 8);
        break;
    case Glyph::Alterar: { // pencil
        p.setPen(QPen(dark, 1));
        p.setBrush(tone(QColor(230, 180, 40)));
        QPainterPath pencil;
        pencil.moveTo(3, 13);
        pencil.lineTo(4, 10);
        pencil.lineTo(11, 3);
        pencil.lineTo(13, 5);
        pencil.lineTo(6, 12);
        pencil.closeSubpath();
        p.drawPath(pencil);
        break;
    }
    case Glyph::Excluir: // minus
        p.setPen(QPen(red, 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(2, 8, 14, 8);
        break;
    case Glyph::Localizar: // magnifier
        p.setPen(QPen(blue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(6.5, 6.5), 4, 4);
        p.setPen(QPen(dark, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(10, 10, 14, 14);
        break;
    case Glyph::Verificar: { // circular arrow
        p.setPen(QPen(green, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        QPainterPath head;
        head.moveTo(9, 1);
        head.lineTo(14, 4);
        head.lineTo(9, 7);
        head.closeSubpath();
        p.drawPath(head);
        break;
    }
    case Glyph::Imprimir: // printer
        p.setPen(QPen(dark, 1));
        p.setBrush(tone(QColor(250, 250, 250)));
        p.drawRect(4, 1, 8, 5);
        p.setBrush(tone(QColor(170, 170, 170)));
        p.drawRect(1, 6, 14, 6);
        p.setBrush(tone(QColor(250, 250, 250)));
        p.drawRect(4, 10, 8, 5);
        break;
    case Glyph::Exportar: // a sheet of rows with an arrow out
        p.setPen(QPen(dark, 1));
        p.setBrush(tone(QColor(250, 250, 250)));
        p.drawRect(1, 1, 9, 13);
        p.setPen(QPen(green, 1));
        for (int y = 4; y <= 11; y += 3)
            p.drawLine(3, y, 8, y);
        p.setPen(QPen(blue, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(8, 9, 15, 9);
        p.drawLine(12, 6, 15, 9);
        p.drawLine(12, 12, 15, 9);
        break;
    case Glyph::SalvarPdf: { // a red sheet marked PDF
        p.setPen(QPen(dark, 1));
        p.setBrush(tone(QColor(250, 250, 250)));
        p.drawRect(2, 1, 11, 14);
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawRect(2, 8, 12, 6);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(6);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(2, 8, 12, 6), Qt::AlignCenter, QStringLiteral("PDF"));
        break;
    }
    case Glyph::Ajuda: { // question mark in a circle
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawEllipse(1, 1, 14, 14);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Glyph::Fechar: // door with an arrow out
        p.setPen(QPen(dark, 1));
        p.setBrush(tone(QColor(150, 100, 50)));
        p.drawRect(2, 1, 7, 14);
        p.setPen(QPen(red, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(9, 8, 15, 8);
        p.drawLine(12, 5, 15, 8);
        p.drawLine(12, 11, 15, 8);
        break;
    case Glyph::Confirmar: // tick
        p.setPen(QPen(green, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(2, 8), QPointF(6, 12), QPointF(14, 3)}));
        break;
    case Glyph::Cancelar: // cross
        p.setPen(QPen(red, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    case Glyph::Opcoes: // list with a disk
        p.setPen(QPen(dark, 2));
        p.drawLine(2, 3, 10, 3);
        p.drawLine(2, 7, 10, 7);
        p.drawLine(2, 11, 7, 11);
        p.setPen(QPen(dark, 1));
        p.setBrush(blue);
        p.drawRect(9, 9, 6, 6);
        break;
    }
}

} // namespace

QIcon glyphIcon(Glyph glyph)
{
    return cht::platform::glyphIcon(
        [glyph](QPainter& p, const cht::platform::GlyphTone& tone) { drawGlyph(p, glyph, tone); },
        QColor(160, 160, 160), kSize);
}

} // namespace cht::framework
