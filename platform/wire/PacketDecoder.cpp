#include "PacketDecoder.h"

#include "Messages.h"
#include "OleDate.h"
#include "Utf8.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace cht::wire {

namespace {

using simdjson::error_code;

std::string cellPlace(const FieldDef& f, std::size_t row)
{
    return "campo " + inQuotes(f.name) + " da linha " + std::to_string(row + 1);
}

const char* expectedOf(FieldType t)
{
    switch (t) {
    case FieldType::Text:
        return "um texto ou nulo";
    case FieldType::DateTime:
        return "uma data e hora (número) ou nulo";
    case FieldType::Float:
        return "um número ou nulo";
    case FieldType::Integer:
        return "um número inteiro ou nulo";
    }
    return "";
}

// A typed read failed: a wrong type is a shape error, anything else a JSON error at the place.
[[noreturn]] void cellError(std::string_view prefix, error_code e, const std::string& place,
                            FieldType t)
{
    if (e == simdjson::INCORRECT_TYPE)
        throwShape(prefix, place + " deve ser " + expectedOf(t));
    throwJsonError(e, prefix, place);
}

// Hands each member's key and value to f in order; a member or key that cannot be read throws,
// naming where (empty for the top level).
template <class F>
inline void forEachMember(ondemand::object& object, std::string_view prefix, std::string_view where,
                          F&& f)
{
    forEachMember(
        object, prefix, [where] { return std::string(where); }, std::forward<F>(f));
}

// The same with a description of the place made only when an error needs it: a delta of
// 100,000 rows must not build a message per change.
template <class W, class F>
requires std::is_invocable_r_v<std::string, W>
inline void forEachMember(ondemand::object& object, std::string_view prefix, W&& where, F&& f)
{
    for (auto member : object) {
        ondemand::field field;
        std::string_view key;
        if (auto e = std::move(member).get(field))
            throwJsonError(e, prefix, where());
        if (auto e = field.unescaped_key().get(key))
            throwJsonError(e, prefix, where());
        f(key, field.value());
    }
}

// After a failed typed read: true when the value is null (and consumes it).
inline bool readNull(ondemand::value& v)
{
    bool null = false;
    return !v.is_null().get(null) && null;
}

inline bool dateTimeInRange(double v)
{
    if (!(v > -657435.0 && v < 2958466.0))
        return false;
    // Only the last day needs the exact check (its last half millisecond rounds into 10000).
    return v < 2958465.0 || isOleInRange(v);
}

// A number written without fraction or exponent that still is no int64: too big, not a float.
inline bool isWholeNumberToken(ondemand::value& v)
{
    ondemand::json_type type;
    if (v.type().get(type) || type != ondemand::json_type::number)
        return false;
    const std::string_view token = v.raw_json_token();
    return token.find_first_of(".eE") == std::string_view::npos;
}

using Read = PacketDecoder::Read;
using CellResult = PacketDecoder::CellResult;

// One cell handed to the callback of its kind; the caller stores it.
template <class OnText, class OnNumber, class OnInteger, class OnNull>
inline CellResult readCell(ondemand::value& v, FieldType type, OnText onText, OnNumber onNumber,
                           OnInteger onInteger, OnNull onNull)
{
    switch (type) {
    case FieldType::Text: {
        std::string_view s;
        const error_code e = v.get_string().get(s);
        if (!e) {
            onText(s);
            return {};
        }
        if (e == simdjson::INCORRECT_TYPE && readNull(v)) {
            onNull();
            return {};
        }
        return {Read::Error, e};
    }
    case FieldType::DateTime:
    case FieldType::Float: {
        double d = 0;
        const error_code e = v.get_double().get(d);
        if (!e) {
            if (type == FieldType::DateTime && !dateTimeInRange(d))
                return {Read::Error, simdjson::NUMBER_OUT_OF_RANGE};
            onNumber(d);
            return {};
        }
        if (e == simdjson::INCORRECT_TYPE && readNull(v)) {
            onNull();
            return {};
        }
        return {Read::Error, e};
    }
    case FieldType::Integer: {
        std::int64_t i = 0;
        const error_code e = v.get_int64().get(i);
        if (!e) {
            onInteger(i);
            return {};
        }
        if (e == simdjson::INCORRECT_TYPE && readNull(v)) {
            onNull();
            return {};
        }
        if (e == simdjson::INCORRECT_TYPE && isWholeNumberToken(v))
            return {Read::Error, simdjson::NUMBER_OUT_OF_RANGE};
        return {Read::Error, e};
    }
    }
    return {Read::Error, simdjson::INCORRECT_TYPE};
}

} // namespace

const char* PacketDecoder::location()
{
    if (!m_input)
        return nullptr;
    const char* at = nullptr;
    if (m_input->document().current_location().get(at))
        return nullptr;
    return at;
}

std::vector<FieldDef> PacketDecoder::fields(ondemand::value value)
{
    ondemand::array list;
    if (auto e = value.get_array().get(list)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(m_prefix, "\"fields\" deve ser uma lista");
        throwJsonError(e, m_prefix, "lista \"fields\"");
    }
    std::vector<FieldDef> out;
    for (auto item : list) {
        const std::string place = "campo " + std::to_string(out.size() + 1) + " de \"fields\"";
        ondemand::object object;
        if (auto e = item.get_object().get(object)) {
            if (e == simdjson::INCORRECT_TYPE)
                throwShape(m_prefix, place + " deve ser um objeto");
            throwJsonError(e, m_prefix, place);
        }
        FieldDef f;
        bool hasName = false, hasType = false, hasSize = false;
        forEachMember(object, m_prefix, place, [&](std::string_view key, ondemand::value v) {
            if (key == "name" && !hasName) {
                std::string_view name;
                if (auto e = v.get_string().get(name)) {
                    if (e == simdjson::INCORRECT_TYPE)
                        throwShape(m_prefix, place + ": \"name\" deve ser um texto");
                    throwJsonError(e, m_prefix, place);
                }
                f.name = name;
                hasName = true;
            } else if (key == "type" && !hasType) {
                std::string_view type;
                if (auto e = v.get_string().get(type)) {
                    if (e == simdjson::INCORRECT_TYPE)
                        throwShape(m_prefix, place + ": \"type\" deve ser um texto");
                    throwJsonError(e, m_prefix, place);
                }
                if (type == "text")
                    f.type = FieldType::Text;
                else if (type == "datetime")
                    f.type = FieldType::DateTime;
                else if (type == "float")
                    f.type = FieldType::Float;
                else if (type == "integer")
                    f.type = FieldType::Integer;
                else
                    throwShape(m_prefix, place + ": tipo desconhecido " + inQuotes(type));
                hasType = true;
            } else if (key == "size" && !hasSize) {
                std::uint64_t size = 0;
                if (auto e = v.get_uint64().get(size); e || size > 0x7FFFFFFFu)
                    throwShape(m_prefix,
                               place + ": \"size\" deve ser um inteiro de 0 a 2147483647");
                f.size = static_cast<std::uint32_t>(size);
                hasSize = true;
            } else {
                throwShape(m_prefix, place + ": chave inesperada ou repetida " + inQuotes(key));
            }
        });
        if (!hasName || f.name.empty())
            throwShape(m_prefix, place + " sem nome");
        if (!hasType)
            throwShape(m_prefix, place + " (" + inQuotes(f.name) + ") sem tipo");
        if (f.type != FieldType::Text)
            f.size = 0;
        for (const FieldDef& other : out)
            if (sameFieldName(other.name, f.name))
                throwShape(m_prefix, "campo repetido " + inQuotes(f.name));
        out.push_back(std::move(f));
    }
    return out;
}

std::size_t PacketDecoder::reserveFromSample(ColumnTable& t, const char* rowsStart, const char* at,
                                             const char* end, std::size_t sampled)
{
    if (!rowsStart || !at || !end || at <= rowsStart || end < at)
        return 0;
    const auto perRow = static_cast<double>(at - rowsStart) / static_cast<double>(sampled);
    const auto left = static_cast<double>(end - at);
    // A little over the estimate, so that one growth at the very end is rare.
    const double estimate = (static_cast<double>(sampled) + left / perRow) * 1.05 + 16.0;
    if (estimate > 1e8)
        return 0;
    const auto rows = static_cast<std::size_t>(estimate);
    t.reserveRows(rows);
    for (std::size_t i = 0; i < t.m_columns.size(); ++i) {
        if (t.m_fields[i].type != FieldType::Text)
            continue;
        auto& arena = t.m_columns[i].arena;
        const double perCell = static_cast<double>(arena.size()) / static_cast<double>(sampled);
        arena.reserve(static_cast<std::size_t>(perCell * static_cast<double>(rows)) + 64);
    }
    return rows;
}

PacketDecoder::CellResult PacketDecoder::appendCell(ondemand::value& cell, ColumnTable& t,
                                                    std::size_t col)
{
    const FieldDef& f = t.m_fields[col];
    ColumnTable::Column& c = t.m_columns[col];
    return readCell(
        cell, f.type,
        [&](std::string_view s) {
            if (f.size)
                s = cutToChars(s, f.size);
            const std::size_t at = c.arena.size();
            if (at + s.size() >= ColumnTable::kNullLength)
                throwShape(m_prefix, "textos demais no campo " + inQuotes(f.name));
            c.arena.insert(c.arena.end(), s.begin(), s.end());
            c.offset.push_back(static_cast<std::uint32_t>(at));
            c.length.push_back(static_cast<std::uint32_t>(s.size()));
        },
        [&](double d) {
            c.numbers.push_back(d);
            c.nulls.push_back(0);
        },
        [&](std::int64_t i) {
            c.integers.push_back(i);
            c.nulls.push_back(0);
        },
        [&] { ColumnTable::appendNull(c, f.type); });
}

void PacketDecoder::readRow(simdjson::simdjson_result<ondemand::value> item, ColumnTable& t,
                            std::size_t row)
{
    const std::size_t width = t.m_fields.size();
    ondemand::array cells;
    if (auto e = item.get_array().get(cells)) {
        const std::string place = "linha " + std::to_string(row + 1);
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(m_prefix, "a " + place + " não é uma lista de valores");
        throwJsonError(e, m_prefix, place);
    }
    std::size_t col = 0;
    for (auto cellItem : cells) {
        ondemand::value cell;
        if (auto e = cellItem.get(cell))
            throwJsonError(e, m_prefix, "linha " + std::to_string(row + 1));
        if (col == width)
            throwShape(m_prefix, "a linha " + std::to_string(row + 1) + " tem mais de " +
                                     valueCount(width) + ", um por campo");
        const FieldDef& f = t.m_fields[col];
        const CellResult r = appendCell(cell, t, col);
        if (r.read != Read::Ok)
            cellError(m_prefix, r.error, cellPlace(f, row), f.type);
        ++col;
    }
    if (col != width)
        throwShape(m_prefix, "a linha " + std::to_string(row + 1) + " tem " + valueCount(col) +
                                 ", mas o pacote tem " + fieldCount(width));
    t.m_rows = row + 1;
}

void PacketDecoder::rows(ondemand::value value, ColumnTable& t)
{
    const char* rowsStart = location();
    ondemand::array list;
    if (auto e = value.get_array().get(list)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(m_prefix, "\"rows\" deve ser uma lista");
        throwJsonError(e, m_prefix, "lista \"rows\"");
    }
    const JsonInput::RowsApart* apart = m_input ? m_input->rowsApart() : nullptr;
    if (apart && rowsStart == apart->standIn)
        rowsInPieces(*apart, t); // the list in the text is the empty one that stands for them
    constexpr std::size_t kSample = 32;
    std::size_t row = t.m_rows;
    for (auto item : list) {
        readRow(item, t, row);
        ++row;
        if (row == kSample && m_input)
            reserveFromSample(t, rowsStart, location(), m_input->end(), kSample);
    }
}

namespace {

// Parsers of the pieces of long lists, kept: each holds buffers the size of its piece.
class PieceParsers {
public:
    std::unique_ptr<ondemand::parser> take()
    {
        std::lock_guard lock(m_mutex);
        if (m_kept.empty())
            return std::make_unique<ondemand::parser>();
        std::unique_ptr<ondemand::parser> p = std::move(m_kept.back());
        m_kept.pop_back();
        return p;
    }
    void give(std::unique_ptr<ondemand::parser> p)
    {
        std::lock_guard lock(m_mutex);
        if (m_kept.size() < kMaxPieces)
            m_kept.push_back(std::move(p));
    }
    static constexpr std::size_t kMaxPieces = 4;

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<ondemand::parser>> m_kept;
};

PieceParsers& pieceParsers()
{
    static PieceParsers kept;
    return kept;
}

// Below this, a list is read in one piece.
constexpr std::size_t kPieceBytes = 2u << 20;

} // namespace

bool PacketDecoder::readPiece(const char* begin, std::size_t size, std::size_t readable,
                              ColumnTable& t, const char* reserveEnd)
{
    std::unique_ptr<ondemand::parser> parser = pieceParsers().take();
    bool ok = false;
    try {
        ondemand::document doc;
        ondemand::array list;
        if (!parser->iterate(begin, size, readable).get(doc) && !doc.get_array().get(list)) {
            constexpr std::size_t kSample = 32;
            std::size_t row = 0;
            for (auto item : list) {
                readRow(item, t, row);
                if (++row == kSample) {
                    const char* at = nullptr;
                    if (!doc.current_location().get(at))
                        reserveFromSample(t, begin, at, reserveEnd, kSample);
                }
            }
            // The piece is its list and nothing more.
            const char* at = nullptr;
            ok = doc.current_location().get(at) == simdjson::OUT_OF_BOUNDS;
        }
    } catch (...) {
        ok = false;
    }
    pieceParsers().give(std::move(parser));
    return ok;
}

void PacketDecoder::rowsInPieces(const JsonInput::RowsApart& rows, ColumnTable& t)
{
    char* const begin = rows.begin;
    char* const end = rows.begin + rows.size;
    // Where the pieces meet: a line break between two rows ("]\n,[") near each share of the
    // text. Only the server's writer breaks lines there: JSON keeps none inside a text.
    const std::size_t wanted = rows.size < kPieceBytes
                                   ? 1
                                   : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1,
                                                             PieceParsers::kMaxPieces);
    std::vector<char*> joins;
    for (std::size_t k = 1; k < wanted; ++k) {
        char* from = begin + rows.size / wanted * k;
        if (!joins.empty() && from <= joins.back())
            from = joins.back() + 1;
        auto* at =
            static_cast<char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
        if (!at || end - at < 3 || at[-1] != ']' || at[1] != ',')
            break;
        joins.push_back(at);
    }
    // Each piece made a list of its own while it is read: the line break closes the piece
    // before, the comma opens the next. Put back on every way out.
    struct PutBack {
        std::vector<char*>& joins;
        ~PutBack()
        {
            for (char* at : joins) {
                at[0] = '\n';
                at[1] = ',';
            }
        }
    } putBack{joins};
    for (char* at : joins) {
        at[0] = ']';
        at[1] = '[';
    }
    const std::size_t pieces = joins.size() + 1;
    auto pieceBegin = [&](std::size_t k) { return k == 0 ? begin : joins[k - 1] + 1; };
    auto pieceSize = [&](std::size_t k) {
        return static_cast<std::size_t>((k + 1 == pieces ? end : joins[k] + 1) - pieceBegin(k));
    };
    auto readableFrom = [&](const char* at) {
        return rows.readable - static_cast<std::size_t>(at - begin);
    };
    std::vector<ColumnTable> parts;
    parts.reserve(pieces - 1);
    for (std::size_t k = 1; k < pieces; ++k)
        parts.emplace_back(t.m_fields);
    std::vector<char> ok(pieces, 0);
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < pieces; ++k) {
        auto read = [&, k] {
            ok[k] = readPiece(pieceBegin(k), pieceSize(k), readableFrom(pieceBegin(k)),
                              parts[k - 1], pieceBegin(k) + pieceSize(k));
        };
        try {
            threads.emplace_back(read);
        } catch (const std::system_error&) {
            read(); // no thread to be had: this one reads the piece
        }
    }
    // The first piece goes straight into the table, with room made for the whole list.
    ok[0] = readPiece(begin, pieceSize(0), rows.readable, t, end);
    for (std::thread& thread : threads)
        thread.join();
    // The caller reads the whole text again the usual way, for a message that names the row.
    if (std::find(ok.begin(), ok.end(), 0) != ok.end())
        throwShape(m_prefix, "linhas ilegíveis");
    for (const ColumnTable& part : parts)
        t.appendTable(part);
}

void PacketDecoder::values(ondemand::value value, ColumnTable& t, std::size_t change,
                           std::string_view key)
{
    // Described only when something is wrong: a long delta reads millions of cells.
    auto place = [&] { return inQuotes(key) + " da alteração " + std::to_string(change + 1); };
    ondemand::array list;
    if (auto e = value.get_array().get(list)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(m_prefix, place() + " deve ser uma lista de valores");
        throwJsonError(e, m_prefix, place());
    }
    const std::vector<FieldDef>& fields = t.m_fields;
    std::size_t col = 0;
    for (auto item : list) {
        if (col == fields.size())
            throwShape(m_prefix, place() + " tem mais de " + valueCount(fields.size()));
        const FieldDef& f = fields[col];
        auto where = [&] { return "campo " + inQuotes(f.name) + " de " + place(); };
        ondemand::value cell;
        if (auto e = item.get(cell))
            throwJsonError(e, m_prefix, where());
        const CellResult r = appendCell(cell, t, col);
        if (r.read != Read::Ok)
            cellError(m_prefix, r.error, where(), f.type);
        ++col;
    }
    if (col != fields.size())
        throwShape(m_prefix, place() + " tem " + valueCount(col) + ", mas o pacote tem " +
                                 fieldCount(fields.size()));
    ++t.m_rows;
}

void PacketDecoder::changes(ondemand::value value, DeltaPacket& delta)
{
    const char* changesStart = location();
    ondemand::array list;
    if (auto e = value.get_array().get(list)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(m_prefix, "\"changes\" deve ser uma lista");
        throwJsonError(e, m_prefix, "lista \"changes\"");
    }
    constexpr std::size_t kSample = 32;
    ColumnTable& before = delta.m_before;
    ColumnTable& after = delta.m_after;
    for (auto item : list) {
        const std::size_t index = delta.m_ops.size();
        auto place = [index] { return "alteração " + std::to_string(index + 1); };
        ondemand::object object;
        if (auto e = item.get_object().get(object)) {
            if (e == simdjson::INCORRECT_TYPE)
                throwShape(m_prefix, "a " + place() + " deve ser um objeto");
            throwJsonError(e, m_prefix, place());
        }
        ChangeOp op = ChangeOp::Update;
        bool hasOp = false, hasOld = false, hasNew = false;
        forEachMember(object, m_prefix, place, [&](std::string_view key, ondemand::value v) {
            if (key == "op" && !hasOp) {
                std::string_view text;
                if (auto e = v.get_string().get(text)) {
                    if (e == simdjson::INCORRECT_TYPE)
                        throwShape(m_prefix, place() + ": \"op\" deve ser um texto");
                    throwJsonError(e, m_prefix, place());
                }
                if (text == "update")
                    op = ChangeOp::Update;
                else if (text == "insert")
                    op = ChangeOp::Insert;
                else if (text == "delete")
                    op = ChangeOp::Delete;
                else
                    throwShape(m_prefix, place() + ": operação desconhecida " + inQuotes(text));
                hasOp = true;
            } else if (key == "old" && !hasOld) {
                values(v, before, index, "old");
                hasOld = true;
            } else if (key == "new" && !hasNew) {
                values(v, after, index, "new");
                hasNew = true;
            } else {
                throwShape(m_prefix, place() + ": chave inesperada ou repetida " + inQuotes(key));
            }
        });
        if (!hasOp)
            throwShape(m_prefix, "a " + place() + " não tem \"op\"");
        const bool wantOld = op != ChangeOp::Insert;
        const bool wantNew = op != ChangeOp::Delete;
        if (wantOld != hasOld || wantNew != hasNew) {
            const char* shape = op == ChangeOp::Update   ? "\"old\" e \"new\""
                                : op == ChangeOp::Insert ? "só \"new\""
                                                         : "só \"old\"";
            throwShape(m_prefix, "a " + place() + " (" +
                                     std::string(op == ChangeOp::Update   ? "update"
                                                 : op == ChangeOp::Insert ? "insert"
                                                                          : "delete") +
                                     ") deve ter " + shape);
        }
        // The side an op does not have is a row of nulls.
        if (!hasOld)
            before.appendRow();
        if (!hasNew)
            after.appendRow();
        delta.m_ops.push_back(op);
        if (delta.m_ops.size() == kSample && m_input) {
            const char* at = location();
            reserveFromSample(before, changesStart, at, m_input->end(), kSample);
            delta.m_ops.reserve(
                reserveFromSample(after, changesStart, at, m_input->end(), kSample));
        }
    }
}

PacketDecoder::Packet PacketDecoder::packet(ondemand::object object, Expect expect)
{
    Packet out;
    std::vector<FieldDef> defs;
    bool hasFields = false, hasBody = false;
    forEachMember(object, m_prefix, {}, [&](std::string_view key, ondemand::value v) {
        if (!hasFields) {
            if (key != "fields")
                throwShape(m_prefix, "a primeira chave deve ser \"fields\", não " + inQuotes(key));
            defs = fields(v);
            hasFields = true;
        } else if (!hasBody && key == "rows" && expect != Expect::Delta) {
            out.table = ColumnTable(std::move(defs));
            rows(v, out.table);
            hasBody = true;
        } else if (!hasBody && key == "changes" && expect != Expect::Data) {
            out.delta = DeltaPacket(std::move(defs));
            changes(v, out.delta);
            out.isDelta = true;
            hasBody = true;
        } else {
            throwShape(m_prefix, "chave inesperada ou repetida " + inQuotes(key));
        }
    });
    if (!hasFields)
        throwShape(m_prefix, "falta a lista \"fields\"");
    if (!hasBody)
        throwShape(m_prefix, expect == Expect::Data    ? "falta a lista \"rows\""
                             : expect == Expect::Delta ? "falta a lista \"changes\""
                                                       : "falta a lista \"rows\" ou \"changes\"");
    return out;
}

} // namespace cht::wire
