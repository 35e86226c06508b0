// The server's schema and its versioned migrations.
#pragma once

#include "SqlConnection.h"

namespace cht::server {

/// Brings a database up to the newest schema version, one transaction per migration. The
/// applied versions are kept in SCHEMA_VERSION; a database newer than this server is refused.
class Schema {
public:
    static constexpr int kLatestVersion = 6;

    static void migrate(SqlConnection& connection, int upTo = kLatestVersion);
    /// Version of the database (0 when it has no schema yet).
    static int version(SqlConnection& connection);
};

} // namespace cht::server
