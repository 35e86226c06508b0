// Private: RapidJSON's Writer over an output stream that writes straight into a std::string,
// and the helpers every encoder shares.
#pragma once

#include "FieldDef.h"

#include <rapidjson/writer.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

/// Appends to a string. Grows it in steps and keeps a cursor, so that a character costs a store,
/// not a push_back; finish() trims the string to what was written.
class StringOut {
public:
    using Ch = char;
    explicit StringOut(std::string& s) : m_s(s), m_used(s.size()) {}
    StringOut(const StringOut&) = delete;
    StringOut& operator=(const StringOut&) = delete;
    ~StringOut() { finish(); }

    void Put(char c)
    {
        if (m_used == m_s.size())
            grow(1);
        m_s[m_used++] = c;
    }
    void Flush() {}
    void reserve(std::size_t n)
    {
        if (m_s.size() - m_used < n)
            grow(n);
    }
    void putUnsafe(char c) { m_s[m_used++] = c; }
    void append(std::string_view v)
    {
        if (v.empty())
            return;
        reserve(v.size());
        std::memcpy(m_s.data() + m_used, v.data(), v.size());
        m_used += v.size();
    }
    void finish() { m_s.resize(m_used); }

private:
    void grow(std::size_t n) { m_s.resize(std::max(m_s.size() * 2, m_used + n + 1024)); }

    std::string& m_s;
    std::size_t m_used;
};

// Found by argument-dependent lookup from inside RapidJSON's Writer.
inline void PutReserve(StringOut& out, std::size_t count)
{
    out.reserve(count);
}
inline void PutUnsafe(StringOut& out, char c)
{
    out.putUnsafe(c);
}

/// RapidJSON's Writer keeps commas and nesting right; texts and raw packets bypass its
/// per-character loop through the stream underneath.
class JsonWriter : public rapidjson::Writer<StringOut> {
public:
    explicit JsonWriter(StringOut& out) : rapidjson::Writer<StringOut>(out) {}
    StringOut& stream() { return *os_; }
};

/// Writes a text value that is known to be valid UTF-8, escaping only what JSON requires.
void writeString(JsonWriter& w, std::string_view s);
/// [{"name":..,"type":..,"size":..},...]; throws WireError for empty or repeated names.
void writeFields(JsonWriter& w, const std::vector<FieldDef>& fields, std::string_view prefix);
/// Where a value sits, spelled out only when an error names it: before + (index + 1).
struct Place {
    std::string_view before; // "da linha ", "de \"old\" da alteração "
    std::size_t index = 0;
    std::string text() const { return std::string(before) + std::to_string(index + 1); }
};

/// One value of a field, checked against its type; place names it in the error.
void writeValue(JsonWriter& w, const FieldDef& f, const Value& v, std::string_view prefix,
                const Place& place);
/// Valid UTF-8 with every invalid byte replaced by '?', for messages that must always go out.
std::string sanitizedUtf8(std::string_view s);

} // namespace cht::wire
