#include "JsonOutput.h"

#include "Messages.h"
#include "OleDate.h"
#include "Utf8.h"
#include "WireError.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace cht::wire {

namespace {

[[noreturn]] void wrongKind(std::string_view prefix, const FieldDef& f, const Place& place,
                            const char* expected)
{
    throw WireError(std::string(prefix) + "campo " + inQuotes(f.name) + " " + place.text() +
                    " deve ser " + expected + ".");
}

// Whether any of eight bytes needs an escape: a control character, a quote or a backslash. Exact
// for the word as a whole: a false mark only ever follows a true one.
inline bool anyToEscape(std::uint64_t word)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto below = [](std::uint64_t v, std::uint64_t n) {
        return (v - kOnes * n) & ~v & kHighs;
    };
    return (below(word, 0x20) | below(word ^ (kOnes * '"'), 1) | below(word ^ (kOnes * '\\'), 1)) !=
           0;
}

} // namespace

void writeString(JsonWriter& w, std::string_view s)
{
    // 0: copied as is; 'u': \u00XX; anything else: a backslash and that letter.
    static constexpr auto kEscape = [] {
        std::array<char, 256> table{};
        for (int c = 0; c < 0x20; ++c)
            table[static_cast<std::size_t>(c)] = 'u';
        table['\b'] = 'b';
        table['\f'] = 'f';
        table['\n'] = 'n';
        table['\r'] = 'r';
        table['\t'] = 't';
        table['"'] = '"';
        table['\\'] = '\\';
        return table;
    }();
    static constexpr char kHex[] = "0123456789abcdef";
    w.RawValue("", 0, rapidjson::kStringType); // the separator and the writer's bookkeeping
    StringOut& out = w.stream();
    out.reserve(s.size() + 2);
    out.putUnsafe('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        // Eight bytes at a time while none needs an escape, as in most texts.
        for (std::uint64_t word = 0; i + 8 <= s.size(); i += 8) {
            std::memcpy(&word, s.data() + i, 8);
            if (anyToEscape(word))
                break;
        }
        if (i == s.size())
            break;
        const char e = kEscape[static_cast<unsigned char>(s[i])];
        if (!e)
            continue;
        out.append(s.substr(run, i - run));
        const char escaped[6] = {'\\',
                                 e,
                                 '0',
                                 '0',
                                 kHex[(static_cast<unsigned char>(s[i]) >> 4) & 0xF],
                                 kHex[static_cast<unsigned char>(s[i]) & 0xF]};
        out.append(std::string_view(escaped, e == 'u' ? 6 : 2));
        run = i + 1;
    }
    out.append(s.substr(run));
    out.Put('"');
}

void writeFields(JsonWriter& w, const std::vector<FieldDef>& fields, std::string_view prefix)
{
    w.StartArray();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDef& f = fields[i];
        if (f.name.empty())
            throw WireError(std::string(prefix) + "campo sem nome na posição " +
                            std::to_string(i + 1) + ".");
        if (!isValidUtf8(f.name))
            throw WireError(std::string(prefix) + "nome de campo com UTF-8 inválido na posição " +
                            std::to_string(i + 1) + ".");
        for (std::size_t j = 0; j < i; ++j)
            if (sameFieldName(fields[j].name, f.name))
                throw WireError(std::string(prefix) + "campo repetido " + inQuotes(f.name) + ".");
        if (f.size > 0x7FFFFFFFu)
            throw WireError(std::string(prefix) + "tamanho inválido no campo " + inQuotes(f.name) +
                            ".");
        w.StartObject();
        w.Key("name", 4);
        writeString(w, f.name);
        w.Key("type", 4);
        const std::string_view type = fieldTypeName(f.type);
        w.String(type.data(), static_cast<rapidjson::SizeType>(type.size()));
        if (f.type == FieldType::Text) {
            w.Key("size", 4);
            w.Uint(f.size);
        }
        w.EndObject();
    }
    w.EndArray();
}

void writeValue(JsonWriter& w, const FieldDef& f, const Value& v, std::string_view prefix,
                const Place& place)
{
    if (std::holds_alternative<std::monostate>(v)) {
        w.Null();
        return;
    }
    switch (f.type) {
    case FieldType::Text: {
        const auto* s = std::get_if<std::string>(&v);
        if (!s)
            wrongKind(prefix, f, place, "um texto ou nulo");
        if (!isValidUtf8(*s))
            throw WireError(std::string(prefix) + "campo " + inQuotes(f.name) + " " + place.text() +
                            " tem UTF-8 inválido.");
        writeString(w, *s);
        return;
    }
    case FieldType::DateTime:
    case FieldType::Float: {
        double d = 0;
        if (const auto* p = std::get_if<double>(&v))
            d = *p;
        else if (const auto* i = std::get_if<std::int64_t>(&v))
            d = static_cast<double>(*i);
        else
            wrongKind(prefix, f, place,
                      f.type == FieldType::Float ? "um número ou nulo" : "uma data e hora ou nulo");
        if (!std::isfinite(d) || (f.type == FieldType::DateTime && !isOleInRange(d)))
            throw WireError(std::string(prefix) + "campo " + inQuotes(f.name) + " " + place.text() +
                            " tem valor fora do intervalo.");
        w.Double(d);
        return;
    }
    case FieldType::Integer: {
        if (const auto* i = std::get_if<std::int64_t>(&v)) {
            w.Int64(*i);
            return;
        }
        const auto* d = std::get_if<double>(&v);
        if (!d || *d != std::trunc(*d) || *d < -9223372036854775808.0 ||
            *d >= 9223372036854775808.0)
            wrongKind(prefix, f, place, "um número inteiro ou nulo");
        w.Int64(static_cast<std::int64_t>(*d));
        return;
    }
    }
}

std::string sanitizedUtf8(std::string_view s)
{
    if (isValidUtf8(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t take = 0;
        for (std::size_t len = 1; len <= 4 && i + len <= s.size(); ++len)
            if (isValidUtf8(s.substr(i, len))) {
                take = len;
                break;
            }
        if (take == 0) {
            out += '?';
            ++i;
        } else {
            out.append(s.substr(i, take));
            i += take;
        }
    }
    return out;
}

} // namespace cht::wire
