// Tool-bar glyphs drawn in code: one painting routine gives both the normal and the greyed
// picture of a button's icon.
#pragma once

#include "cht_platform_export.h"

#include <QColor>
#include <QIcon>

#include <functional>

class QPainter;

namespace cht::platform {

/// The colour to paint for a glyph's colour in the state being painted.
using GlyphTone = std::function<QColor(const QColor& color)>;
/// Paints a glyph onto a transparent, antialiased square.
using GlyphPainter = std::function<void(QPainter& painter, const GlyphTone& tone)>;

/// An icon whose normal picture is `paint` with every toned colour as given, and whose disabled
/// picture is the same painting with every toned colour `disabledGrey`.
CHT_PLATFORM_EXPORT QIcon glyphIcon(const GlyphPainter& paint, const QColor& disabledGrey,
                                    int size = 16);

} // namespace cht::platform
