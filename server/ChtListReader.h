// The CHT list of GetCHT: one query for a short list; a long one read in pieces side by side on
// one snapshot and joined in memory, the same bytes either way.
#pragma once

#include "Store.h"

#include "platform/wire/PacketWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cht::server {

/// What GetCHT selects. Day numbers are whole OLE days, both ends included.
struct ChtFilter {
    bool allClients = true;
    std::vector<std::string> clients;
    bool allFuncs = true;
    std::vector<std::string> funcs;
    std::int64_t firstDay = 0;
    std::int64_t lastDay = 0;
    std::string situacao;
};

/// How a long list is read: in up to `workers` pieces side by side, none under `minRows` CHTs.
struct ListSplit {
    unsigned workers = 1;
    std::size_t minRows = 10000;
    /// As many workers as the machine has cores, up to four.
    static ListSplit automatic();
};

class ChtListReader {
public:
    /// The list query: rows in the order "generation date-time, then the six key fields"
    /// (ascending), the list's columns without the first one (IDCHECK). Parameters: first day,
    /// day after the last day, the status set, then the client and the employee lists (JSON
    /// arrays) where they apply.
    static std::string listSql(Dialect dialect, bool allClients, bool allFuncs);

    /// Writes the list packet and returns its row count.
    static std::size_t write(Store& store, const ChtFilter& filter, wire::PacketWriter& out,
                             const ListSplit& split);
};

} // namespace cht::server
