// The face every screen is drawn in.
#pragma once

class QWidget;

namespace cht::framework {

/// Gives `screen` (and so its children) the 8-point "MS Sans Serif" the screens were laid out
/// in. That face is mapped once to Liberation Sans, whose digits fit the designed column widths
/// ("04/12/2026" in 62 pixels), where the system's default sans face would cut them.
void applyScreenFont(QWidget& screen);

} // namespace cht::framework
