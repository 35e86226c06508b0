#include "Store.h"

#include "PgStore.h"
#include "Schema.h"
#include "SqliteStore.h"
#include "StoreError.h"

#include <algorithm>

namespace cht::server {

namespace {
// Idle connections kept beyond this are closed: the pool follows the worker count.
constexpr std::size_t kMaxIdle = 32;
} // namespace

Store::Lease::~Lease()
{
    if (m_store != nullptr && m_connection && !m_discard && !m_connection->broken())
        m_store->giveBack(std::move(m_connection));
}

Store::Lease Store::acquire()
{
    checkAvailable();
    for (;;) {
        std::unique_ptr<SqlConnection> connection;
        {
            std::lock_guard lock(m_mutex);
            if (m_idle.empty())
                break;
            connection = std::move(m_idle.back());
            m_idle.pop_back();
        }
        if (connection->alive())
            return Lease(*this, std::move(connection));
    }
    return Lease(*this, connect());
}

StoreHealth Store::health()
{
    StoreHealth h;
    try {
        auto lease = acquire();
        lease->prepare("SELECT 1")->run();
        h.reachable = true;
    } catch (const StoreError& e) {
        h.problem = e.forClient().empty() ? "O banco de dados não respondeu." : e.forClient();
    }
    return h;
}

Store::Snapshot::~Snapshot()
{
    for (Lease& lease : m_leases) {
        try {
            lease->rollback();
        } catch (...) {
            lease.discard();
        }
    }
}

Store::Snapshot Store::acquireSnapshot(std::size_t count)
{
    Snapshot snapshot;
    std::vector<SqlConnection*> connections;
    for (std::size_t i = 0; i < std::max<std::size_t>(count, 1); ++i) {
        snapshot.m_leases.push_back(acquire());
        connections.push_back(&*snapshot.m_leases.back());
    }
    beginSharedRead(connections);
    return snapshot;
}

void Store::giveBack(std::unique_ptr<SqlConnection> connection)
{
    std::lock_guard lock(m_mutex);
    if (m_idle.size() < kMaxIdle)
        m_idle.push_back(std::move(connection));
}

std::unique_ptr<Store> Store::open(const std::string& url, OpenMode mode)
{
    std::unique_ptr<Store> store;
    if (url.rfind("sqlite:", 0) == 0) {
        std::string file = url.substr(7);
        if (file.empty())
            throw StoreError("Informe o arquivo do banco SQLite: sqlite:ARQUIVO.");
        store = std::make_unique<SqliteStore>(file, mode);
    } else if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
        store = std::make_unique<PgStore>(url);
    } else {
        throw StoreError("Banco de dados desconhecido: \"" + url +
                         "\". Use sqlite:ARQUIVO ou postgresql://...");
    }
    auto lease = store->acquire();
    if (mode == OpenMode::Existing && Schema::version(*lease) == 0) {
        throw StoreError("O banco " + store->describe() +
                         " não tem as tabelas do CHT. Para criá-las use --create (ou"
                         " --init-demo, com dados de demonstração).");
    }
    Schema::migrate(*lease);
    return store;
}

} // namespace cht::server
