#include "platform/dataset/PacketLoading.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/DataSetText.h"
#include "platform/dataset/Field.h"

#include <string>

namespace cht::platform {

namespace {

// The column as the field describes it, converted cell by cell.
wire::ColumnTable convertedColumn(const wire::ColumnTable& packet, std::size_t idx,
                                  const wire::FieldDef& want)
{
    const std::size_t rows = packet.rowCount();
    wire::ColumnTable one({want});
    one.reserveRows(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        one.appendRow();
        if (packet.isNull(r, idx))
            continue;
        switch (want.type) {
        case wire::FieldType::Text:
            one.setText(r, 0, packet.text(r, idx));
            break;
        case wire::FieldType::Integer:
            one.setInteger(r, 0, packet.integer(r, idx));
            break;
        case wire::FieldType::Float:
        case wire::FieldType::DateTime:
            one.setNumber(r, 0, packet.number(r, idx));
            break;
        }
    }
    return one;
}

} // namespace

wire::ColumnTable fitPacketToFields(wire::ColumnTable& packet,
                                    const std::vector<std::unique_ptr<TField>>& fields,
                                    const QString& dataSetName)
{
    std::vector<std::string> names;
    names.reserve(fields.size());
    for (const auto& f : fields) {
        names.push_back(f->fieldName().toStdString());
        const int idx = packet.indexOf(names.back());
        if (idx < 0)
            throw DataSetError(
                dataset_text::msg("O pacote de dados recebido para %1 não traz o campo %2.")
                    .arg(dataSetName, f->fieldName())
                    .toStdString());
        const wire::FieldType got = packet.fields()[static_cast<std::size_t>(idx)].type;
        const bool fits = got == f->dataType() || (f->dataType() == wire::FieldType::Float &&
                                                   got == wire::FieldType::Integer);
        if (!fits)
            throw DataSetError(
                dataset_text::msg("O campo %1 de %2 veio no pacote de dados como %3, mas é %4.")
                    .arg(f->fieldName(), dataSetName, dataset_text::typeName(got),
                         dataset_text::typeName(f->dataType()))
                    .toStdString());
    }
    wire::ColumnTable table;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const TField& f = *fields[i];
        const auto idx = static_cast<std::size_t>(packet.indexOf(names[i]));
        const wire::FieldDef want{names[i], f.dataType(), static_cast<std::uint32_t>(f.size())};
        if (packet.fields()[idx] == want) {
            table.adoptColumn(packet, idx);
            continue;
        }
        wire::ColumnTable one = convertedColumn(packet, idx, want);
        table.adoptColumn(one, 0);
    }
    return table;
}

bool fieldsMatch(const std::vector<std::unique_ptr<TField>>& fields,
                 const std::vector<wire::FieldDef>& defs)
{
    if (fields.size() != defs.size())
        return false;
    for (std::size_t i = 0; i < defs.size(); ++i)
        if (fields[i]->fieldName() != QString::fromStdString(defs[i].name) ||
            fields[i]->dataType() != defs[i].type ||
            fields[i]->size() != static_cast<int>(defs[i].size))
            return false;
    return true;
}

} // namespace cht::platform
