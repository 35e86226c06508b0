// The embedded store: one SQLite file, created with its schema on first start.
#pragma once

#include "Store.h"

#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace cht::server {

class SqliteStore final : public Store {
public:
    explicit SqliteStore(std::string file);

    Dialect dialect() const override { return Dialect::Sqlite; }
    std::string describe() const override { return "sqlite:" + m_file; }

protected:
    std::unique_ptr<SqlConnection> connect() override;
    void beginSharedRead(const std::vector<SqlConnection*>& connections) override;

private:
    std::string m_file;
    std::shared_ptr<std::shared_mutex> m_writeGate;
};

} // namespace cht::server
