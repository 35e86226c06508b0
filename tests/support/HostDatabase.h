// A fresh database for one test of the host's database work, on SQLite or on PostgreSQL, so that
// the same tests run on both (PostgreSQL instances are named Postgres/... and labelled pg).
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace cht::testing {

enum class Backend { Sqlite, Postgres };

std::string describeBackend(const ::testing::TestParamInfo<Backend>& info);

/// A temporary SQLite file, or a schema of its own in the PostgreSQL cluster that CHT_PG_URL
/// names (./cht test starts one), dropped when the object goes.
class HostDatabase {
public:
    explicit HostDatabase(Backend backend);
    ~HostDatabase();
    HostDatabase(const HostDatabase&) = delete;
    HostDatabase& operator=(const HostDatabase&) = delete;

    /// False for PostgreSQL without CHT_PG_URL; the reason is in error().
    bool available() const { return !m_url.isEmpty(); }
    const QString& error() const { return m_error; }
    /// The database text for dtmDBGeral::Configure and cht-server's --db.
    const QString& url() const { return m_url; }
    Backend backend() const { return m_backend; }

private:
    Backend m_backend;
    QTemporaryDir m_dir;
    QString m_adminUrl;
    QString m_schema;
    QString m_url;
    QString m_error;
};

} // namespace cht::testing

#define CHT_HOST_DATABASE_SUITE(Suite)                                                             \
    INSTANTIATE_TEST_SUITE_P(Sqlite, Suite, ::testing::Values(::cht::testing::Backend::Sqlite),    \
                             ::cht::testing::describeBackend);                                     \
    INSTANTIATE_TEST_SUITE_P(Postgres, Suite,                                                      \
                             ::testing::Values(::cht::testing::Backend::Postgres),                 \
                             ::cht::testing::describeBackend)
