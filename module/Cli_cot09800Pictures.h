// The pictures of the CHT management screen, drawn in code: the cell pictures that the grids
// paint (16 x 16 on the olive key colour), the status balls of the legend (17 x 17) and the
// glyphs of the screen's own tool-bar buttons.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

namespace Cli_cot09800::pictures {

/// A 10 x 10 check box at pixels 2 to 11 with a black top and left edge and a light-grey
/// (192, 192, 192) line to the right of and below it; `inside` fills it, `ticked` adds a tick.
QImage checkBox(const QColor& inside, bool ticked);
/// The tick column's title, "4" in a symbol face: a black check mark on transparency.
QImage titleCheckMark();
/// A green tick (the "OK" mark).
QImage okMark();
/// A red cross (the "not OK" mark).
QImage notOkMark();

enum class Ball { Yellow, Blue, Green, Grey };
/// A status ball 13 pixels across with a black outline, on the olive key colour.
QImage statusBall(Ball ball);

enum class ButtonGlyph { Filter, Approve, NotBill, Delete, Justification, DueDates };
/// The icon of one of the screen's tool-bar buttons, with its greyed disabled picture.
QIcon buttonIcon(ButtonGlyph glyph);

} // namespace Cli_cot09800::pictures
