// One connection to the database of a store, used by one thread at a time.
#pragma once

#include "SqlStatement.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cht::server {

/// The SQL flavours the stores speak; the few statements that differ ask for it.
enum class Dialect { Sqlite, Postgres };

/// A database connection: statements, plain scripts and transactions.
class SqlConnection {
public:
    virtual ~SqlConnection() = default;

    virtual Dialect dialect() const = 0;
    virtual std::unique_ptr<SqlStatement> prepare(std::string_view sql) = 0;
    /// Runs one or more statements without parameters.
    virtual void exec(std::string_view sql) = 0;

    /// Starts a transaction that will write (SQLite takes the write lock at once, so that two
    /// writers never deadlock on a lock upgrade).
    virtual void beginWrite() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    /// True when the link to the database is lost; such a connection is not pooled again.
    virtual bool broken() const { return false; }
    /// Checked before an idle connection is lent again: false when its link was lost meanwhile
    /// (a database server restarted), so that the next request gets a fresh one.
    virtual bool alive() { return !broken(); }

    /// A statement prepared once for this connection and reused, ready for new bindings: a key
    /// set of 10,000 CHTs runs the same few statements 10,000 times. Valid until the next call
    /// with the same text; reset it after reading, so that it holds no rows open.
    SqlStatement& cached(const std::string& sql)
    {
        auto it = m_cached.find(sql);
        if (it == m_cached.end())
            it = m_cached.emplace(sql, prepareReused(sql)).first;
        else
            it->second->reset();
        return *it->second;
    }

protected:
    /// A statement that will run many times: a database that plans statements apart from running
    /// them (PostgreSQL) parses it once, on its first run, instead of on every run.
    virtual std::unique_ptr<SqlStatement> prepareReused(std::string_view sql)
    {
        return prepare(sql);
    }

private:
    std::unordered_map<std::string, std::unique_ptr<SqlStatement>> m_cached;
};

} // namespace cht::server
