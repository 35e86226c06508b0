// Shared fixtures of the data set tests: a small CHT-like set and packets to load into it.
#pragma once

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/DataSource.h"

#include <string>
#include <vector>

namespace cht::platform::testing {

using wire::FieldType;

struct SmallRow {
    std::string check, client;
    double value;
    double generated; // OLE day number
    std::int64_t hours;
};

inline std::vector<SmallRow> smallRows()
{
    return {
        {"N", "Padaria São Jorge", 1234.56, 46000.5, 10},
        {"N", "Oficina Irmãos Souza", -0.5, 46001.0, 20},
        {"S", "Mercado Bom Preço", 0.0, 46002.25, 30},
    };
}

/// A packet with the five fields of the small set, optionally leaving one out or retyping one.
inline wire::ColumnTable smallPacket(const std::vector<SmallRow>& rows,
                                     const std::string& skip = {}, const std::string& retype = {},
                                     FieldType newType = FieldType::Text)
{
    std::vector<wire::FieldDef> defs = {{"IDCHECK", FieldType::Text, 1},
                                        {"NMFANTCLIE", FieldType::Text, 50},
                                        {"VRFATU", FieldType::Float, 0},
                                        {"DTINCLCHT", FieldType::DateTime, 0},
                                        {"QTHORAS", FieldType::Integer, 0}};
    std::vector<wire::FieldDef> kept;
    std::vector<int> source;
    for (int i = 0; i < static_cast<int>(defs.size()); ++i) {
        if (defs[static_cast<std::size_t>(i)].name == skip)
            continue;
        auto d = defs[static_cast<std::size_t>(i)];
        if (d.name == retype) {
            d.type = newType;
            d.size = newType == FieldType::Text ? 10 : 0;
        }
        kept.push_back(d);
        source.push_back(i);
    }
    wire::ColumnTable t(kept);
    for (const SmallRow& r : rows) {
        const std::size_t row = t.appendRow();
        for (std::size_t c = 0; c < kept.size(); ++c) {
            wire::Value v;
            switch (source[c]) {
            case 0:
                v = r.check;
                break;
            case 1:
                v = r.client;
                break;
            case 2:
                v = r.value;
                break;
            case 3:
                v = r.generated;
                break;
            default:
                v = r.hours;
                break;
            }
            if (kept[c].type == FieldType::DateTime && std::holds_alternative<std::int64_t>(v))
                v = static_cast<double>(std::get<std::int64_t>(v));
            if (kept[c].type != FieldType::Text && std::holds_alternative<std::string>(v))
                v = 1.0;
            if (kept[c].type == FieldType::Integer && std::holds_alternative<double>(v))
                v = static_cast<std::int64_t>(std::get<double>(v));
            if (kept[c].type == FieldType::Text && !std::holds_alternative<std::string>(v))
                v = std::string("x");
            t.setValue(row, c, v);
        }
    }
    return t;
}

/// The small set with its persistent fields, as a screen would declare it.
struct SmallSet {
    TClientDataSet cds{QStringLiteral("cdsTeste")};
    TField& check = cds.addField(QStringLiteral("IDCHECK"), FieldType::Text, 1);
    TField& client = cds.addField(QStringLiteral("NMFANTCLIE"), FieldType::Text, 50);
    TField& value = cds.addField(QStringLiteral("VRFATU"), FieldType::Float);
    TField& generated = cds.addField(QStringLiteral("DTINCLCHT"), FieldType::DateTime);
    TField& hours = cds.addField(QStringLiteral("QTHORAS"), FieldType::Integer);

    void load() { cds.loadFromPacket(smallPacket(smallRows())); }
};

/// A control that counts what its data source tells it.
struct CountingLink : DataLink {
    int changed = 0, records = 0, scrolls = 0, states = 0;
    void dataSetChanged() override { ++changed; }
    void recordChanged() override { ++records; }
    void dataSetScrolled() override { ++scrolls; }
    void stateChanged() override { ++states; }
    int total() const { return changed + records + scrolls + states; }
};

} // namespace cht::platform::testing
