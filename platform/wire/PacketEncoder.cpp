#include "PacketEncoder.h"

#include "Messages.h"
#include "OleDate.h"
#include "WireError.h"

#include <cmath>
#include <string>

namespace cht::wire {

namespace {

constexpr std::string_view kDataOut = "Não foi possível escrever o pacote de dados: ";
constexpr std::string_view kDeltaOut = "Não foi possível escrever o pacote de alterações: ";

// A row of a data packet, or one side of a change of a delta: `place` names it in the error.
void writeRow(JsonWriter& w, const ColumnTable& t, std::size_t row, std::string_view prefix,
              const Place& place)
{
    const auto& fields = t.fields();
    w.StartArray();
    for (std::size_t col = 0; col < fields.size(); ++col) {
        if (t.isNull(row, col)) {
            w.Null();
            continue;
        }
        const FieldDef& f = fields[col];
        switch (f.type) {
        case FieldType::Text:
            writeString(w, t.text(row, col));
            break;
        case FieldType::DateTime:
        case FieldType::Float: {
            const double d = t.number(row, col);
            if (!std::isfinite(d) || (f.type == FieldType::DateTime && !isOleInRange(d)))
                throw WireError(std::string(prefix) + "campo " + inQuotes(f.name) + " " +
                                place.text() + " tem valor fora do intervalo.");
            w.Double(d);
            break;
        }
        case FieldType::Integer:
            w.Int64(t.integer(row, col));
            break;
        }
    }
    w.EndArray();
}

} // namespace

void writeDataPacket(JsonWriter& w, const ColumnTable& t, const std::vector<std::size_t>* rows)
{
    w.StartObject();
    w.Key("fields", 6);
    writeFields(w, t.fields(), kDataOut);
    w.Key("rows", 4);
    w.StartArray();
    if (rows) {
        for (std::size_t r : *rows) {
            if (r >= t.rowCount())
                throw WireError(std::string(kDataOut) + "linha " + std::to_string(r) +
                                " inexistente.");
            writeRow(w, t, r, kDataOut, Place{"da linha ", r});
        }
    } else {
        for (std::size_t r = 0; r < t.rowCount(); ++r)
            writeRow(w, t, r, kDataOut, Place{"da linha ", r});
    }
    w.EndArray();
    w.EndObject();
}

void writeDeltaPacket(JsonWriter& w, const DeltaPacket& delta)
{
    const ColumnTable& before = delta.before();
    const ColumnTable& after = delta.after();
    if (before.rowCount() != delta.size() || after.rowCount() != delta.size())
        throw WireError(std::string(kDeltaOut) + "as alterações não têm uma linha de valores "
                                                 "de cada lado.");
    w.StartObject();
    w.Key("fields", 6);
    writeFields(w, delta.fields(), kDeltaOut);
    w.Key("changes", 7);
    w.StartArray();
    for (std::size_t i = 0; i < delta.size(); ++i) {
        const ChangeOp op = delta.op(i);
        w.StartObject();
        w.Key("op", 2);
        w.String(op == ChangeOp::Update ? "update" : op == ChangeOp::Insert ? "insert" : "delete");
        if (op != ChangeOp::Insert) {
            w.Key("old", 3);
            writeRow(w, before, i, kDeltaOut, Place{"de \"old\" da alteração ", i});
        }
        if (op != ChangeOp::Delete) {
            w.Key("new", 3);
            writeRow(w, after, i, kDeltaOut, Place{"de \"new\" da alteração ", i});
        }
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

} // namespace cht::wire
