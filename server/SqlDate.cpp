#include "SqlDate.h"

#include "StoreError.h"

#include "platform/wire/OleDate.h"

#include <cstdio>

namespace cht::server::sqldate {

namespace {

std::string format(const wire::CivilDateTime& c)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month,
                  c.day, c.hour, c.minute, c.second, c.msec);
    return buffer;
}

bool digits(std::string_view text, std::size_t at, std::size_t count, int& out)
{
    if (at + count > text.size())
        return false;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

[[noreturn]] void bad(std::string_view text)
{
    throw StoreError("Data inválida no banco: \"" + std::string(text) + "\"");
}

} // namespace

std::string fromOle(double ole)
{
    return format(wire::civilFromOle(ole));
}

std::string fromDay(std::int64_t day)
{
    wire::CivilDateTime c = wire::civilFromOle(static_cast<double>(day));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buffer;
}

std::string dayAfter(std::int64_t day)
{
    if (!wire::isOleInRange(static_cast<double>(day + 1)))
        return "infinity";
    return fromDay(day + 1);
}

double toOle(std::string_view text)
{
    wire::CivilDateTime c;
    if (!digits(text, 0, 4, c.year) || text.size() < 10 || text[4] != '-' ||
        !digits(text, 5, 2, c.month) || text[7] != '-' || !digits(text, 8, 2, c.day))
        bad(text);
    c.hour = c.minute = c.second = c.msec = 0;
    if (text.size() > 10) {
        if ((text[10] != ' ' && text[10] != 'T') || !digits(text, 11, 2, c.hour) ||
            text.size() < 16 || text[13] != ':' || !digits(text, 14, 2, c.minute))
            bad(text);
        std::size_t at = 16;
        if (at < text.size() && text[at] == ':') {
            if (!digits(text, at + 1, 2, c.second))
                bad(text);
            at += 3;
            if (at < text.size() && text[at] == '.') {
                ++at;
                int scale = 100;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                    c.msec += (text[at] - '0') * scale;
                    scale /= 10;
                    ++at;
                }
            }
        }
        if (at != text.size())
            bad(text);
    }
    try {
        return wire::oleFromCivil(c);
    } catch (const std::exception&) {
        bad(text);
    }
}

} // namespace cht::server::sqldate
