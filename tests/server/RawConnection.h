// Clients that misbehave on purpose: raw TCP connections from a chosen loopback address, and the
// answers of a JSON-RPC body read whatever their ids.
#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace cht::server::test {

/// One TCP connection to 127.0.0.1:port from a given loopback address (the whole 127/8 is local,
/// so that tests can play several clients).
class RawConnection {
public:
    RawConnection(int port, const std::string& from = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return m_fd >= 0 && m_connected; }
    /// False once the server has closed the connection.
    bool send(std::string_view bytes);
    /// Everything the server sends until it closes the connection or `wait` passes.
    std::string receive(std::chrono::milliseconds wait);
    /// Waits up to `wait` for the server to close the connection (answering first or not).
    bool closedWithin(std::chrono::milliseconds wait);

private:
    int m_fd = -1;
    bool m_connected = false;
};

/// One answer of a body: its id as sent back (JSON text), and its error code (0 for a result).
struct Answer {
    std::string id;
    int code = 0;
    bool operator==(const Answer&) const = default;
};
inline void PrintTo(const Answer& a, std::ostream* out)
{
    *out << "{" << a.id << ", " << a.code << "}";
}
/// The answers of a reply body: one for a single answer, one per item for an array. A body that
/// is not a JSON-RPC answer or an array of them fails the test.
std::vector<Answer> answersOf(const std::string& body);

} // namespace cht::server::test
