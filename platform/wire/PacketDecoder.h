// Private: reading data and delta packets out of a simdjson On Demand walk, so that the RPC layer
// decodes a packet inside its own pass over the reply instead of parsing it twice.
#pragma once

#include "ColumnTable.h"
#include "DeltaPacket.h"
#include "JsonInput.h"

#include <string_view>
#include <vector>

namespace cht::wire {

inline constexpr std::string_view kDataPrefix = "Pacote de dados inválido: ";
inline constexpr std::string_view kDeltaPrefix = "Pacote de alterações inválido: ";

class PacketDecoder {
public:
    enum class Expect { Data, Delta, Either };
    enum class Read { Ok, Null, WrongType, Error };
    struct CellResult {
        Read read = Read::Ok;
        simdjson::error_code error = simdjson::SUCCESS;
    };
    struct Packet {
        bool isDelta = false;
        ColumnTable table;
        DeltaPacket delta;
    };

    /// input, when given, lets the decoder reserve the table from the size of the text.
    PacketDecoder(std::string_view prefix, JsonInput* input) : m_prefix(prefix), m_input(input) {}

    /// {"fields":[...],"rows":[...]} or {"fields":[...],"changes":[...]}; "fields" comes first.
    Packet packet(ondemand::object object, Expect expect);
    std::vector<FieldDef> fields(ondemand::value value);
    void rows(ondemand::value value, ColumnTable& table);
    /// The changes into `delta`, which has the packet's fields and no change yet.
    void changes(ondemand::value value, DeltaPacket& delta);

private:
    /// One cell into the next row of column `col`, for data and delta packets alike.
    CellResult appendCell(ondemand::value& cell, ColumnTable& t, std::size_t col);
    /// One row's cells into the next row of `t`; `row` numbers it in messages.
    void readRow(simdjson::simdjson_result<ondemand::value> item, ColumnTable& t, std::size_t row);
    /// The rows left out of the text (JsonInput::RowsApart), read in pieces side by side.
    void rowsInPieces(const JsonInput::RowsApart& rows, ColumnTable& t);
    /// One piece ("[row,...]" where it lies) into `t`; false when it does not decode. Room for
    /// the rows up to `reserveEnd` is made once the first rows show their size.
    bool readPiece(const char* begin, std::size_t size, std::size_t readable, ColumnTable& t,
                   const char* reserveEnd);
    /// One side of a change ("old" or "new") as the next row of `t`.
    void values(ondemand::value value, ColumnTable& t, std::size_t change, std::string_view key);
    /// Rows expected in all up to `end`, from the text (rowsStart to at) that the first `sampled`
    /// ones took; 0 when unknown.
    static std::size_t reserveFromSample(ColumnTable& table, const char* rowsStart, const char* at,
                                         const char* end, std::size_t sampled);
    const char* location();

    std::string_view m_prefix;
    JsonInput* m_input;
};

} // namespace cht::wire
