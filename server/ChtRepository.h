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

    // --- a key set in one statement each: 10,000 CHTs approved or deleted without 10,000 round
    // --- trips through the database engine. `keys` is keySetJson's text.
    /// The keys as one JSON array of six-text arrays, in their order.
    static std::string keySetJson(const std::vector<ChtKey>& keys);
    /// Writes the keys where the statements below read them on this database (SQLite); call it
    /// in the transaction, before them.
    static void fillKeySet(SqlConnection& c, const std::vector<ChtKey>& keys);
    /// Position of the first CHT whose client another operator manages.
    static std::optional<std::size_t> firstNotManagedBy(SqlConnection& c, const std::string& keys,
                                                        const std::string& operador);
    /// Where a statement reads the key set: the rows (pos, k0 .. k5) as "K", joined to a CHT
    /// "C" by keyJoinSql; bindKeySet binds it (PostgreSQL) at `index` and returns the next.
    static std::string keyRowsSql(Dialect d);
    static std::string keyJoinSql();
    static int bindKeySet(SqlConnection& c, SqlStatement& st, int index, const std::string& keys);
    /// Locks the set's rows for the transaction where the database can.
    static void lockKeySet(SqlConnection& c, const std::string& keys);
    /// Position of the first key without a CHT, or of the first billed ("R") CHT.
    static std::optional<std::size_t> firstMissing(SqlConnection& c, const std::string& keys);
    static std::optional<std::size_t> firstBilled(SqlConnection& c, const std::string& keys);
    /// Every CHT of the set in `status` (those already in it are left alone).
    static void setStatusOf(SqlConnection& c, const std::string& keys, const std::string& status);
    /// remove() for every CHT of the set.
    static void removeAll(SqlConnection& c, const std::string& keys);

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
