// The embedded store: one SQLite file, made only when asked (OpenMode::Create). While the server
// runs, the file must stay the one it opened: removed, replaced or made unreadable, the store
// refuses every request instead of writing into a file nobody will see again. The write-ahead
// log is copied into the database by a thread of the store, not inside a request's commit.
#pragma once

#include "Store.h"

#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace cht::server {

class SqliteStore final : public Store {
public:
    explicit SqliteStore(std::string file, OpenMode mode = OpenMode::Existing);
    ~SqliteStore() override;

    Dialect dialect() const override { return Dialect::Sqlite; }
    std::string describe() const override { return "sqlite:" + m_file; }
    StoreHealth health() override;

    /// The file as it was opened: device and inode, taken at the first connection.
    class FileGuard;
    /// Copies the write-ahead log into the database on a thread of its own.
    class Checkpointer;

protected:
    std::unique_ptr<SqlConnection> connect() override;
    void checkAvailable() override;
    void beginSharedRead(const std::vector<SqlConnection*>& connections) override;

private:
    std::string m_file;
    std::shared_ptr<std::shared_mutex> m_writeGate;
    std::shared_ptr<FileGuard> m_guard;
    std::shared_ptr<Checkpointer> m_checkpointer;
    bool m_create;
};

} // namespace cht::server
