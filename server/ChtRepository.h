// The SQL of the remote methods, shared by both stores (the few dialect differences are inside).
#pragma once

#include "ChtKey.h"
#include "SqlConnection.h"
#include "Store.h"

#include "platform/wire/DataPacket.h"
#include "platform/wire/FieldDef.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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

/// The stored values of a CHT that the rules look at.
struct ChtState {
    std::string idStatusCht;
    std::string idChtPgtoOk;
    std::string idChtAssinada;
    std::string dsAlteracaoCht; // empty when null
};

class ChtRepository {
public:
    /// The 32 fields of the CHT list, in the screen's order.
    static const std::vector<wire::FieldDef>& chtFields();
    static const std::vector<wire::FieldDef>& cdaFields();
    static const std::vector<wire::FieldDef>& parcelFields();

    /// The list query: rows in the order "generation date-time, then the six key fields"
    /// (ascending), columns in chtFields() order without the first one (IDCHECK). Parameters:
    /// first day, day after the last day, the status set, then the client and the employee
    /// lists (JSON arrays) where they apply.
    static std::string chtListSql(Dialect dialect, bool allClients, bool allFuncs);
    /// Kind of each column of chtListSql as the writer handles it.
    enum class Column : std::uint8_t { Text, Date, Float };
    static const std::vector<Column>& chtListColumns();

    /// Writes the list packet and returns its row count.
    static std::size_t writeChtList(Store& store, const ChtFilter& filter, wire::PacketWriter& out,
                                    const ListSplit& split);

    /// Eight arguments of GetConsultaCSA in their call order.
    static std::size_t writeCdas(SqlConnection& c, const std::vector<std::string>& args,
                                 wire::PacketWriter& out);
    /// CDCLIENTE, NRPROPOSFAS, NRVERPROPFAS.
    static std::size_t writeParcels(SqlConnection& c, const std::vector<std::string>& args,
                                    wire::PacketWriter& out);

    /// Reads a CHT, locking its row for the transaction where the database can.
    static std::optional<ChtState> find(SqlConnection& c, const ChtKey& key);
    static void setStatus(SqlConnection& c, const ChtKey& key, const std::string& status);
    /// Releases the CHT's CDAs (they lose the CHT and a generated one is confirmed again), then
    /// deletes the CHT.
    static void remove(SqlConnection& c, const ChtKey& key);

    /// Sets the named columns where the expected columns still hold the given values (null
    /// and empty text alike). Column names come from the caller's own constants. Returns false
    /// when no row matched.
    static bool updateWhere(SqlConnection& c, const ChtKey& key,
                            const std::vector<std::pair<std::string, std::string>>& sets,
                            const std::vector<std::pair<std::string, std::string>>& expected);

    /// "HH:MM" of a number of minutes (hours may pass 99).
    static std::string hoursText(std::int64_t minutes);
};

} // namespace cht::server
