// Key list: the list of client or employee codes that the pick list produces and GetCHT reads.
// A JSON array of strings, so that any code travels (commas and quotes included); an empty
// selection is the empty text.
#pragma once

#include "cht_wire_export.h"

#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

CHT_WIRE_EXPORT std::string encodeKeyList(const std::vector<std::string>& keys);
/// Strict: anything but an empty text or a JSON array of strings throws WireError.
CHT_WIRE_EXPORT std::vector<std::string> decodeKeyList(std::string_view text);

} // namespace cht::wire
