// One HTTP/1.1 connection from the host to the application server, over TCP or TLS.
#pragma once

#include "ServerAddress.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace cht::framework {

/// Blocking requests, one at a time, each step waiting at most until the call's deadline.
/// Failures raise EServerError in the connection's words (NetMessages), naming the server.
///
/// Its own rather than a library's client: a list's answer runs to tens of megabytes, and it
/// is read here in large pieces straight into the reply (cpp-httplib's client reads 4 KiB at a
/// time, waiting on the socket before each read: a third of the list's time on the client).
class HttpConnection {
public:
    using Clock = std::chrono::steady_clock;

    /// When a call must be over, and the timeout it was given (for the message).
    struct Deadline {
        Clock::time_point at;
        int timeoutMs = 0;
        static Deadline after(int timeoutMs);
    };

    struct Request {
        std::string_view method; // "GET" or "POST"
        std::string_view path;
        std::string_view contentType; // sent with the body when not empty
        std::string_view bearer;      // an Authorization: Bearer token when not empty
        std::string_view body;
    };

    struct Answer {
        int status = 0;
        /// Whether the server keeps the connection open for another request.
        bool keepsOpen = false;
    };

    /// Connects; over HTTPS, shakes hands and verifies that the server's certificate chains to
    /// `trustedCa` (a PEM file; the system's authorities when empty) and names the host.
    HttpConnection(const ServerAddress& address, const std::string& trustedCa,
                   const Deadline& deadline);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    /// Sends `request` and appends the answer's body to `body`. `sized`, when given, learns the
    /// body's length (from Content-Length) before any of it is read.
    Answer exchange(const Request& request, std::string& body,
                    const std::function<void(std::uint64_t)>& sized, const Deadline& deadline);

    /// An idle connection that the server has neither closed nor written to since.
    bool idleAndOpen() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace cht::framework
