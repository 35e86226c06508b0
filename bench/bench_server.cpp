// bench_server: the server's list answer against the floor of a bare scan, and throughput.
//   ratio getcht_100k_vs_floor: GetCHT of 100,000 rows served over loopback (request sent to
//   body received) ÷ the same query run on the SQLite C API with the rows written by
//   RapidJSON's Writer. Medians of interleaved runs.
//   throughput_8_clients: eight keep-alive clients mixing the seven methods for 10 s, each
//   signed in as a demo operator and changing its own clients' CHTs.
//   ratio getcht_100k_pg_vs_sqlite: the same GetCHT served from PostgreSQL ÷ from SQLite, and
//   the eight clients on PostgreSQL, when CHT_PG_URL names a cluster to work in (./cht bench
//   starts a throwaway one); a schema of its own there, dropped at the end.
#include "server/CancelaChtService.h"
#include "server/ChtListReader.h"
#include "server/DemoData.h"
#include "server/PgStore.h"
#include "server/RpcServer.h"
#include "server/SqlDate.h"
#include "server/Store.h"

#include "platform/wire/Wire.h"

#include <httplib.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cht::server;
namespace wire = cht::wire;
using Clock = std::chrono::steady_clock;
using wire::RpcArg;

namespace {

constexpr std::size_t kRows = 100000;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string listRequest(std::int64_t id, const std::string& clients, double first, double last,
                        const std::string& statuses, const std::string& operador = "DEMO")
{
    wire::RpcRequest r;
    r.id = id;
    r.method = "COT09800.rdmCancelaCHT.GetCHT";
    r.params = {RpcArg::ofText(clients),  RpcArg::ofText(clients.empty() ? "T" : ""),
                RpcArg::ofText(""),       RpcArg::ofText("T"),
                RpcArg::ofNumber(first),  RpcArg::ofNumber(last),
                RpcArg::ofText(statuses), RpcArg::ofText(operador)};
    return wire::encodeRequest(r);
}

// A session of a demo operator on the server at `port`; empty when refused.
std::string signIn(int port, const std::string& operador)
{
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    wire::RpcRequest r;
    r.id = 1;
    r.method = "Sessao.Entrar";
    r.params = {RpcArg::ofText(operador), RpcArg::ofText(DemoData::kDemoPassword)};
    auto res = c.Post("/rpc", wire::encodeRequest(r), "application/json");
    if (!res)
        return {};
    auto reply = wire::decodeResponse(res->body);
    return reply.ok && reply.data && reply.data->rowCount() == 1
               ? std::string(reply.data->text(0, 0))
               : std::string();
}

// The floor: the list query on the bare C API, the packet written by RapidJSON.
std::size_t floorScan(sqlite3* db, std::string& out)
{
    const std::string sql = ChtListReader::listSql(Dialect::Sqlite, true, true);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    const std::string first = sqldate::fromDay(0);
    const std::string after = sqldate::fromDay(100001);
    sqlite3_bind_text(st, 1, first.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, after.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, "_P_A_R_N_", -1, SQLITE_STATIC);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("fields");
    w.StartArray();
    for (const auto& f : wire::chtListFields()) {
        w.StartObject();
        w.Key("name");
        w.String(f.name.c_str());
        w.Key("type");
        w.String(std::string(wire::fieldTypeName(f.type)).c_str());
        w.Key("size");
        w.Uint(f.size);
        w.EndObject();
    }
    w.EndArray();
    w.Key("rows");
    w.StartArray();
    // The query's columns are the list's after the tick.
    const auto& columns = wire::kChtListColumns;
    const int count = static_cast<int>(columns.size()) - 1;
    std::size_t rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        w.StartArray();
        w.String("N", 1);
        for (int i = 0; i < count; ++i) {
            if (sqlite3_column_type(st, i) == SQLITE_NULL) {
                w.Null();
                continue;
            }
            switch (columns[static_cast<std::size_t>(i) + 1].type) {
            case wire::FieldType::Text:
                w.String(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                         static_cast<rapidjson::SizeType>(sqlite3_column_bytes(st, i)));
                break;
            case wire::FieldType::DateTime: {
                const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                w.Double(sqldate::toOle(
                    std::string_view(t, static_cast<std::size_t>(sqlite3_column_bytes(st, i)))));
                break;
            }
            case wire::FieldType::Float:
                w.Double(sqlite3_column_double(st, i));
                break;
            case wire::FieldType::Integer:
                w.Int64(sqlite3_column_int64(st, i));
                break;
            }
        }
        w.EndArray();
        ++rows;
    }
    w.EndArray();
    w.EndObject();
    sqlite3_finalize(st);
    out.assign(buffer.GetString(), buffer.GetSize());
    return rows;
}

struct Worker {
    std::vector<std::vector<wire::Value>> rows; // own CHTs, not billed
    std::size_t next = 0;
    std::size_t cancelFrom = 0;
    long requests = 0;
    long errors = 0;
    std::string firstError;
    std::string operador;
    std::string token;
};

/// Connections from other loopback addresses that send their headers a byte every 100 ms for as
/// long as it lives; one that the server closes is opened again.
class SlowAttack {
public:
    SlowAttack(int port, std::size_t connections) : m_port(port), m_fds(connections, -1)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~SlowAttack()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_fds)
            if (fd >= 0)
                ::close(fd);
    }
    std::size_t open() const { return m_open.load(); }

private:
    int connectFrom(std::size_t i) const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1 + static_cast<std::uint32_t>(i % 4));
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        server.sin_port = htons(static_cast<std::uint16_t>(m_port));
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    void run()
    {
        const std::string start = "POST /rpc HTTP/1.1\r\nHost: cht\r\nContent-Type: "
                                  "application/json\r\nContent-Length: 100\r\nX-Padding: ";
        std::vector<std::size_t> sent(m_fds.size(), 0);
        while (!m_stop) {
            std::size_t open = 0;
            for (std::size_t i = 0; i < m_fds.size(); ++i) {
                if (m_fds[i] < 0) {
                    m_fds[i] = connectFrom(i);
                    sent[i] = 0;
                }
                if (m_fds[i] < 0)
                    continue;
                const char c = sent[i] < start.size() ? start[sent[i]] : 'a';
                ++sent[i];
                if (::send(m_fds[i], &c, 1, MSG_NOSIGNAL) != 1) {
                    ::close(m_fds[i]);
                    m_fds[i] = -1;
                    continue;
                }
                ++open;
            }
            m_open = open;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    int m_port;
    std::vector<int> m_fds;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_open{0};
    std::thread m_thread;
};

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

/// A line of /proc/PID/status ("VmHWM:", "VmRSS:"), in MB.
double statusMb(pid_t pid, const std::string& key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(key.size())) / 1024.0;
    return 0;
}

/// The same body sent by `count` clients at once; true when every one was answered ok.
bool burst(int port, const std::string& token, const std::string& body, int count)
{
    std::atomic<int> ok{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < count; ++i) {
        clients.emplace_back([&] {
            httplib::Client c("127.0.0.1", port);
            c.set_bearer_token_auth(token);
            c.set_read_timeout(600, 0);
            c.set_write_timeout(600, 0);
            auto res = c.Post("/rpc", body, "application/json");
            if (res && res->status == 200 &&
                res->body.substr(0, 80).find("\"ok\":true") != std::string::npos)
                ++ok;
        });
    }
    for (auto& c : clients)
        c.join();
    return ok == count;
}

// 16 large requests at once on a cht-server process of its own: the delta of a tick-all pass over
// the whole list, then GetCHT of the whole list. Its peak resident memory for each.
bool measurePeakRss(const std::string& file, const wire::ColumnTable& list)
{
    constexpr int kAtOnce = 16;
    const int port = freeLoopbackPort();
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    const std::string db = "sqlite:" + file;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(CHT_SERVER_EXE, CHT_SERVER_EXE, "--listen", listen.c_str(), "--db", db.c_str(),
                "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    httplib::Client probe("127.0.0.1", port);
    bool up = false;
    for (int i = 0; i < 400 && !up; ++i) {
        auto res = probe.Get("/health");
        up = res && res->status == 200;
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const std::string token = up ? signIn(port, "DEMO") : std::string();
    bool ok = up && !token.empty();
    if (ok) {
        const double idle = statusMb(pid, "VmRSS:");
        // The delta the screen sends after ticking every row: the key and the tick, old and new.
        std::vector<std::size_t> columns;
        std::vector<wire::FieldDef> fields;
        for (const char* name : {"NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV", "NRSERVCONT",
                                 "NRSEQUCHT", "CDFUNC", "IDCHECK"}) {
            columns.push_back(static_cast<std::size_t>(list.indexOf(name)));
            fields.push_back(list.fields()[columns.back()]);
        }
        wire::DeltaPacket delta(std::move(fields));
        for (std::size_t r = 0; r < list.rowCount(); ++r) {
            const std::size_t change = delta.add(wire::ChangeOp::Update);
            delta.before().copyCells(change, list, r, columns);
            delta.after().copyCells(change, list, r, columns);
            delta.after().setText(change, columns.size() - 1, "S");
        }
        wire::RpcRequest request;
        request.id = 1;
        request.method = "COT09800.rdmCancelaCHT.SetCHT";
        request.params.push_back(RpcArg::ofDelta(std::move(delta)));
        const std::string deltaBody = wire::encodeRequest(request);
        const bool deltasOk = burst(port, token, deltaBody, kAtOnce);
        const double deltasPeak = statusMb(pid, "VmHWM:");
        std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
        const bool listsOk =
            burst(port, token, listRequest(1, "", 0, 100000, "_P_A_R_N_"), kAtOnce);
        const double listsPeak = statusMb(pid, "VmHWM:");
        std::printf("peak_rss_16_deltas_100k = %.0f MB (a tick-all delta of %.1f MB each; idle "
                    "%.0f MB)%s\n",
                    deltasPeak, static_cast<double>(deltaBody.size()) / 1e6, idle,
                    deltasOk ? "" : " - NOT ALL ANSWERED OK");
        std::printf("peak_rss_16_getcht_100k = %.0f MB%s\n", listsPeak,
                    listsOk ? "" : " - NOT ALL ANSWERED OK");
        ok = deltasOk && listsOk;
    } else {
        std::printf("peak_rss: cht-server did not start\n");
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ok;
}

} // namespace

// A server of the same demo data on PostgreSQL, in a schema of its own in the cluster that
// CHT_PG_URL names.
struct PgSide {
    std::string adminUrl;
    std::string schema;
    std::unique_ptr<Store> store;
    std::unique_ptr<CancelaChtService> service;
    std::unique_ptr<SessionService> sessions;
    std::unique_ptr<RpcServer> server;
    int port = 0;

    bool start(const char* url)
    {
        adminUrl = url;
        schema = "cht_bench_" + std::to_string(::getpid());
        {
            PgStore admin(adminUrl);
            admin.acquire()->exec("CREATE SCHEMA " + schema);
        }
        store = Store::open(adminUrl + (adminUrl.find('?') == std::string::npos ? "?" : "&") +
                                "options=-csearch_path%3D" + schema,
                            OpenMode::Create);
        DemoOptions options;
        options.chts = kRows;
        const auto started = Clock::now();
        DemoData::generate(*store->acquire(), options);
        std::printf("demo data on PostgreSQL: %zu CHTs in %.0f ms\n", kRows,
                    ms(Clock::now() - started));
        service = std::make_unique<CancelaChtService>(*store);
        RpcServerOptions serverOptions;
        serverOptions.port = 0;
        serverOptions.limits.workers = 16;
        sessions = std::make_unique<SessionService>(*store);
        server = std::make_unique<RpcServer>(*service, *sessions, serverOptions);
        port = server->bind();
        server->start();
        return port > 0;
    }

    ~PgSide()
    {
        if (server)
            server->stop();
        server.reset();
        sessions.reset();
        service.reset();
        store.reset();
        if (schema.empty())
            return;
        try {
            PgStore admin(adminUrl);
            admin.acquire()->exec("DROP SCHEMA " + schema + " CASCADE");
        } catch (const std::exception& e) {
            std::printf("PostgreSQL: schema %s not dropped: %s\n", schema.c_str(), e.what());
        }
    }
};

int main()
{
    namespace fs = std::filesystem;
    const std::string file =
        (fs::temp_directory_path() / ("cht-bench-server-" + std::to_string(::getpid()) + ".db"))
            .string();
    auto cleanup = [&] {
        std::error_code ec;
        for (const char* s : {"", "-wal", "-shm"}) {
            fs::remove(file + s, ec);
        }
    };
    cleanup();
    auto store = Store::open("sqlite:" + file, OpenMode::Create);
    DemoOptions options;
    options.chts = kRows;
    auto started = Clock::now();
    {
        auto lease = store->acquire();
        DemoData::generate(*lease, options);
    }
    std::printf("demo data: %zu CHTs in %.0f ms\n", kRows, ms(Clock::now() - started));

    CancelaChtService service(*store);
    RpcServerOptions serverOptions;
    serverOptions.port = 0;
    serverOptions.limits.workers = 16;
    SessionService sessions(*store);
    RpcServer server(service, sessions, serverOptions);
    const int port = server.bind();
    server.start();

    // --- getcht_100k_vs_floor -----------------------------------------------------------
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    // The same cache and sort settings as the server's connections.
    sqlite3_exec(db, "PRAGMA cache_size=-65536; PRAGMA temp_store=MEMORY;", nullptr, nullptr,
                 nullptr);
    httplib::Client client("127.0.0.1", port);
    client.set_bearer_token_auth(signIn(port, "DEMO"));
    client.set_read_timeout(120, 0);
    const std::string body = listRequest(1, "", 0, 100000, "_P_A_R_N_");
    std::vector<double> served;
    std::vector<double> floor;
    std::size_t servedBytes = 0;
    std::size_t floorRows = 0;
    std::string floorOut;
    std::string full;
    for (int run = 0; run < 6; ++run) {
        auto t0 = Clock::now();
        auto res = client.Post("/rpc", body, "application/json");
        auto t1 = Clock::now();
        if (!res || res->status != 200) {
            std::printf("GetCHT failed\n");
            return 1;
        }
        servedBytes = res->body.size();
        auto t2 = Clock::now();
        floorRows = floorScan(db, floorOut);
        auto t3 = Clock::now();
        if (run > 0) { // the first pair warms the caches
            served.push_back(ms(t1 - t0));
            floor.push_back(ms(t3 - t2));
        } else {
            full = std::move(res->body);
        }
    }
    sqlite3_close(db);
    auto reply = wire::decodeResponse(full);
    if (!reply.ok || !reply.data || reply.data->rowCount() != floorRows || floorRows != kRows) {
        std::printf("GetCHT answer does not match the floor (%zu rows)\n", floorRows);
        return 1;
    }
    const double servedMs = median(served);
    const double floorMs = median(floor);
    std::printf("getcht 100k over loopback: %.1f ms (%.1f MB); floor sqlite+rapidjson: %.1f ms "
                "(%.1f MB)\n",
                servedMs, static_cast<double>(servedBytes) / 1e6, floorMs,
                static_cast<double>(floorOut.size()) / 1e6);
    std::printf("ratio getcht_100k_vs_floor = %.3f (target <= 1.3)\n", servedMs / floorMs);

    // --- getcht_100k_pg_vs_sqlite ------------------------------------------------------------
    const char* pgUrl = std::getenv("CHT_PG_URL");
    std::unique_ptr<PgSide> pg;
    std::optional<wire::ColumnTable> pgList;
    if (pgUrl == nullptr || *pgUrl == '\0') {
        std::printf("PostgreSQL: skipped (CHT_PG_URL is not set; ./cht bench sets it when the"
                    " PostgreSQL server binaries are installed)\n");
    } else {
        pg = std::make_unique<PgSide>();
        try {
            if (!pg->start(pgUrl))
                throw std::runtime_error("the server did not bind");
        } catch (const std::exception& e) {
            std::printf("PostgreSQL: %s\n", e.what());
            return 1;
        }
        httplib::Client pgClient("127.0.0.1", pg->port);
        pgClient.set_bearer_token_auth(signIn(pg->port, "DEMO"));
        pgClient.set_read_timeout(120, 0);
        std::vector<double> fromPg, fromSqlite;
        std::string pgBody;
        for (int run = 0; run < 6; ++run) {
            auto t0 = Clock::now();
            auto a = pgClient.Post("/rpc", body, "application/json");
            auto t1 = Clock::now();
            auto b = client.Post("/rpc", body, "application/json");
            auto t2 = Clock::now();
            if (!a || a->status != 200 || !b || b->status != 200) {
                std::printf("GetCHT failed (PostgreSQL against SQLite)\n");
                return 1;
            }
            if (run > 0) {
                fromPg.push_back(ms(t1 - t0));
                fromSqlite.push_back(ms(t2 - t1));
            } else {
                pgBody = std::move(a->body);
            }
        }
        auto pgReply = wire::decodeResponse(pgBody);
        if (!pgReply.ok || !pgReply.data || pgReply.data->rowCount() != kRows) {
            std::printf("GetCHT from PostgreSQL: %zu rows, expected %zu\n",
                        pgReply.data ? pgReply.data->rowCount() : 0, kRows);
            return 1;
        }
        pgList = std::move(pgReply.data);
        const double pgMs = median(fromPg), sqliteMs = median(fromSqlite);
        std::printf("getcht 100k over loopback: PostgreSQL %.1f ms, SQLite %.1f ms\n", pgMs,
                    sqliteMs);
        std::printf("ratio getcht_100k_pg_vs_sqlite = %.3f (target <= 1.5)\n", pgMs / sqliteMs);
    }

    // --- throughput_8_clients -----------------------------------------------------------
    constexpr int kClients = 8;
    const auto& list = *reply.data;
    auto col = [&](const char* n) { return static_cast<std::size_t>(list.indexOf(n)); };
    // Each client is one of the demo operators, signed in on the server at `serverPort`, working
    // on its own clients' CHTs of a list (as the screen lets it): two clients per operator.
    const auto& operators = DemoData::operators();
    auto workersOf = [&](const wire::ColumnTable& from, int serverPort) {
        std::vector<Worker> ws(kClients);
        for (std::size_t t = 0; t < ws.size(); ++t) {
            ws[t].operador = operators[t % operators.size()];
            ws[t].token = signIn(serverPort, ws[t].operador);
        }
        std::vector<std::size_t> turn(operators.size(), 0);
        for (std::size_t r = 0; r < from.rowCount(); ++r) {
            if (from.text(r, col("IDSTATUSCHT")) == "R")
                continue;
            const auto op =
                static_cast<std::size_t>(std::find(operators.begin(), operators.end(),
                                                   from.text(r, col("CDGERENTEIMPCLI"))) -
                                         operators.begin());
            if (op >= operators.size())
                continue;
            std::vector<wire::Value> row;
            for (std::size_t c = 0; c < from.columnCount(); ++c)
                row.push_back(from.value(r, c));
            const std::size_t pair = turn[op]++ % (kClients / operators.size());
            ws[op + pair * operators.size()].rows.push_back(std::move(row));
        }
        for (Worker& w : ws)
            w.cancelFrom = w.rows.size();
        return ws;
    };
    auto signedIn = [](const std::vector<Worker>& ws) {
        for (const Worker& w : ws)
            if (w.token.empty()) {
                std::printf("sign-in of %s failed\n", w.operador.c_str());
                return false;
            }
        return true;
    };
    std::vector<Worker> workers = workersOf(list, port);
    if (!signedIn(workers))
        return 1;
    const double today = CancelaChtService::localNow();
    // The eight clients for a while on the server at `serverPort`; returns the requests they made.
    auto runLoadOn = [&](int serverPort, std::vector<Worker>& clients,
                         std::chrono::milliseconds length) {
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        long before = 0;
        for (const Worker& w : clients)
            before += w.requests;
        for (int t = 0; t < kClients; ++t) {
            threads.emplace_back([&, t] {
                Worker& w = clients[static_cast<std::size_t>(t)];
                httplib::Client c("127.0.0.1", serverPort);
                c.set_bearer_token_auth(w.token);
                c.set_read_timeout(60, 0);
                std::int64_t id = 0;
                while (!stop) {
                    const auto& row = w.rows[w.next++ % (w.cancelFrom / 2)];
                    auto text = [&](const char* n) { return std::get<std::string>(row[col(n)]); };
                    wire::RpcRequest r;
                    r.id = ++id;
                    const std::string object = "COT09800.rdmCancelaCHT.";
                    bool setFlag = false;
                    switch (id % 7) {
                    case 0:
                        r.method = object + "GetCHT";
                        r.params = wire::decodeRequest(
                                       listRequest(id, wire::encodeKeyList({text("CDCLIENTE")}),
                                                   today - 7, today, "_P_A_N_", w.operador))
                                       .params;
                        break;
                    case 1:
                        r.method = object + "GetConsultaCSA";
                        for (const char* n :
                             {"CDCLIENTE", "CDFUNC", "CDTIPOSERV", "NRPROPOSFAS", "NRVERPROPFAS",
                              "NRSEQUCHT", "CDEMPRESA", "NRSERVCONT"})
                            r.params.push_back(RpcArg::ofText(text(n)));
                        break;
                    case 2:
                        r.method = object + "GetParcVenc";
                        for (const char* n : {"CDCLIENTE", "NRPROPOSFAS", "NRVERPROPFAS"})
                            r.params.push_back(RpcArg::ofText(text(n)));
                        break;
                    case 3:
                        r.method = object + "GetData";
                        break;
                    case 4:
                    case 5: {
                        wire::ColumnTable keys({{"NRPROPOSFAS", wire::FieldType::Text, 10},
                                                {"NRVERPROPFAS", wire::FieldType::Text, 2},
                                                {"CDTIPOSERV", wire::FieldType::Text, 3},
                                                {"NRSERVCONT", wire::FieldType::Text, 3},
                                                {"NRSEQUCHT", wire::FieldType::Text, 5},
                                                {"CDFUNC", wire::FieldType::Text, 10}});
                        // Approve from the first half of the own CHTs, delete from the second.
                        const auto& target = id % 7 == 4 ? row : w.rows[--w.cancelFrom];
                        std::size_t k = keys.appendRow();
                        std::size_t i = 0;
                        for (const char* n : {"NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV",
                                              "NRSERVCONT", "NRSEQUCHT", "CDFUNC"})
                            keys.setText(k, i++, std::get<std::string>(target[col(n)]));
                        r.method = object + (id % 7 == 4 ? "ConfirmaCHT" : "CancelaCHT");
                        r.params.push_back(RpcArg::ofData(std::move(keys)));
                        break;
                    }
                    default: {
                        wire::DeltaPacket d(wire::chtListFields());
                        auto& mine = w.rows[(w.next - 1) % (w.cancelFrom / 2)];
                        auto after = mine;
                        const std::size_t flag = col("IDCHTPGTOOK");
                        after[flag] =
                            std::string(std::get<std::string>(mine[flag]) == "S" ? "N" : "S");
                        d.add(wire::ChangeOp::Update, mine, after);
                        r.method = object + "SetCHT";
                        r.params.push_back(RpcArg::ofDelta(std::move(d)));
                        setFlag = true;
                        break;
                    }
                    }
                    auto res = c.Post("/rpc", wire::encodeRequest(r), "application/json");
                    ++w.requests;
                    bool ok = false;
                    if (res && res->status == 200) {
                        auto answer = wire::decodeResponse(res->body);
                        ok = answer.ok;
                        if (!ok && w.firstError.empty())
                            w.firstError = r.method + ": " + answer.failure + answer.errorMessage;
                    } else if (w.firstError.empty()) {
                        w.firstError = r.method + ": sem resposta";
                    }
                    if (!ok) {
                        ++w.errors;
                    } else if (setFlag) {
                        auto& mine = w.rows[(w.next - 1) % (w.cancelFrom / 2)];
                        const std::size_t flag = col("IDCHTPGTOOK");
                        mine[flag] =
                            std::string(std::get<std::string>(mine[flag]) == "S" ? "N" : "S");
                    }
                }
            });
        }
        std::this_thread::sleep_for(length);
        stop = true;
        for (auto& th : threads)
            th.join();
        long after = 0;
        for (const Worker& w : clients)
            after += w.requests;
        return after - before;
    };
    auto runLoad = [&](std::chrono::milliseconds length) {
        return runLoadOn(port, workers, length);
    };

    // --- throughput_8_clients and the same under a slow-header attack ----------------------
    long quiet = 0;
    long attacked = 0;
    double quietSeconds = 0;
    double attackedSeconds = 0;
    for (int round = 0; round < 2; ++round) {
        auto t0 = Clock::now();
        quiet += runLoad(std::chrono::milliseconds(5000));
        quietSeconds += ms(Clock::now() - t0) / 1000.0;
        SlowAttack attack(port, 64);
        t0 = Clock::now();
        attacked += runLoad(std::chrono::milliseconds(5000));
        attackedSeconds += ms(Clock::now() - t0) / 1000.0;
        std::printf("slow attack: %zu connections held open at the end of window %d\n",
                    attack.open(), round + 1);
    }
    long errors = 0;
    for (const auto& w : workers) {
        errors += w.errors;
        if (!w.firstError.empty())
            std::printf("first error: %s\n", w.firstError.c_str());
    }
    const double quietRate = static_cast<double>(quiet) / quietSeconds;
    const double attackedRate = static_cast<double>(attacked) / attackedSeconds;
    std::printf("throughput_8_clients = %.0f req/s over %.1f s, errors = %ld (target: 0 errors)\n",
                quietRate, quietSeconds, errors);
    std::printf("ratio throughput_8_clients_under_slow_attack_vs_quiet = %.3f (%.0f ÷ %.0f req/s; "
                "target >= 0.8)\n",
                attackedRate / quietRate, attackedRate, quietRate);

    // --- throughput_8_clients on PostgreSQL ----------------------------------------------------
    if (pg && pgList) {
        std::vector<Worker> pgWorkers = workersOf(*pgList, pg->port);
        if (!signedIn(pgWorkers))
            return 1;
        const auto t0 = Clock::now();
        const long requests = runLoadOn(pg->port, pgWorkers, std::chrono::milliseconds(10000));
        const double seconds = ms(Clock::now() - t0) / 1000.0;
        long pgErrors = 0;
        for (const auto& w : pgWorkers) {
            pgErrors += w.errors;
            if (!w.firstError.empty())
                std::printf("first error (PostgreSQL): %s\n", w.firstError.c_str());
        }
        std::printf("throughput_8_clients_pg = %.0f req/s over %.1f s, errors = %ld (target: 0"
                    " errors; SQLite: %.0f req/s)\n",
                    static_cast<double>(requests) / seconds, seconds, pgErrors, quietRate);
        errors += pgErrors;
        pg.reset();
    }

    // --- peak_rss: 16 large requests at once on a server process of its own ------------------
    server.stop();
    const bool rssOk = measurePeakRss(file, list);
    store.reset();
    cleanup();
    return errors == 0 && rssOk ? 0 : 1;
}
