// Private: small pieces of the codec's Portuguese messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cht::wire {

/// "1 valor", "3 valores".
inline std::string valueCount(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " valor" : " valores");
}

/// "1 campo", "3 campos".
inline std::string fieldCount(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " campo" : " campos");
}

/// The name between double quotes, as messages show it.
inline std::string inQuotes(std::string_view s)
{
    return "\"" + std::string(s) + "\"";
}

} // namespace cht::wire
