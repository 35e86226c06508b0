// Failure of the database itself (not of a business rule).
#pragma once

#include <stdexcept>
#include <string>

namespace cht::server {

/// what() is the detail for the server's log and console: it may name the file, hold SQL or the
/// database's own words. forClient() is what a client may be told (no path, no SQL); empty when
/// the client is only to learn that the database failed.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const std::string& detail, std::string forClient = {})
        : std::runtime_error(detail), m_forClient(std::move(forClient))
    {}
    const std::string& forClient() const { return m_forClient; }

private:
    std::string m_forClient;
};

} // namespace cht::server
