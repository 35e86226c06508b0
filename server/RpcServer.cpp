#include "RpcServer.h"

#include "ParamError.h"
#include "RuleError.h"
#include "StoreError.h"

#include "platform/wire/FieldDef.h"
#include "platform/wire/JsonRpc.h"
#include "platform/wire/Utf8.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace cht::server {

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

std::string shortened(std::string_view text)
{
    constexpr std::size_t kMax = 160;
    if (text.size() <= kMax)
        return std::string(text);
    return std::string(wire::cutToChars(text, kMax)) + "...";
}

} // namespace

struct RpcServer::Impl {
    CancelaChtService& service;
    RpcServerOptions options;
    httplib::Server http;
    std::thread thread;
    int port = -1;

    Impl(CancelaChtService& s, RpcServerOptions o) : service(s), options(std::move(o)) {}

    void log(const std::string& line) const
    {
        if (options.log)
            options.log(line);
    }
};

RpcServer::RpcServer(CancelaChtService& service, RpcServerOptions options)
    : m_impl(std::make_unique<Impl>(service, std::move(options)))
{
    Impl& impl = *m_impl;
    const std::size_t threads = impl.options.threads > 0 ? impl.options.threads : 1;
    impl.http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    impl.http.set_payload_max_length(impl.options.maxBodyBytes);
    impl.http.set_keep_alive_max_count(1000);

    impl.http.Post("/rpc", [this](const httplib::Request& req, httplib::Response& res) {
        auto started = std::chrono::steady_clock::now();
        Outcome outcome = handle(req.body);
        res.status = 200;
        res.body = std::move(outcome.reply);
        res.set_header("Content-Type", kJson);
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (m_impl->options.log) {
            char line[96];
            std::snprintf(line, sizeof line, "rows=%zu ms=%.1f ", outcome.rows, ms);
            m_impl->log(outcome.method + " " + line + outcome.status);
        }
    });
    impl.http.Get("/health", [this](const httplib::Request&, httplib::Response& res) {
        res.status = 200;
        res.body = "{\"status\":\"ok\",\"object\":\"" +
                   std::string(CancelaChtService::kObjectName) + "\"}";
        res.set_header("Content-Type", kJson);
    });
    // Whatever httplib refuses by itself (an oversized body, an unknown path, a wrong verb)
    // still answers in JSON-RPC, so that the caller gets a readable message.
    httplib::Server::HandlerWithResponse onError = [this](const httplib::Request& req,
                                                          httplib::Response& res) {
        if (!res.body.empty()) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        std::string message;
        int code = wire::kInvalidRequest;
        if (res.status == 413) {
            message = "A requisição passa do limite de " +
                      std::to_string(m_impl->options.maxBodyBytes / (1024 * 1024)) + " MiB.";
        } else if (res.status == 404) {
            message = "Endereço desconhecido: " + req.path + ". Use POST /rpc.";
        } else {
            message = "Requisição HTTP inválida (status " + std::to_string(res.status) + ").";
        }
        res.body = wire::encodeProtocolError(-1, code, message);
        res.set_header("Content-Type", kJson);
        m_impl->log("- rows=0 ms=0.0 erro " + std::to_string(code) + ": " + message);
        return httplib::Server::HandlerResponse::Handled;
    };
    impl.http.set_error_handler(onError);
}

RpcServer::~RpcServer()
{
    stop();
}

int RpcServer::bind()
{
    Impl& impl = *m_impl;
    if (impl.options.port == 0)
        impl.port = impl.http.bind_to_any_port(impl.options.host);
    else if (impl.http.bind_to_port(impl.options.host, impl.options.port))
        impl.port = impl.options.port;
    else
        impl.port = -1;
    if (impl.port < 0) {
        throw std::runtime_error("Não foi possível escutar em " + impl.options.host + ":" +
                                 std::to_string(impl.options.port) + ".");
    }
    return impl.port;
}

void RpcServer::run()
{
    m_impl->http.listen_after_bind();
}

void RpcServer::start()
{
    m_impl->thread = std::thread([this] { m_impl->http.listen_after_bind(); });
    // listen_after_bind accepts right away; wait until its loop runs.
    while (!m_impl->http.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void RpcServer::stop()
{
    m_impl->http.stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

int RpcServer::port() const
{
    return m_impl->port;
}

RpcServer::Outcome RpcServer::handle(std::string_view body)
{
    Outcome out;
    wire::RpcRequest request;
    try {
        request = wire::decodeRequest(body);
    } catch (const wire::RpcDecodeError& e) {
        out.reply = wire::encodeProtocolError(e.id(), e.code(), e.what());
        out.status = "erro " + std::to_string(e.code()) + ": " + shortened(e.what());
        return out;
    } catch (const std::exception& e) {
        out.reply = wire::encodeProtocolError(-1, wire::kParseError, e.what());
        out.status = "erro " + std::to_string(wire::kParseError) + ": " + shortened(e.what());
        return out;
    }
    const std::int64_t id = request.id;
    auto protocolError = [&](int code, const std::string& message) {
        out.reply = wire::encodeProtocolError(id, code, message);
        out.status = "erro " + std::to_string(code) + ": " + shortened(message);
    };

    // "Object.Method": the object is everything before the last dot.
    const std::string& full = request.method;
    auto dot = full.rfind('.');
    std::string object = dot == std::string::npos ? std::string() : full.substr(0, dot);
    std::string method = dot == std::string::npos ? full : full.substr(dot + 1);
    out.method = method.empty() ? full : method;
    if (!wire::sameFieldName(object, CancelaChtService::kObjectName)) {
        protocolError(wire::kMethodNotFound,
                      "Objeto remoto desconhecido: \"" + object + "\". Este servidor atende \"" +
                          std::string(CancelaChtService::kObjectName) + "\".");
        return out;
    }
    std::string_view known = CancelaChtService::findMethod(method);
    if (known.empty()) {
        protocolError(wire::kMethodNotFound, "Método desconhecido: \"" + method + "\" do objeto " +
                                                 std::string(CancelaChtService::kObjectName) + ".");
        return out;
    }
    out.method = std::string(known);
    try {
        CallResult result = m_impl->service.call(known, std::move(request.params));
        out.reply = wire::encodeResultAround(id, result.refs, std::move(result.dataJson));
        out.rows = result.rows;
        out.status = "ok";
    } catch (const RuleError& e) {
        out.reply = wire::encodeFailure(id, e.what());
        out.status = "recusado: " + shortened(e.what());
    } catch (const ParamError& e) {
        protocolError(wire::kInvalidParams, e.what());
    } catch (const StoreError& e) {
        protocolError(wire::kInternalError, std::string("Falha no banco de dados: ") + e.what());
    } catch (const std::exception& e) {
        protocolError(wire::kInternalError, std::string("Erro interno do servidor: ") + e.what());
    }
    return out;
}

} // namespace cht::server
