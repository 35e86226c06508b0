#include "SqliteStore.h"

#include "StoreError.h"

#include <sqlite3.h>

#include <memory>
#include <shared_mutex>
#include <string>

namespace cht::server {

namespace {

std::string describeError(sqlite3* db, int rc)
{
    const char* message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return std::string("Erro do banco SQLite: ") + (message != nullptr ? message : "desconhecido");
}

class SqliteStatement final : public SqlStatement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : m_db(db), m_stmt(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bindNull(int index) override { check(sqlite3_bind_null(m_stmt, index)); }
    void bindText(int index, std::string_view text) override
    {
        check(sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8));
    }
    void bindDouble(int index, double value) override
    {
        check(sqlite3_bind_double(m_stmt, index, value));
    }
    void bindInt(int index, std::int64_t value) override
    {
        check(sqlite3_bind_int64(m_stmt, index, value));
    }

    bool step() override
    {
        if (m_finished)
            return false;
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        m_finished = true;
        if (rc != SQLITE_DONE) {
            std::string message = describeError(m_db, rc);
            sqlite3_reset(m_stmt);
            throw StoreError(message);
        }
        m_changes = sqlite3_changes64(m_db);
        return false;
    }
    void reset() override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_finished = false;
        m_changes = 0;
    }
    std::int64_t changes() override { return m_changes; }

    bool isNull(int column) override { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    std::string_view text(int column) override
    {
        const auto* p = sqlite3_column_text(m_stmt, column);
        if (p == nullptr)
            return {};
        return {reinterpret_cast<const char*>(p),
                static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))};
    }
    double real(int column) override { return sqlite3_column_double(m_stmt, column); }
    std::int64_t integer(int column) override { return sqlite3_column_int64(m_stmt, column); }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            throw StoreError(describeError(m_db, rc));
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    bool m_finished = false;
    std::int64_t m_changes = 0;
};

class SqliteConnection final : public SqlConnection {
public:
    SqliteConnection(const std::string& file, std::shared_ptr<std::shared_mutex> writeGate)
        : m_writeGate(std::move(writeGate))
    {
        int rc = sqlite3_open_v2(file.c_str(), &m_db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) {
            std::string message = "Não foi possível abrir o banco SQLite \"" + file + "\": " +
                                  (m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw StoreError(message);
        }
        sqlite3_extended_result_codes(m_db, 0);
        // Writers wait for each other instead of failing at once.
        sqlite3_busy_timeout(m_db, 15000);
        exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
             " PRAGMA cache_size=-65536; PRAGMA temp_store=MEMORY;");
    }
    ~SqliteConnection() override
    {
        releaseGate();
        sqlite3_close_v2(m_db);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    Dialect dialect() const override { return Dialect::Sqlite; }

    std::unique_ptr<SqlStatement> prepare(std::string_view sql) override
    {
        sqlite3_stmt* stmt = nullptr;
        int rc =
            sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), 0, &stmt, nullptr);
        if (rc != SQLITE_OK)
            throw StoreError(describeError(m_db, rc));
        return std::make_unique<SqliteStatement>(m_db, stmt);
    }

    void exec(std::string_view sql) override
    {
        std::string text(sql);
        char* error = nullptr;
        int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &error);
        if (rc != SQLITE_OK) {
            std::string message =
                std::string("Erro do banco SQLite: ") + (error != nullptr ? error : "desconhecido");
            sqlite3_free(error);
            throw StoreError(message);
        }
    }

    // A write holds the store's gate shared from its start to its end, so that a shared read
    // (which takes it exclusively) never starts its pieces on both sides of a commit.
    void beginWrite() override
    {
        m_writeGate->lock_shared();
        m_holdsGate = true;
        try {
            exec("BEGIN IMMEDIATE");
        } catch (...) {
            releaseGate();
            throw;
        }
    }
    void commit() override
    {
        exec("COMMIT");
        releaseGate();
    }
    void rollback() override
    {
        try {
            if (sqlite3_get_autocommit(m_db) == 0)
                exec("ROLLBACK");
        } catch (...) {
            releaseGate();
            throw;
        }
        releaseGate();
    }

    void beginRead() { exec("BEGIN; SELECT 1 FROM sqlite_master LIMIT 1"); }

private:
    void releaseGate()
    {
        if (m_holdsGate) {
            m_holdsGate = false;
            m_writeGate->unlock_shared();
        }
    }

    sqlite3* m_db = nullptr;
    std::shared_ptr<std::shared_mutex> m_writeGate;
    bool m_holdsGate = false;
};

} // namespace

SqliteStore::SqliteStore(std::string file)
    : m_file(std::move(file)), m_writeGate(std::make_shared<std::shared_mutex>())
{
    // SQLite's allocation statistics take one process-wide lock per allocation, which held the
    // pieces of a long list read side by side to little more than one core. Effective only
    // before SQLite's first use in the process, which is where the first store is made.
    static const int once = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)once;
}

std::unique_ptr<SqlConnection> SqliteStore::connect()
{
    return std::make_unique<SqliteConnection>(m_file, m_writeGate);
}

// A read transaction's snapshot is taken at its first read; with this server's writers held
// at the gate, every connection's first read sees the same commits. (A second process writing
// the same file is not held: SQLite offers no shared snapshot without its snapshot extension.)
void SqliteStore::beginSharedRead(const std::vector<SqlConnection*>& connections)
{
    std::unique_lock gate(*m_writeGate);
    for (SqlConnection* c : connections)
        static_cast<SqliteConnection*>(c)->beginRead();
}

} // namespace cht::server
