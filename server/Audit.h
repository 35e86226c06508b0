// The audit trail: who changed what, written in the transaction of the change itself.
#pragma once

#include "Caller.h"
#include "ChtKey.h"
#include "SqlConnection.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cht::server {

/// What `cht-server --audit` shows: all rows, or those since a time, of one CHT (its key or the
/// start of it, parts separated by "/"), of one operator.
struct AuditFilter {
    std::optional<std::int64_t> since; // milliseconds since 1970
    std::string cht;
    std::string operador;
};

/// One changed field of a CHT: its key (Audit::keyText), the field, the old and new values (null
/// where there is none).
struct AuditChange {
    std::string cht;
    std::string field;
    std::optional<std::string> before;
    std::optional<std::string> after;
};

class Audit {
public:
    /// "NRPROPOSFAS/NRVERPROPFAS/CDTIPOSERV/NRSERVCONT/NRSEQUCHT/CDFUNC", as the trail names a CHT.
    static std::string keyText(const ChtKey& key);

    /// One row; null texts stay null.
    static void record(SqlConnection& c, const Caller& caller, const std::string& method,
                       const std::optional<std::string>& cht,
                       const std::optional<std::string>& field,
                       const std::optional<std::string>& before,
                       const std::optional<std::string>& after);
    /// Many rows of one call, in order: one prepared statement per row on SQLite, one
    /// statement for all of them on PostgreSQL.
    static void recordAll(SqlConnection& c, const Caller& caller, const std::string& method,
                          const std::vector<AuditChange>& changes);

    /// Prints the rows as a table, oldest first, times in local time; returns how many.
    static std::size_t print(SqlConnection& c, const AuditFilter& filter, std::ostream& out);
};

} // namespace cht::server
