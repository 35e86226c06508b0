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
/// not a push_back; finish() trims the string to what was written. The string is zero-filled at
/// most a step ahead of the cursor: a packet of tens of megabytes is neither filled twice nor
/// faulted in far past its end, and room reserved up front is taken without moving a byte.
class StringOut {
public:
    using Ch = char;
    explicit StringOut(std::string& s) : m_s(&s), m_used(s.size()) {}
    StringOut(const StringOut&) = delete;
    StringOut& operator=(const StringOut&) = delete;
    ~StringOut() { finish(); }

    void Put(char c)
    {
        if (m_used == m_s->size())
            grow(1);
        (*m_s)[m_used++] = c;
    }
    void Flush() {}
    void reserve(std::size_t n)
    {
        if (m_s->size() - m_used < n)
            grow(n);
    }
    /// Room for `total` bytes in all, taken as the text grows.
    void reserveTotal(std::size_t total) { m_s->reserve(total); }
    void putUnsafe(char c) { (*m_s)[m_used++] = c; }
    void append(std::string_view v)
    {
        if (v.empty())
            return;
        if (m_s->size() - m_used >= v.size()) {
            std::memcpy(m_s->data() + m_used, v.data(), v.size());
            m_used += v.size();
            return;
        }
        // Copied once, not zero-filled first.
        m_s->resize(m_used);
        m_s->append(v);
        m_used = m_s->size();
    }
    /// Bytes written so far into the current string.
    std::size_t used() const { return m_used; }
    void finish() { m_s->resize(m_used); }
    /// Takes back the last byte written.
    char unput() { return (*m_s)[--m_used]; }
    /// Goes on writing at the end of another string (finish() the current one first).
    void switchTo(std::string& s)
    {
        m_s = &s;
        m_used = s.size();
    }

private:
    static constexpr std::size_t kMaxStep = std::size_t(1) << 20;
    // Past the capacity the string doubles it, moving what it holds.
    void grow(std::size_t n)
    {
        m_s->resize(m_used + n + std::clamp<std::size_t>(m_used, 1024, kMaxStep));
    }

    std::string* m_s;
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
