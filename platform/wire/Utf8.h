// UTF-8 helpers: field sizes count characters (code points), not bytes.
#pragma once

#include "cht_wire_export.h"

#include <cstddef>
#include <string_view>

namespace cht::wire {

/// Cuts a UTF-8 text to at most `chars` characters (code points).
CHT_WIRE_EXPORT std::string_view cutToChars(std::string_view utf8, std::size_t chars);
/// Number of characters (code points) of a valid UTF-8 text.
CHT_WIRE_EXPORT std::size_t charCount(std::string_view utf8);
/// True when the bytes are valid UTF-8.
CHT_WIRE_EXPORT bool isValidUtf8(std::string_view bytes);

} // namespace cht::wire
