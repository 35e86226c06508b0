// A write transaction that rolls back unless committed.
#pragma once

#include "SqlConnection.h"

namespace cht::server {

/// Rolls back on scope exit unless committed.
class SqlTransaction {
public:
    explicit SqlTransaction(SqlConnection& connection) : m_connection(connection)
    {
        m_connection.beginWrite();
    }
    ~SqlTransaction()
    {
        if (!m_done) {
            try {
                m_connection.rollback();
            } catch (...) {
                // The connection is already broken; the pool drops it.
            }
        }
    }
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;
    void commit()
    {
        m_connection.commit();
        m_done = true;
    }

private:
    SqlConnection& m_connection;
    bool m_done = false;
};

} // namespace cht::server
