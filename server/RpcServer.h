// JSON-RPC over HTTP for the remote object: POST /rpc, GET /health, a pool of worker threads.
#pragma once

#include "CancelaChtService.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace cht::server {

struct RpcServerOptions {
    std::string host = "127.0.0.1";
    int port = 8080; // 0: any free port
    std::size_t threads = 16;
    std::size_t maxBodyBytes = 64u * 1024u * 1024u;
    /// Receives one line per request; empty: no log.
    std::function<void(const std::string&)> log;
};

/// Serves one CancelaChtService. Every failure becomes a JSON-RPC answer; nothing a client
/// sends stops the server.
class RpcServer {
public:
    RpcServer(CancelaChtService& service, RpcServerOptions options);
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    /// Binds the address; returns the port (the chosen one when the options say 0). Throws
    /// std::runtime_error with a Portuguese message when the address cannot be bound.
    int bind();
    /// Serves until stop(); call after bind().
    void run();
    /// Serves on a background thread; returns once the server accepts connections.
    void start();
    /// Stops accepting and returns once the serving thread (if start() made one) has ended.
    void stop();
    int port() const;

    /// The JSON-RPC answer to one request body, with what the log line says of it.
    struct Outcome {
        std::string reply;
        std::string method = "-";
        std::size_t rows = 0;
        std::string status; // "ok", "recusado: ...", "erro -32601: ..."
    };
    Outcome handle(std::string_view body);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace cht::server
