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

void writeRow(JsonWriter& w, const ColumnTable& t, std::size_t row)
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
                throw WireError(std::string(kDataOut) + "campo \"" + f.name + "\" da linha " +
                                std::to_string(row + 1) + " tem valor fora do intervalo.");
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
            writeRow(w, t, r);
        }
    } else {
        for (std::size_t r = 0; r < t.rowCount(); ++r)
            writeRow(w, t, r);
    }
    w.EndArray();
    w.EndObject();
}

void writeDeltaPacket(JsonWriter& w, const DeltaPacket& delta)
{
    w.StartObject();
    w.Key("fields", 6);
    writeFields(w, delta.fields, kDeltaOut);
    w.Key("changes", 7);
    w.StartArray();
    // Error texts are made only when thrown: a delta may carry 100,000 changes.
    const std::string beforeOld = "de \"old\" da alteração ";
    const std::string beforeNew = "de \"new\" da alteração ";
    for (std::size_t i = 0; i < delta.changes.size(); ++i) {
        const Change& c = delta.changes[i];
        const bool wantOld = c.op != ChangeOp::Insert;
        const bool wantNew = c.op != ChangeOp::Delete;
        auto place = [i] { return "alteração " + std::to_string(i + 1); };
        auto writeValues = [&](const std::vector<Value>& values, const char* key) {
            const std::string& before = key[0] == 'o' ? beforeOld : beforeNew;
            if (values.size() != delta.fields.size())
                throw WireError(std::string(kDeltaOut) + "\"" + key + "\" da " + place() + " tem " +
                                valueCount(values.size()) + ", mas o pacote tem " +
                                fieldCount(delta.fields.size()) + ".");
            w.Key(key);
            w.StartArray();
            for (std::size_t col = 0; col < values.size(); ++col)
                writeValue(w, delta.fields[col], values[col], kDeltaOut, Place{before, i});
            w.EndArray();
        };
        w.StartObject();
        w.Key("op", 2);
        w.String(c.op == ChangeOp::Update   ? "update"
                 : c.op == ChangeOp::Insert ? "insert"
                                            : "delete");
        if (wantOld)
            writeValues(c.oldValues, "old");
        else if (!c.oldValues.empty())
            throw WireError(std::string(kDeltaOut) + "a " + place() +
                            " (insert) não pode ter \"old\".");
        if (wantNew)
            writeValues(c.newValues, "new");
        else if (!c.newValues.empty())
            throw WireError(std::string(kDeltaOut) + "a " + place() +
                            " (delete) não pode ter \"new\".");
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

} // namespace cht::wire
