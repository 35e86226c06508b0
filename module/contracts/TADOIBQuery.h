// Read-only lookup query through the host's shared database connection.
#pragma once

#include "module/contracts/FrameworkExport.h"
#include "platform/dataset/ClientDataSet.h"

#include <QSqlDatabase>
#include <QStringList>

namespace cht::framework {

/// The host's shared database module: one connection for every lookup of every screen.
class CHT_FRAMEWORK_EXPORT dtmDBGeral {
public:
    /// "sqlite:FILE" or a PostgreSQL connection string ("postgresql://..." or "host=... dbname=...").
    static void Configure(const QString& database);
    /// The shared connection, opened on first use; raises EServerError in Portuguese on failure.
    static QSqlDatabase Database();
    static QString Configured();
};

/// A query whose rows land in a client data set (with persistent fields defined before Open, or
/// the columns' own when none are): Close and Open again read the tables afresh.
class CHT_FRAMEWORK_EXPORT TADOIBQuery : public cht::platform::TClientDataSet {
public:
    explicit TADOIBQuery(QString name = {});
    QStringList SQL;
    void Open();
    void Close();
};

} // namespace cht::framework
