#include "RpcServer.h"

#include "ParamError.h"
#include "RuleError.h"
#include "StoreError.h"

#include "platform/wire/FieldDef.h"
#include "platform/wire/JsonRpc.h"
#include "platform/wire/Utf8.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace cht::server {

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";
using Clock = std::chrono::steady_clock;

std::string shortened(std::string_view text, std::size_t max = 160)
{
    if (text.size() <= max)
        return std::string(text);
    return std::string(wire::cutToChars(text, max)) + "...";
}

// A log line holds what clients sent (method names, field names): control characters, the C1
// ones and the Unicode line separators are escaped, so that no text of theirs starts a line.
std::string printable(std::string_view line)
{
    std::string out;
    out.reserve(line.size());
    char escaped[8];
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const auto next = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : 0u;
        const auto third = i + 2 < line.size() ? static_cast<unsigned char>(line[i + 2]) : 0u;
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
            out += escaped;
            ++i;
        } else if (c == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)) {
            out += third == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The code that ties a client's message to the log line with the detail.
std::string incidentId()
{
    static std::atomic<std::uint32_t> next{std::random_device{}()};
    char text[12];
    std::snprintf(text, sizeof text, "%08X", next.fetch_add(0x9E3779B9u));
    return text;
}

std::string jsonText(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

HttpResponse refusal(int status, const std::string& message)
{
    const int code = status == 503   ? wire::kServerBusy
                     : status == 500 ? wire::kInternalError
                                     : wire::kInvalidRequest;
    return {status, kJson, wire::encodeProtocolError(wire::RpcId::null(), code, message)};
}

} // namespace

struct RpcServer::Impl {
    CancelaChtService& service;
    RpcServerOptions options;
    HttpServer http;

    Impl(CancelaChtService& s, RpcServerOptions o)
        : service(s), options(std::move(o)),
          http(options.limits, refusal, [this](const std::string& line) { log(line); })
    {}

    void log(const std::string& line) const
    {
        if (options.log)
            options.log(printable(line));
    }

    std::string call(wire::RpcBodyReader& reader, std::size_t index, CallLog& log);
};

RpcServer::RpcServer(CancelaChtService& service, RpcServerOptions options)
    : m_impl(std::make_unique<Impl>(service, std::move(options)))
{
    m_impl->http.route(
        "POST", "/rpc",
        [this](HttpRequest& request) {
            Outcome outcome = handle(request.body);
            std::string().swap(request.body);
            if (m_impl->options.log) {
                for (const CallLog& c : outcome.calls) {
                    char figures[96];
                    std::snprintf(figures, sizeof figures, " rows=%zu ms=%.1f ", c.rows, c.ms);
                    m_impl->log(c.method + figures + c.status);
                }
            }
            // Notifications only: nothing to answer.
            if (outcome.reply.empty())
                return HttpResponse{204, {}, {}};
            return HttpResponse{200, kJson, std::move(outcome.reply)};
        });
    m_impl->http.route("GET", "/health", [this](HttpRequest&) { return health(); });
}

RpcServer::~RpcServer()
{
    stop();
}

int RpcServer::bind()
{
    return m_impl->http.bind(m_impl->options.host, m_impl->options.port);
}

void RpcServer::run()
{
    m_impl->http.run();
}

void RpcServer::start()
{
    m_impl->http.start();
}

void RpcServer::stop()
{
    m_impl->http.stop();
}

int RpcServer::port() const
{
    return m_impl->http.port();
}

std::size_t RpcServer::openConnections() const
{
    return m_impl->http.openConnections();
}

RpcServer::Outcome RpcServer::handle(std::string_view body)
{
    Outcome out;
    wire::RpcBodyReader reader(body);
    auto wholeBodyError = [&](int code, const std::string& message) {
        out.reply = wire::encodeProtocolError(wire::RpcId::null(), code, message);
        CallLog log;
        log.status = "erro " + std::to_string(code) + ": " + shortened(message);
        out.calls.push_back(std::move(log));
        return out;
    };
    if (reader.errorCode() != 0)
        return wholeBodyError(reader.errorCode(), reader.errorMessage());
    const std::vector<wire::RpcEnvelope>& requests = reader.requests();
    const std::size_t maxBatch = m_impl->options.maxBatch;
    if (reader.isBatch() && requests.size() > maxBatch) {
        return wholeBodyError(wire::kInvalidRequest,
                              "Um lote aceita no máximo " + std::to_string(maxBatch) +
                                  " chamadas; este tem " + std::to_string(requests.size()) + ".");
    }
    std::vector<std::string> replies;
    std::size_t replyBytes = 0;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        CallLog log;
        std::string reply;
        if (replyBytes >= m_impl->options.maxBatchReplyBytes) {
            const std::string message =
                "As respostas deste lote passam do limite de " +
                std::to_string(m_impl->options.maxBatchReplyBytes / (1024 * 1024)) +
                " MiB: esta chamada não foi executada; envie-a em separado.";
            log.method = shortened(requests[i].method);
            log.status = "erro " + std::to_string(wire::kServerBusy) + ": " + message;
            reply = wire::encodeProtocolError(requests[i].id, wire::kServerBusy, message);
        } else {
            reply = m_impl->call(reader, i, log);
        }
        if (requests[i].notification())
            log.status += " (notificação: sem resposta)";
        else {
            replyBytes += reply.size();
            replies.push_back(std::move(reply));
        }
        out.calls.push_back(std::move(log));
    }
    if (replies.empty())
        return out;
    if (!reader.isBatch()) {
        out.reply = std::move(replies.front());
        return out;
    }
    out.reply.reserve(replyBytes + replies.size() + 2);
    out.reply += '[';
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (i > 0)
            out.reply += ',';
        out.reply += replies[i];
        std::string().swap(replies[i]);
    }
    out.reply += ']';
    return out;
}

std::string RpcServer::Impl::call(wire::RpcBodyReader& reader, std::size_t index, CallLog& log)
{
    const wire::RpcEnvelope& env = reader.requests()[index];
    const auto started = Clock::now();
    struct Elapsed {
        CallLog& log;
        Clock::time_point started;
        ~Elapsed()
        {
            log.ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        }
    } elapsed{log, started};
    auto protocolError = [&](int code, const std::string& message) {
        log.status = "erro " + std::to_string(code) + ": " + shortened(message);
        return wire::encodeProtocolError(env.id, code, message);
    };
    if (env.errorCode != 0)
        return protocolError(env.errorCode, env.errorMessage);

    // "Object.Method": the object is everything before the last dot.
    const std::string& full = env.method;
    const auto dot = full.rfind('.');
    const std::string object = dot == std::string::npos ? std::string() : full.substr(0, dot);
    const std::string method = dot == std::string::npos ? full : full.substr(dot + 1);
    log.method = shortened(method.empty() ? full : method, 80);
    if (!wire::sameFieldName(object, CancelaChtService::kObjectName)) {
        return protocolError(wire::kMethodNotFound,
                             "Objeto remoto desconhecido: \"" + shortened(object, 80) +
                                 "\". Este servidor atende \"" +
                                 std::string(CancelaChtService::kObjectName) + "\".");
    }
    const std::string_view known = CancelaChtService::findMethod(method);
    if (known.empty()) {
        return protocolError(wire::kMethodNotFound,
                             "Método desconhecido: \"" + shortened(method, 80) + "\" do objeto " +
                                 std::string(CancelaChtService::kObjectName) + ".");
    }
    log.method = std::string(known);

    std::vector<wire::RpcArg> params;
    try {
        params = reader.params(index);
    } catch (const wire::RpcDecodeError& e) {
        return protocolError(e.code(), e.what());
    }
    // A failure of the database or of the server: the client gets a short message and a code,
    // the log the same code with the detail (which may name the file or hold SQL).
    auto incident = [&](const std::string& forClient, const std::string& detail) {
        const std::string id = incidentId();
        log.status = "erro " + std::to_string(wire::kInternalError) + ": ocorrência " + id + ": " +
                     shortened(detail, 2000);
        return wire::encodeProtocolError(env.id, wire::kInternalError,
                                         forClient + " (ocorrência " + id + ")");
    };
    try {
        CallResult result = service.call(known, std::move(params));
        log.rows = result.rows;
        log.status = "ok";
        return wire::encodeResultAround(env.id, result.refs, std::move(result.dataJson));
    } catch (const RuleError& e) {
        log.status = "recusado: " + shortened(e.what());
        return wire::encodeFailure(env.id, e.what());
    } catch (const ParamError& e) {
        return protocolError(wire::kInvalidParams, e.what());
    } catch (const StoreError& e) {
        return incident(e.forClient().empty() ? "Falha no banco de dados do servidor."
                                              : e.forClient(),
                        e.what());
    } catch (const std::exception& e) {
        return incident("Erro interno do servidor.", e.what());
    }
}

HttpResponse RpcServer::health()
{
    Store& store = m_impl->service.store();
    const StoreHealth h = store.health();
    const bool sqlite = store.dialect() == Dialect::Sqlite;
    std::string body = "{\"status\":";
    body += h.ok() ? "\"ok\"" : "\"indisponível\"";
    body += ",\"object\":" + jsonText(CancelaChtService::kObjectName);
    body += ",\"database\":{\"kind\":";
    body += sqlite ? "\"sqlite\"" : "\"postgresql\"";
    body += ",\"reachable\":";
    body += h.reachable ? "true" : "false";
    if (sqlite) {
        body += ",\"sameFile\":";
        body += h.sameFile ? "true" : "false";
    }
    if (!h.problem.empty())
        body += ",\"problem\":" + jsonText(h.problem);
    body += "}}";
    return {h.ok() ? 200 : 503, kJson, std::move(body)};
}

} // namespace cht::server
