// One prepared statement of a store connection. Parameters are 1-based, result columns 0-based.
#pragma once

#include <cstdint>
#include <string_view>

namespace cht::server {

/// A prepared SQL statement with '?' placeholders. step() runs it on the first call and then
/// moves through the result rows; reset() makes it ready for new bindings.
class SqlStatement {
public:
    virtual ~SqlStatement() = default;

    virtual void bindNull(int index) = 0;
    virtual void bindText(int index, std::string_view text) = 0;
    virtual void bindDouble(int index, double value) = 0;
    virtual void bindInt(int index, std::int64_t value) = 0;

    /// True while a result row is available.
    virtual bool step() = 0;
    virtual void reset() = 0;
    /// Rows changed by the last run of an INSERT, UPDATE or DELETE.
    virtual std::int64_t changes() = 0;

    virtual bool isNull(int column) = 0;
    /// Valid until the next step() or reset().
    virtual std::string_view text(int column) = 0;
    virtual double real(int column) = 0;
    virtual std::int64_t integer(int column) = 0;

    /// Runs a statement that returns no rows.
    void run()
    {
        while (step()) {
        }
    }
};

} // namespace cht::server
