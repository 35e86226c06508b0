// The database behind the server: one interface, an SQLite and a PostgreSQL implementation.
#pragma once

#include "SqlConnection.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cht::server {

/// What the server's health check reports of its database.
struct StoreHealth {
    bool reachable = false;
    /// SQLite: the file at the path is still the one opened at start (always true elsewhere).
    bool sameFile = true;
    /// Why not, in Portuguese, naming no path.
    std::string problem;
    bool ok() const { return reachable && sameFile; }
};

/// Whether opening a store may make its database: only when asked (--create, --init-demo). A
/// missing SQLite file or a database without this server's tables is otherwise an error.
enum class OpenMode { Existing, Create };

/// A store hands out pooled connections; each request borrows one for its whole run.
class Store {
public:
    class Lease {
    public:
        Lease(Store& store, std::unique_ptr<SqlConnection> connection)
            : m_store(&store), m_connection(std::move(connection))
        {}
        Lease(Lease&& other) noexcept = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        SqlConnection& operator*() const { return *m_connection; }
        SqlConnection* operator->() const { return m_connection.get(); }
        /// The connection failed in a way that may leave it unusable: do not pool it again.
        void discard() { m_discard = true; }

    private:
        Store* m_store;
        std::unique_ptr<SqlConnection> m_connection;
        bool m_discard = false;
    };

    virtual ~Store() = default;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    virtual Dialect dialect() const = 0;
    /// What the log shows: "sqlite:FILE" or the PostgreSQL address without a password.
    virtual std::string describe() const = 0;

    /// A connection, after checking that the database is still usable (throws StoreError with a
    /// message for the client when not); pooled connections that lost their link are dropped.
    Lease acquire();
    /// Reachability checked with a query on a pooled connection.
    virtual StoreHealth health();

    /// Connections inside read transactions that all see one committed state, so that one
    /// answer can be read in pieces side by side. The transactions end with it.
    class Snapshot {
    public:
        Snapshot(Snapshot&&) noexcept = default;
        Snapshot& operator=(Snapshot&&) = delete;
        ~Snapshot();
        std::size_t size() const { return m_leases.size(); }
        SqlConnection& operator[](std::size_t i) const { return *m_leases[i]; }

    private:
        friend class Store;
        Snapshot() = default;
        std::vector<Lease> m_leases;
    };
    /// `count` (at least one) connections on one snapshot.
    Snapshot acquireSnapshot(std::size_t count);

    /// Opens the store named by "sqlite:FILE" or "postgresql://..." (also "postgres://..."), and
    /// brings its schema up to date; with OpenMode::Create an absent database (or schema) is
    /// made. Throws StoreError with a Portuguese message.
    static std::unique_ptr<Store> open(const std::string& url, OpenMode mode = OpenMode::Existing);

protected:
    Store() = default;
    virtual std::unique_ptr<SqlConnection> connect() = 0;
    /// Throws StoreError (with a message for the client) when the database cannot be used now.
    virtual void checkAvailable() {}
    /// Starts read transactions on the connections, all on the same committed state.
    virtual void beginSharedRead(const std::vector<SqlConnection*>& connections) = 0;

private:
    void giveBack(std::unique_ptr<SqlConnection> connection);

    std::mutex m_mutex;
    std::vector<std::unique_ptr<SqlConnection>> m_idle;
};

} // namespace cht::server
