#include "SqliteStore.h"

#include "StoreError.h"

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <thread>

namespace cht::server {

class SqliteStore::FileGuard {
public:
    enum class State { Same, Missing, Replaced, Unusable };

    explicit FileGuard(std::string file) : m_file(std::move(file)) {}

    bool known() const { return m_known.load(); }

    /// Takes the identity of the file at the path, once: right after the first open.
    void remember()
    {
        std::call_once(
            m_once,
            [this] {
                struct stat st {};
                if (::stat(m_file.c_str(), &st) == 0) {
                    m_device = st.st_dev;
                    m_inode = st.st_ino;
                    m_known = true;
                }
            });
    }

    State state() const
    {
        struct stat st {};
        if (::stat(m_file.c_str(), &st) != 0)
            return errno == ENOENT || errno == ENOTDIR ? State::Missing : State::Unusable;
        if (m_known && (st.st_dev != m_device || st.st_ino != m_inode))
            return State::Replaced;
        if (!S_ISREG(st.st_mode) || ::access(m_file.c_str(), R_OK | W_OK) != 0)
            return State::Unusable;
        // The superuser passes access() whatever the mode says; a file whose mode grants no
        // reading or no writing was made unusable on purpose all the same.
        if (::geteuid() == 0 && ((st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) == 0 ||
                                 (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0))
            return State::Unusable;
        return State::Same;
    }

    static std::string describe(State s)
    {
        switch (s) {
        case State::Missing:
            return "O banco de dados do servidor está indisponível: o arquivo foi removido. Nada "
                   "foi"
                   " alterado; avise o administrador do servidor.";
        case State::Replaced:
            return "O banco de dados do servidor está indisponível: o arquivo foi trocado por outro"
                   " desde o início do servidor. Nada foi alterado; o servidor precisa ser"
                   " reiniciado.";
        case State::Unusable:
            return "O banco de dados do servidor está indisponível: o arquivo não pode mais ser"
                   " lido ou gravado. Nada foi alterado; avise o administrador do servidor.";
        case State::Same:
            break;
        }
        return {};
    }

    /// Throws StoreError, with the message for the client, unless the file is still usable.
    void verify() const
    {
        const State s = state();
        if (s != State::Same) {
            const std::string message = describe(s);
            throw StoreError(message + " (" + m_file + ")", message);
        }
    }

private:
    std::string m_file;
    std::once_flag m_once;
    std::atomic<bool> m_known{false};
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// SQLite copies its write-ahead log into the database (a checkpoint) in the commit that takes
// the log past 1000 pages: the request that approved 10,000 CHTs then also wrote some 15 MB into
// the database file and waited for two flushes to disk before it could answer. Here that commit
// only wakes this thread, which runs the same checkpoint on a connection of its own. Durability
// is what it was: synchronous stays NORMAL, so a commit survives a crash of the process at once
// and a power loss once the log is flushed, which the checkpoint does first, as before, right
// after the commit; and no page goes from the log into the database before the log is flushed.
class SqliteStore::Checkpointer {
public:
    /// SQLite's own threshold, in pages of the log.
    static constexpr int kPages = 1000;
    /// With the thread behind (or stopped), the committing connection checkpoints itself, as
    /// SQLite would: the log stays bounded whatever happens to the thread.
    static constexpr int kBehindPages = 16 * kPages;

    Checkpointer(std::string file, std::shared_ptr<const FileGuard> guard)
        : m_file(std::move(file)), m_guard(std::move(guard))
    {}
    ~Checkpointer() { stop(); }
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    /// The WAL hook of every connection of the store, run after each commit.
    static int onCommit(void* self, sqlite3* db, const char* schema, int pages)
    {
        if (pages < kPages)
            return SQLITE_OK;
        if (pages < kBehindPages && static_cast<Checkpointer*>(self)->wake())
            return SQLITE_OK;
        sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    // False when the thread cannot take it (stopped, or not started): the caller checkpoints
    // itself. Runs inside SQLite's commit, so nothing may throw out of it.
    bool wake()
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        m_pending = true;
        m_wake.notify_one();
        return true;
    }

    void run()
    {
        sqlite3* db = nullptr;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_pending || m_stopping; });
            if (m_stopping)
                break;
            m_pending = false;
            lock.unlock();
            checkpoint(db);
            lock.lock();
        }
        lock.unlock();
        sqlite3_close_v2(db);
    }

    // A file removed or replaced under the server is left alone, as the requests leave it.
    void checkpoint(sqlite3*& db)
    {
        if (m_guard->state() != FileGuard::State::Same)
            return;
        if (db == nullptr) {
            // A connection finds the log at its first read; until then it has nothing to copy.
            if (sqlite3_open_v2(m_file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                nullptr) != SQLITE_OK ||
                sqlite3_exec(db, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr,
                             nullptr) != SQLITE_OK) {
                sqlite3_close_v2(db);
                db = nullptr;
                return;
            }
        }
        sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }

    const std::string m_file;
    const std::shared_ptr<const FileGuard> m_guard;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
    bool m_stopping = false;
    std::thread m_thread;
};

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
    SqliteConnection(const std::string& file, std::shared_ptr<std::shared_mutex> writeGate,
                     std::shared_ptr<const SqliteStore::FileGuard> guard,
                     std::shared_ptr<SqliteStore::Checkpointer> checkpointer, bool create)
        : m_writeGate(std::move(writeGate)), m_guard(std::move(guard)),
          m_checkpointer(std::move(checkpointer))
    {
        const int flags =
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
        int rc = sqlite3_open_v2(file.c_str(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            std::string message =
                !create && ::access(file.c_str(), F_OK) != 0
                    ? "O banco SQLite \"" + file +
                          "\" não existe. Para criar um banco vazio use --create; com dados de"
                          " demonstração, --init-demo."
                    : "Não foi possível abrir o banco SQLite \"" + file +
                          "\": " + (m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw StoreError(message, "O banco de dados do servidor não pode ser aberto.");
        }
        sqlite3_extended_result_codes(m_db, 0);
        // Writers wait for each other instead of failing at once.
        sqlite3_busy_timeout(m_db, 15000);
        // Switching to WAL writes the file; a file that is not a database yet is left untouched
        // unless it is to be made one (the store then refuses it for want of tables).
        if (create || hasTables())
            exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; PRAGMA cache_size=-65536;"
             " PRAGMA temp_store=MEMORY;");
        // In place of SQLite's own checkpoint in the commit.
        sqlite3_wal_hook(m_db, &SqliteStore::Checkpointer::onCommit, m_checkpointer.get());
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
    // The file is checked right before the commit, so that a removed or replaced file fails the
    // transaction instead of taking its writes where nobody reads them.
    void commit() override
    {
        m_guard->verify();
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
    bool hasTables()
    {
        auto st = prepare("SELECT 1 FROM sqlite_master LIMIT 1");
        return st->step();
    }

    void releaseGate()
    {
        if (m_holdsGate) {
            m_holdsGate = false;
            m_writeGate->unlock_shared();
        }
    }

    sqlite3* m_db = nullptr;
    std::shared_ptr<std::shared_mutex> m_writeGate;
    std::shared_ptr<const SqliteStore::FileGuard> m_guard;
    std::shared_ptr<SqliteStore::Checkpointer> m_checkpointer;
    bool m_holdsGate = false;
};

} // namespace

SqliteStore::SqliteStore(std::string file, OpenMode mode)
    : m_file(std::move(file)), m_writeGate(std::make_shared<std::shared_mutex>()),
      m_guard(std::make_shared<FileGuard>(m_file)),
      m_checkpointer(std::make_shared<Checkpointer>(m_file, m_guard)),
      m_create(mode == OpenMode::Create)
{
    // SQLite's allocation statistics take one process-wide lock per allocation, which held the
    // pieces of a long list read side by side to little more than one core. Effective only
    // before SQLite's first use in the process, which is where the first store is made.
    static const int once = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)once;
}

// The pooled connections close after this (in ~Store); with the thread stopped, their commits
// checkpoint themselves.
SqliteStore::~SqliteStore()
{
    m_checkpointer->stop();
}

// Only the first connection may make the file: once the store knows its file, a missing one is
// an error, never a new empty database.
std::unique_ptr<SqlConnection> SqliteStore::connect()
{
    const bool first = !m_guard->known();
    auto connection = std::make_unique<SqliteConnection>(m_file, m_writeGate, m_guard,
                                                         m_checkpointer, first && m_create);
    if (first)
        m_guard->remember();
    // Opening works on a file the superuser may not touch by its mode, and on one replaced
    // meanwhile: the same checks as every request.
    m_guard->verify();
    return connection;
}

void SqliteStore::checkAvailable()
{
    if (m_guard->known())
        m_guard->verify();
}

StoreHealth SqliteStore::health()
{
    const FileGuard::State state = m_guard->state();
    if (state == FileGuard::State::Same)
        return Store::health();
    StoreHealth h;
    h.sameFile = state == FileGuard::State::Unusable;
    h.problem = FileGuard::describe(state);
    return h;
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
