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
    /// The client's manager (CDGERENTEIMPCLI): the operator who may approve, delete or mark it.
    std::string manager;
    /// Where the row is found again in the same transaction: SQLite's rowid (0 on PostgreSQL,
    /// which finds it by its key).
    std::int64_t row = 0;
};

/// New values of the fields a call may change in one CHT; a field without one keeps its value.
struct ChtChange {
    ChtKey key;
    std::int64_t row = 0; // ChtState::row
    std::optional<std::string> idStatusCht;
    std::optional<std::string> dsAlteracaoCht;
    std::optional<std::string> idChtPgtoOk;
    std::optional<std::string> idChtAssinada;
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

    // --- many CHTs at once: 10,000 CHTs approved, deleted or marked in a few statements (RowSet).
    /// What find() gives for each key, in the keys' order, the rows locked for the transaction
    /// where the database can (in key order, so that two such calls never deadlock).
    static std::vector<std::optional<ChtState>> findAll(SqlConnection& c,
                                                        const std::vector<ChtKey>& keys);
    /// Writes the new values; each CHT at most once, found by ChtChange::row on SQLite.
    static void updateAll(SqlConnection& c, const std::vector<ChtChange>& changes);
    /// Releases the CDAs of the CHTs of the keys (they lose their CHT and a generated one is
    /// confirmed again), then deletes the CHTs.
    static void removeAll(SqlConnection& c, const std::vector<ChtKey>& keys);
    /// "HH:MM" of a number of minutes (hours may pass 99).
    static std::string hoursText(std::int64_t minutes);
};

} // namespace cht::server
