// The audit trail: who changed what, written in the transaction of the change itself.
#pragma once

#include "Caller.h"
#include "ChtKey.h"
#include "SqlConnection.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace cht::server {

/// What `cht-server --audit` shows: all rows, or those since a time, of one CHT (its key or the
/// start of it, parts separated by "/"), of one operator.
struct AuditFilter {
    std::optional<std::int64_t> since; // milliseconds since 1970
    std::string cht;
    std::string operador;
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
    /// One row per CHT of a key set (ChtRepository::keySetJson's text, filled where the database
    /// reads it) whose status is not `status` yet: call it before the change.
    static void recordStatusOf(SqlConnection& c, const Caller& caller, const std::string& method,
                               const std::string& keys, const std::string& status);
    /// One row per CHT of a key set about to be deleted, with its status as the old value.
    static void recordRemovalOf(SqlConnection& c, const Caller& caller, const std::string& method,
                                const std::string& keys);

    /// Prints the rows as a table, oldest first, times in local time; returns how many.
    static std::size_t print(SqlConnection& c, const AuditFilter& filter, std::ostream& out);
};

} // namespace cht::server
