#include "RpcServer.h"

#include "ParamError.h"
#include "RuleError.h"
#include "StoreError.h"
#include "TextPool.h"

#include "platform/wire/FieldDef.h"
#include "platform/wire/JsonRpc.h"
#include "platform/wire/Utf8.h"

#include "platform/wire/PacketWriter.h"

#include <algorithm>
#include <atomic>
#include <cctype>
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
    return {status, kJson, wire::encodeProtocolError(wire::RpcId::null(), code, message), {}};
}

// The media type of a Content-Type header, without parameters, in lower case.
std::string mediaType(std::string_view contentType)
{
    const auto semicolon = contentType.find(';');
    std::string_view type = contentType.substr(0, semicolon);
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
        type.remove_prefix(1);
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.remove_suffix(1);
    std::string out(type);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "Bearer TOKEN" gives TOKEN; anything else nothing.
std::string_view bearerToken(std::string_view authorization)
{
    constexpr std::string_view scheme = "bearer ";
    if (authorization.size() <= scheme.size())
        return {};
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(authorization[i])) != scheme[i])
            return {};
    authorization.remove_prefix(scheme.size());
    while (!authorization.empty() && authorization.front() == ' ')
        authorization.remove_prefix(1);
    return authorization;
}

} // namespace

struct RpcServer::Impl {
    CancelaChtService& service;
    SessionService& sessions;
    RpcServerOptions options;
    HttpServer http;

    Impl(CancelaChtService& s, SessionService& ss, RpcServerOptions o)
        : service(s), sessions(ss), options(std::move(o)),
          http(
              options.limits, refusal, [this](const std::string& line) { log(line); }, options.tls)
    {
        if (options.allowedHosts.empty()) {
            options.allowedHosts = {"localhost", "127.0.0.1", "::1"};
            if (options.host != "0.0.0.0" && options.host != "::" && !options.host.empty())
                options.allowedHosts.push_back(options.host);
        }
        for (std::string& h : options.allowedHosts) {
            if (h.size() > 2 && h.front() == '[' && h.back() == ']')
                h = h.substr(1, h.size() - 2);
            for (char& c : h)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }

    void log(const std::string& line) const
    {
        if (options.log)
            options.log(printable(line));
    }

    /// The session of a body's calls, looked up once for all of them.
    struct Session {
        const Context& context;
        bool looked = false;
        std::optional<Caller> caller;
    };
    /// One call's answer: its text, and the texts sent after it as they are (a long list's
    /// parts). Every other answer is one text.
    struct Reply {
        Reply(std::string t = {}) : text(std::move(t)) {}
        std::string text;
        std::vector<std::string> more;
        std::size_t size() const
        {
            std::size_t n = text.size();
            for (const std::string& m : more)
                n += m.size();
            return n;
        }
    };
    Reply call(wire::RpcBodyReader& reader, std::size_t index, CallLog& log, Session& session);
    std::string sessionCall(const wire::RpcEnvelope& env, std::string_view method,
                            std::vector<wire::RpcArg> params, CallLog& log, const Context& context);
    HttpResponse refused(int status, const std::string& message)
    {
        log("recusado (HTTP " + std::to_string(status) + "): " + message);
        return {status,
                kJson,
                wire::encodeProtocolError(wire::RpcId::null(), wire::kRequestRefused, message),
                {}};
    }
};

RpcServer::RpcServer(CancelaChtService& service, SessionService& sessions, RpcServerOptions options)
    : m_impl(std::make_unique<Impl>(service, sessions, std::move(options)))
{
    m_impl->http.route(
        "POST", "/rpc",
        [this](HttpRequest& request) {
            // A page of another site that a browser visits may post here: it names that site
            // in Host, and a form cannot send application/json.
            const std::string_view host = request.header("Host");
            if (!hostAllowed(host))
                return m_impl->refused(421, "Este servidor não atende pelo nome \"" +
                                                shortened(host, 80) +
                                                "\". Use o endereço configurado no servidor.");
            if (mediaType(request.header("Content-Type")) != "application/json")
                return m_impl->refused(
                    415, "As chamadas devem ser enviadas com Content-Type application/json.");
            Context context{request.header("Authorization"), request.peer};
            Outcome outcome = handle(request.body, context, request.body.capacity());
            TextPool::give(std::move(request.body));
            if (m_impl->options.log) {
                for (const CallLog& c : outcome.calls) {
                    char figures[96];
                    std::snprintf(figures, sizeof figures, " rows=%zu ms=%.1f ", c.rows, c.ms);
                    m_impl->log(c.method + " op=" + c.operador + figures + c.status);
                }
            }
            // Notifications only: nothing to answer.
            if (outcome.reply.empty())
                return HttpResponse{204, {}, {}, {}};
            return HttpResponse{200, kJson, std::move(outcome.reply), std::move(outcome.more)};
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

bool RpcServer::hostAllowed(std::string_view host) const
{
    std::string_view name = host;
    if (!name.empty() && name.front() == '[') {
        const auto close = name.find(']');
        name = close == std::string_view::npos ? std::string_view() : name.substr(1, close - 1);
    } else if (const auto colon = name.find(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    if (name.empty())
        return false;
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto& allowed = m_impl->options.allowedHosts;
    return std::find(allowed.begin(), allowed.end(), lower) != allowed.end();
}

RpcServer::Outcome RpcServer::handle(std::string_view body, const Context& context,
                                     std::size_t capacity)
{
    Impl::Session session{context, false, std::nullopt};
    Outcome out;
    wire::RpcBodyReader reader(body, capacity);
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
    std::vector<Impl::Reply> replies;
    std::size_t replyBytes = 0;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        CallLog log;
        Impl::Reply reply;
        if (replyBytes >= m_impl->options.maxBatchReplyBytes) {
            const std::string message =
                "As respostas deste lote passam do limite de " +
                std::to_string(m_impl->options.maxBatchReplyBytes / (1024 * 1024)) +
                " MiB: esta chamada não foi executada; envie-a em separado.";
            log.method = shortened(requests[i].method);
            log.status = "erro " + std::to_string(wire::kServerBusy) + ": " + message;
            reply = wire::encodeProtocolError(requests[i].id, wire::kServerBusy, message);
        } else {
            reply = m_impl->call(reader, i, log, session);
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
        out.reply = std::move(replies.front().text);
        out.more = std::move(replies.front().more);
        return out;
    }
    out.reply.reserve(replyBytes + replies.size() + 2);
    out.reply += '[';
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (i > 0)
            out.reply += ',';
        out.reply += replies[i].text;
        for (const std::string& m : replies[i].more)
            out.reply += m;
        replies[i] = {};
    }
    out.reply += ']';
    return out;
}

RpcServer::Impl::Reply RpcServer::Impl::call(wire::RpcBodyReader& reader, std::size_t index,
                                             CallLog& log, Session& session)
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
    if (wire::sameFieldName(object, SessionService::kObjectName)) {
        std::vector<wire::RpcArg> params;
        try {
            params = reader.params(index);
        } catch (const wire::RpcDecodeError& e) {
            return protocolError(e.code(), e.what());
        }
        return sessionCall(env, method, std::move(params), log, session.context);
    }
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

    // A call without a valid session reads and changes nothing.
    if (!session.looked) {
        session.looked = true;
        const std::string_view token = bearerToken(session.context.authorization);
        if (!token.empty()) {
            try {
                session.caller = sessions.check(token, session.context.address);
            } catch (const StoreError& e) {
                session.looked = false;
                const std::string id = incidentId();
                log.status = "erro " + std::to_string(wire::kInternalError) + ": ocorrência " + id +
                             ": " + shortened(e.what(), 2000);
                return wire::encodeProtocolError(
                    env.id, wire::kInternalError,
                    (e.forClient().empty() ? std::string("Falha no banco de dados do servidor.")
                                           : e.forClient()) +
                        " (ocorrência " + id + ")");
            }
        }
    }
    if (!session.caller) {
        const std::string message =
            session.context.authorization.empty()
                ? "Esta chamada exige uma sessão: entre com seu operador e senha."
                : "A sessão não é válida ou expirou. Entre novamente com seu operador e senha.";
        log.status = "recusado: " + message;
        return wire::encodeProtocolError(env.id, wire::kSessionRequired, message);
    }
    log.operador = session.caller->operador;

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
        CallResult result = service.call(known, std::move(params), *session.caller);
        log.rows = result.rows;
        log.status = "ok";
        Reply reply;
        reply.text = wire::encodeResultAround(env.id, result.refs, std::move(result.dataJson),
                                              std::move(result.dataApart), reply.more);
        return reply;
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

std::string RpcServer::Impl::sessionCall(const wire::RpcEnvelope& env, std::string_view method,
                                         std::vector<wire::RpcArg> params, CallLog& log,
                                         const Context& context)
{
    auto protocolError = [&](int code, const std::string& message) {
        log.status = "erro " + std::to_string(code) + ": " + shortened(message);
        return wire::encodeProtocolError(env.id, code, message);
    };
    const bool entrar = wire::sameFieldName(method, "Entrar");
    const bool sair = wire::sameFieldName(method, "Sair");
    if (!entrar && !sair) {
        return protocolError(wire::kMethodNotFound,
                             "Método desconhecido: \"" + shortened(method, 80) + "\" do objeto " +
                                 std::string(SessionService::kObjectName) + ".");
    }
    log.method = std::string(SessionService::kObjectName) + (entrar ? ".Entrar" : ".Sair");
    try {
        if (sair) {
            if (!params.empty())
                return protocolError(wire::kInvalidParams, "O método Sair não leva argumentos.");
            log.operador =
                sessions.signOut(bearerToken(context.authorization), context.address).value_or("-");
            log.status = "ok";
            return wire::encodeResultAround(env.id, {}, std::string());
        }
        if (params.size() != 2 || params[0].kind != wire::RpcArg::Kind::Text ||
            params[1].kind != wire::RpcArg::Kind::Text) {
            return protocolError(wire::kInvalidParams,
                                 "O método Entrar espera dois textos: operador e senha.");
        }
        log.operador = shortened(SessionService::normalizedCode(params[0].text), 64);
        const SessionService::SignedIn in =
            sessions.signIn(params[0].text, params[1].text, context.address);
        std::string data;
        {
            wire::PacketWriter writer(data);
            writer.begin({{"TOKEN", wire::FieldType::Text, 64},
                          {"CDOPERADOR", wire::FieldType::Text, 12},
                          {"NMOPERADOR", wire::FieldType::Text, 60}});
            writer.beginRow();
            writer.text(in.token);
            writer.text(in.operador);
            writer.text(in.name);
            writer.endRow();
            writer.end();
        }
        log.rows = 1;
        log.status = "ok";
        return wire::encodeResultAround(env.id, {}, std::move(data));
    } catch (const RuleError& e) {
        log.status = "recusado: " + shortened(e.what());
        return wire::encodeFailure(env.id, e.what());
    } catch (const StoreError& e) {
        const std::string id = incidentId();
        log.status = "erro " + std::to_string(wire::kInternalError) + ": ocorrência " + id + ": " +
                     shortened(e.what(), 2000);
        return wire::encodeProtocolError(env.id, wire::kInternalError,
                                         (e.forClient().empty()
                                              ? std::string("Falha no banco de dados do servidor.")
                                              : e.forClient()) +
                                             " (ocorrência " + id + ")");
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
    return {h.ok() ? 200 : 503, kJson, std::move(body), {}};
}

} // namespace cht::server
