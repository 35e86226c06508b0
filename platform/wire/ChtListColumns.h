// The columns of the CHT list, in the order its packet carries them. The one definition: the
// server's query and writer and the screen's data set are all built from it.
#pragma once

#include "FieldDef.h"
#include "cht_wire_export.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cht::wire {

struct ChtListColumn {
    std::string_view name;
    FieldType type;
    std::uint32_t size; // characters of a text column, 0 for the other types
};

// The first column is the tick of the screen, "N" on every row the server sends.
inline constexpr std::array<ChtListColumn, 32> kChtListColumns = {{
    {"IDCHECK", FieldType::Text, 1},           {"IDSTATUSCHT", FieldType::Text, 1},
    {"DTINCLCHT", FieldType::DateTime, 0},     {"NMFANTCLIE", FieldType::Text, 50},
    {"NMFUNC", FieldType::Text, 40},           {"NMTIPOSERV", FieldType::Text, 80},
    {"NRSEQUCHT", FieldType::Text, 5},         {"INICIOCSA", FieldType::DateTime, 0},
    {"FIMCSA", FieldType::DateTime, 0},        {"NRPROPOSFAS", FieldType::Text, 10},
    {"NRVERPROPFAS", FieldType::Text, 2},      {"NRINSJURCLIE", FieldType::Text, 20},
    {"CDCLIENTE", FieldType::Text, 21},        {"CDFUNC", FieldType::Text, 10},
    {"CDTIPOSERV", FieldType::Text, 3},        {"NRSERVCONT", FieldType::Text, 3},
    {"NRLANCTONF", FieldType::Text, 10},       {"NRINVOICE", FieldType::Text, 10},
    {"DSALTERACAOCHT", FieldType::Text, 2000}, {"QTHRAPROFATUCHT", FieldType::Text, 44},
    {"VRFATU", FieldType::Float, 0},           {"CDEMPRESA", FieldType::Text, 2},
    {"IDCHTPGTOOK", FieldType::Text, 1},       {"IDCHTASSINADA", FieldType::Text, 1},
    {"CDGERENTEIMPCLI", FieldType::Text, 12},  {"IDCDAOK", FieldType::Text, 1},
    {"DSLOCALCONT", FieldType::Text, 250},     {"PROPOSTA", FieldType::Text, 23},
    {"DSREFEPROPOSFAS", FieldType::Text, 100}, {"IDTIPOPROPFAS", FieldType::Text, 1},
    {"IDTIPOCOBRCONT", FieldType::Text, 1},    {"IDTIPOCOBRSERV", FieldType::Text, 1},
}};

/// Position of the named column (exact name), or kChtListColumns.size() when there is none.
constexpr std::size_t chtListColumnIndex(std::string_view name)
{
    std::size_t i = 0;
    while (i < kChtListColumns.size() && kChtListColumns[i].name != name)
        ++i;
    return i;
}

/// The columns as the field descriptions of the list packet.
CHT_WIRE_EXPORT const std::vector<FieldDef>& chtListFields();

} // namespace cht::wire
