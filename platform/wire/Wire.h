// The one codec for everything that crosses the wire between the screens and the application
// server: data, key and delta packets, the JSON-RPC envelope, OLE Automation dates and the key
// list format. No Qt here: the server links this library too.
#pragma once

#include "WireExport.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace cht::wire {

/// Raised for anything malformed on the wire. The message is Portuguese and names what is wrong.
class CHT_WIRE_EXPORT WireError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Field types of a packet: text with a size, date-time (OLE day number), floating point, integer.
enum class FieldType : std::uint8_t { Text, DateTime, Float, Integer };

/// Wire name of a type: "text", "datetime", "float", "integer".
CHT_WIRE_EXPORT std::string_view fieldTypeName(FieldType type);
/// Inverse of fieldTypeName; throws WireError for an unknown name.
CHT_WIRE_EXPORT FieldType fieldTypeFromName(std::string_view name);

/// One field description of a packet. size is the maximum number of characters of a text field
/// (0 for the other types).
struct FieldDef {
    std::string name;
    FieldType type = FieldType::Text;
    std::uint32_t size = 0;
    bool operator==(const FieldDef&) const = default;
};

/// One cell value: null, text (UTF-8), a number (float or date-time) or an integer.
using Value = std::variant<std::monostate, std::string, double, std::int64_t>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// ---------------------------------------------------------------------------------------------
// OLE Automation dates: days since 1899-12-30, the time of day as the fraction. Before that day
// the integer part counts backwards while the fraction still counts forwards (-1.25 is
// 1899-12-29 06:00), as the format defines it.

struct CivilDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    bool operator==(const CivilDateTime&) const = default;
};

/// Exact conversion to the calendar, rounded to the millisecond. Throws WireError for a value
/// outside years 100..9999 or not finite.
CHT_WIRE_EXPORT CivilDateTime civilFromOle(double ole);
/// Exact conversion from the calendar. Throws WireError for an invalid date or time.
CHT_WIRE_EXPORT double oleFromCivil(const CivilDateTime& dt);
/// Whole days: the date part of an OLE value (1899-12-29 18:00 is day -1), as a day number.
CHT_WIRE_EXPORT std::int64_t oleDayNumber(double ole);

// ---------------------------------------------------------------------------------------------
// Columnar row store. The decoder fills it directly and the client data set adopts it, so a
// 100,000-row packet is parsed once and never copied value by value. Texts of a column share
// one arena; each cell keeps an offset and a length.

class CHT_WIRE_EXPORT ColumnTable {
public:
    ColumnTable() = default;
    explicit ColumnTable(std::vector<FieldDef> fields);

    const std::vector<FieldDef>& fields() const { return m_fields; }
    std::size_t columnCount() const { return m_fields.size(); }
    std::size_t rowCount() const { return m_rows; }
    /// Index of the named field (exact, case-insensitive as field names are), or -1.
    int indexOf(std::string_view name) const;

    /// Appends a row of nulls and returns its index.
    std::size_t appendRow();
    void reserveRows(std::size_t rows);

    bool isNull(std::size_t row, std::size_t col) const;
    /// Text of a text cell (empty for null); for other types, call the typed getters.
    std::string_view text(std::size_t row, std::size_t col) const;
    double number(std::size_t row, std::size_t col) const;
    std::int64_t integer(std::size_t row, std::size_t col) const;
    Value value(std::size_t row, std::size_t col) const;

    void setNull(std::size_t row, std::size_t col);
    /// Stores a text, cut to the field's size in characters (not bytes).
    void setText(std::size_t row, std::size_t col, std::string_view utf8);
    void setNumber(std::size_t row, std::size_t col, double v);
    void setInteger(std::size_t row, std::size_t col, std::int64_t v);
    /// Stores a value; throws WireError naming the field when its kind does not fit the type.
    void setValue(std::size_t row, std::size_t col, const Value& v);

    /// Moves column `from` of `other` (same row count) to the end of this table.
    void adoptColumn(ColumnTable& other, std::size_t from);
    /// Frees unused capacity (after a load).
    void shrinkToFit();
    /// Bytes held by the store, for memory accounting.
    std::size_t memoryBytes() const;

private:
    struct Column {
        std::vector<char> arena;            // texts
        std::vector<std::uint32_t> offset;  // texts: start in arena
        std::vector<std::uint32_t> length;  // texts: byte length; kNullLength is null
        std::vector<double> numbers;        // date-time and float
        std::vector<std::int64_t> integers; // integer
        std::vector<std::uint8_t> nulls;    // numbers and integers: 1 when null
    };
    static constexpr std::uint32_t kNullLength = 0xFFFFFFFFu;
    std::vector<FieldDef> m_fields;
    std::vector<Column> m_columns;
    std::size_t m_rows = 0;

    friend class PacketDecoder;
};

/// Cuts a UTF-8 text to at most `chars` characters (code points).
CHT_WIRE_EXPORT std::string_view cutToChars(std::string_view utf8, std::size_t chars);
/// Number of characters (code points) of a valid UTF-8 text.
CHT_WIRE_EXPORT std::size_t charCount(std::string_view utf8);
/// True when the bytes are valid UTF-8.
CHT_WIRE_EXPORT bool isValidUtf8(std::string_view bytes);

// ---------------------------------------------------------------------------------------------
// Data packet: {"fields":[{"name":"X","type":"text","size":1},...],"rows":[[...],...]}
// Null is null, texts are strings, date-times and floats are numbers, integers are integers.
// A key packet is a data packet of the six key fields.

/// Decodes a data packet. Any malformation (truncation, wrong shapes, a value of the wrong type,
/// a row with the wrong number of values, invalid UTF-8, numbers out of range, duplicate field
/// names) throws WireError naming the place; nothing half-decoded escapes.
CHT_WIRE_EXPORT ColumnTable decodeDataPacket(std::string_view json);
/// Writes a data packet of all rows, or of the given rows in the given order.
CHT_WIRE_EXPORT std::string encodeDataPacket(const ColumnTable& table);
CHT_WIRE_EXPORT std::string encodeDataPacket(const ColumnTable& table,
                                             const std::vector<std::size_t>& rows);

/// Streaming writer of a data packet for producers that do not hold a table (the server writes
/// query results straight to the reply with it).
class CHT_WIRE_EXPORT PacketWriter {
public:
    explicit PacketWriter(std::string& out);
    ~PacketWriter();
    PacketWriter(const PacketWriter&) = delete;
    PacketWriter& operator=(const PacketWriter&) = delete;

    void begin(const std::vector<FieldDef>& fields);
    void beginRow();
    void null();
    void text(std::string_view utf8);
    void number(double v);
    void integer(std::int64_t v);
    void value(const Value& v);
    void endRow();
    void end();

private:
    struct Impl;
    Impl* m_impl;
};

// ---------------------------------------------------------------------------------------------
// Delta packet: the change log of a data set, changed rows only.
// {"fields":[...],"changes":[{"op":"update","old":[...],"new":[...]},
//                            {"op":"insert","new":[...]},{"op":"delete","old":[...]}]}
// "old" holds the saved values of the row (as loaded or last merged), "new" its current values.

enum class ChangeOp : std::uint8_t { Update, Insert, Delete };

struct Change {
    ChangeOp op = ChangeOp::Update;
    std::vector<Value> oldValues; // empty for an insert
    std::vector<Value> newValues; // empty for a delete
};

struct DeltaPacket {
    std::vector<FieldDef> fields;
    std::vector<Change> changes;
    int indexOf(std::string_view name) const;
};

CHT_WIRE_EXPORT std::string encodeDeltaPacket(const DeltaPacket& delta);
CHT_WIRE_EXPORT DeltaPacket decodeDeltaPacket(std::string_view json);

// ---------------------------------------------------------------------------------------------
// Key list: the list of client or employee codes that the pick list produces and GetCHT reads.
// A JSON array of strings, so that any code travels (commas and quotes included); an empty
// selection is the empty text.

CHT_WIRE_EXPORT std::string encodeKeyList(const std::vector<std::string>& keys);
/// Strict: anything but an empty text or a JSON array of strings throws WireError.
CHT_WIRE_EXPORT std::vector<std::string> decodeKeyList(std::string_view text);

// ---------------------------------------------------------------------------------------------
// JSON-RPC 2.0 over HTTP (POST /rpc).
// Request:  {"jsonrpc":"2.0","id":N,"method":"COT09800.rdmCancelaCHT.GetCHT","params":[...]}
// Success:  {"jsonrpc":"2.0","id":N,"result":{"ok":true,"refs":[...],"data":<packet>|null}}
// Refused:  {"jsonrpc":"2.0","id":N,"result":{"ok":false,"error":"<mensagem>"}}
// Protocol: {"jsonrpc":"2.0","id":N|null,"error":{"code":C,"message":"<mensagem>"}}
// "refs" holds the value of every parameter after the call, in order, so that by-reference
// arguments can be written back; by-value ones come back unchanged.

/// One argument of a call: null, text, number (date-times travel as OLE numbers), a data packet
/// (key packets) or a delta packet.
struct RpcArg {
    enum class Kind : std::uint8_t { Null, Text, Number, Data, Delta };
    Kind kind = Kind::Null;
    std::string text;
    double number = 0;
    ColumnTable data;
    DeltaPacket delta;

    static RpcArg ofText(std::string t);
    static RpcArg ofNumber(double n);
    static RpcArg ofData(ColumnTable t);
    static RpcArg ofDelta(DeltaPacket d);
};

struct RpcRequest {
    std::int64_t id = 0;
    std::string method; // "Object.Method"
    std::vector<RpcArg> params;
};

/// JSON-RPC error codes used by both ends.
enum RpcErrorCode : int {
    kParseError = -32700,
    kInvalidRequest = -32600,
    kMethodNotFound = -32601,
    kInvalidParams = -32602,
    kInternalError = -32603,
};

struct RpcResponse {
    std::int64_t id = 0;
    // Protocol error (code != 0): the call itself failed.
    int errorCode = 0;
    std::string errorMessage;
    // Result: ok, or a failure report of the server's rules.
    bool ok = false;
    std::string failure;
    std::vector<RpcArg> refs;
    std::optional<ColumnTable> data;
};

CHT_WIRE_EXPORT std::string encodeRequest(const RpcRequest& request);
/// Throws WireError with a code-bearing message for anything that is not a valid request.
CHT_WIRE_EXPORT RpcRequest decodeRequest(std::string_view json);

/// Writes a successful result. dataJson is an already encoded data packet, or empty for null.
CHT_WIRE_EXPORT std::string encodeResult(std::int64_t id, const std::vector<RpcArg>& refs,
                                         std::string_view dataJson);
CHT_WIRE_EXPORT std::string encodeFailure(std::int64_t id, std::string_view message);
/// id < 0 writes a null id (the request could not be read).
CHT_WIRE_EXPORT std::string encodeProtocolError(std::int64_t id, int code,
                                                std::string_view message);
/// Decodes any of the three reply shapes; malformed replies throw WireError.
CHT_WIRE_EXPORT RpcResponse decodeResponse(std::string_view json);

} // namespace cht::wire
