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
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto connection = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(*this, std::move(connection));
        }
    }
    return Lease(*this, connect());
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

std::unique_ptr<Store> Store::open(const std::string& url)
{
    std::unique_ptr<Store> store;
    if (url.rfind("sqlite:", 0) == 0) {
        std::string file = url.substr(7);
        if (file.empty())
            throw StoreError("Informe o arquivo do banco SQLite: sqlite:ARQUIVO.");
        store = std::make_unique<SqliteStore>(file);
    } else if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
        store = std::make_unique<PgStore>(url);
    } else {
        throw StoreError("Banco de dados desconhecido: \"" + url +
                         "\". Use sqlite:ARQUIVO ou postgresql://...");
    }
    auto lease = store->acquire();
    Schema::migrate(*lease);
    return store;
}

} // namespace cht::server
