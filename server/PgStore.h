// The PostgreSQL store, through libpq, given a connection string.
#pragma once

#include "Store.h"

#include <string>
#include <vector>

namespace cht::server {

class PgStore final : public Store {
public:
    explicit PgStore(std::string url);

    Dialect dialect() const override { return Dialect::Postgres; }
    std::string describe() const override;

protected:
    std::unique_ptr<SqlConnection> connect() override;
    void beginSharedRead(const std::vector<SqlConnection*>& connections) override;

private:
    std::string m_url;
};

} // namespace cht::server
