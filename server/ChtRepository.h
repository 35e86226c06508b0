// The SQL of the remote methods but the list (ChtListReader), shared by both stores (the few
// dialect differences are inside).
#pragma once

#include "ChtKey.h"
#include "SqlConnection.h"

#include "platform/wire/FieldDef.h"
#include "platform/wire/PacketWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cht::server {

/// The stored values of a CHT that the rules look at.
struct ChtState {
    std::string idStatusCht;
    std::string idChtPgtoOk;
    std::string idChtAssinada;
    std::string dsAlteracaoCht; // empty when null
};

class ChtRepository {
public:
    /// The fields of GetConsultaCSA's and GetParcVenc's packets.
    static const std::vector<wire::FieldDef>& cdaFields();
    static const std::vector<wire::FieldDef>& parcelFields();

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
