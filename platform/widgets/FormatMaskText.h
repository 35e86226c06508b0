// Edit-mask formatting as the toolkit's Mask unit does it.
#pragma once

#include "cht_platform_export.h"

#include <QChar>
#include <QString>

namespace cht::platform {

/// Formats `value` with an edit mask of up to three sections separated by ';' in its last five
/// characters: the mask itself, the save-literals flag ('0': the value holds no literals) and the
/// blank character (default '_').
///
/// Mask characters: 0 9 # (digit), L l (letter), A a (letter or digit), C c (any), upper case
/// required, lower case optional; '/' and ':' are the date and time separators (pt-BR: the same
/// characters); '\' makes the next character a literal; '>' '<' '!' are directives and take no
/// place; every other character is a literal.
///
/// With the flag '0' the literals are inserted between the value's characters and missing
/// positions are padded with blanks (or, when the mask holds '!', the value is placed from the
/// end). Otherwise the value is expected to carry the literals already: each sub-field between two
/// literals is cut or blank-padded to its length. As in the original routine, the padding is a
/// space in both cases (the blank-character section is read by editors only), characters are not
/// validated against the mask, and the case directives do not change the value.
CHT_PLATFORM_EXPORT QString FormatMaskText(const QString& editMask, const QString& value);

/// True when `value` fills the mask exactly: one character per position, each of the position's
/// kind (digits for 0 9 #, letters for L l, letters or digits for A a; optional positions also take
/// a space), and, when the mask saves its literals, the literals in their places. An empty mask
/// fits nothing. Callers show a value that does not fit as it stands rather than let the
/// formatting cut or pad it.
CHT_PLATFORM_EXPORT bool MaskValueFits(const QString& editMask, const QString& value);

/// False when the mask's second section is '0' (the value is saved without literals).
CHT_PLATFORM_EXPORT bool MaskGetMaskSave(const QString& editMask);
/// The mask's blank character: its third section, or '_'.
CHT_PLATFORM_EXPORT QChar MaskGetMaskBlank(const QString& editMask);

} // namespace cht::platform
