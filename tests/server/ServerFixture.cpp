#include "ServerFixture.h"

#include "server/ChtRepository.h"
#include "server/Credentials.h"
#include "server/Operators.h"
#include "server/PgStore.h"
#include "server/SqlDate.h"
#include "server/SqlTransaction.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace cht::server::test {

using wire::RpcArg;
using wire::Value;

ChtKey key1()
{
    return {"P1", "01", "001", "001", "00001", "F1"};
}
ChtKey key2()
{
    return {"P1", "01", "001", "001", "00002", "F2"};
}
ChtKey key3()
{
    return {"P2", "01", "001", "001", "00001", kOddFunc};
}
ChtKey key4()
{
    return {"P3", "01", "001", "001", "00001", "F1"};
}
ChtKey key5()
{
    return {"P1", "01", "001", "002", "00001", "F2"};
}

std::string describeBackend(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::Sqlite ? "sqlite" : "postgres";
}

namespace {

std::string uniqueName()
{
    std::random_device rd;
    return "t" + std::to_string(::getpid()) + "_" + std::to_string(rd() % 1000000000u);
}

double at(std::int64_t day, int hour, int minute, int second = 0, int msec = 0)
{
    return static_cast<double>(day) +
           (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
}

void exec(SqlConnection& c, const std::string& sql, const std::vector<std::string>& args)
{
    auto st = c.prepare(sql);
    for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i] == "\x01")
            st->bindNull(static_cast<int>(i + 1));
        else
            st->bindText(static_cast<int>(i + 1), args[i]);
    st->run();
}

const std::string kNull = "\x01";

void seed(SqlConnection& c)
{
    SqlTransaction tx(c);
    const char* cli = "INSERT INTO CLIENTE VALUES (?,?,?,?,?,?)";
    exec(c, cli, {"C1", "11222333000181", "Alfa Máquinas", "J", "Alfa Máquinas Ltda", "DEMO"});
    exec(c, cli, {kOddClient, "52998224725", "Beto \"Vírgula\", ME", "F", "Beto Souza", "OUTRO"});
    exec(c, cli, {"C3", "33000167000101", "Gama", "J", "Gama S.A.", "DEMO"});
    const char* fun = "INSERT INTO FUNCIONARIO VALUES (?,?)";
    exec(c, fun, {"F1", "Ana"});
    exec(c, fun, {"F2", "Bruno"});
    exec(c, fun, {kOddFunc, "Caio"});
    exec(c, "INSERT INTO TIPOSERV VALUES (?,?)", {"001", "Consultoria técnica"});
    const char* pro = "INSERT INTO PROPOSTA VALUES (?,?,?,?,?,?,?,?)";
    exec(c, pro, {"P1", "01", "C1", "01", "Manutenção anual", "M", "H", "Planta 1"});
    exec(c, pro, {"P2", "01", kOddClient, "02", "Consultoria", "S", "F", "Escritório"});
    exec(c, pro, {"P3", "01", "C3", "01", "Locação", "L", "P", kNull});
    const char* srv = "INSERT INTO SERVCONT VALUES (?,?,?,?,?,?)";
    exec(c, srv, {"P1", "01", "001", "001", "H", "150"});
    exec(c, srv, {"P1", "01", "001", "002", "P", "0"});
    exec(c, srv, {"P2", "01", "001", "001", "F", "0"});
    exec(c, srv, {"P3", "01", "001", "001", "H", "99.5"});
    const char* cht =
        "INSERT INTO CHT (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC,"
        " DTINCLCHT, IDSTATUSCHT, NRLANCTONF, NRINVOICE, DSALTERACAOCHT, QTHRAPROFATUCHT, VRFATU,"
        " IDCHTPGTOOK, IDCHTASSINADA, IDCDAOK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    auto add = [&](const ChtKey& k, double when, const char* status, const std::string& nf,
                   const std::string& just, const char* value) {
        exec(c, cht,
             {k.nrProposFas, k.nrVerPropFas, k.cdTipoServ, k.nrServCont, k.nrSequCht, k.cdFunc,
              sqldate::fromOle(when), status, nf, kNull, just, "08:30", value, "N", "N", "S"});
    };
    add(key1(), at(kDay, 8, 0), "P", kNull, kNull, "1275.5");
    add(key2(), at(kDay, 23, 59, 59, 999), "A", kNull, kNull, "10");
    add(key3(), at(kDay - 1, 23, 59), "R", "000123", kNull, "2000");
    add(key4(), at(kDay + 1, 0, 0), "N", kNull, "Garantia", "0");
    add(key5(), at(kDay + 5, 12, 0), "P", kNull, kNull, "300");
    const char* cda =
        "INSERT INTO CDA (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, CDFUNC, NRSEQUCHT,"
        " IDSITSERVPREST, DSREFERENCIA, DTSERVPREST, DTHRENTR1TUR, DTHRSAID1TUR, NMINTCLIENTE,"
        " QTMINTOTAL, QTMINDESLOCFAT, QTMINNFATU, QTMINAPROFATU, QTMINAPRCOMIS, NMOPERINC,"
        " IDASSINATURACLIENTE, IDORIGINALENTREGUE) VALUES "
        "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    const ChtKey k = key1();
    exec(c, cda,
         {k.nrProposFas,
          k.nrVerPropFas,
          k.cdTipoServ,
          k.nrServCont,
          k.cdFunc,
          k.nrSequCht,
          "C",
          "Visita",
          sqldate::fromDay(kDay - 2),
          sqldate::fromOle(at(kDay - 2, 8, 0)),
          sqldate::fromOle(at(kDay - 2, 17, 30)),
          "Sr. Roberto",
          "510",
          "45",
          "30",
          "480",
          "6000",
          "ana",
          "S",
          "X"});
    exec(c, cda,
         {k.nrProposFas,
          k.nrVerPropFas,
          k.cdTipoServ,
          k.nrServCont,
          k.cdFunc,
          k.nrSequCht,
          "",
          "Ajustes",
          sqldate::fromDay(kDay - 3),
          kNull,
          kNull,
          kNull,
          "65",
          kNull,
          "0",
          "65",
          "0",
          "ana",
          "N",
          "S"});
    // A CDA of another CHT of the same service: never shown for key1.
    const ChtKey o = key2();
    exec(c, cda,
         {o.nrProposFas,
          o.nrVerPropFas,
          o.cdTipoServ,
          o.nrServCont,
          o.cdFunc,
          o.nrSequCht,
          "R",
          "Outra",
          sqldate::fromDay(kDay - 1),
          kNull,
          kNull,
          kNull,
          "60",
          "0",
          "0",
          "60",
          "0",
          "ana",
          "S",
          "S"});
    // Cheap hashes: hundreds of tests sign in.
    const std::string hash = Credentials::hashPassword(kPassword, HashCost::Minimal);
    Operators::put(c, "DEMO", "Operador de teste", hash);
    Operators::put(c, "OUTRO", "Outro gerente", hash);
    const char* par = "INSERT INTO VENCSERVCLIE VALUES (?,?,?,?,?)";
    exec(c, par, {"P1", "01", "2", sqldate::fromDay(kDay + 30), "1500.25"});
    exec(c, par, {"P1", "01", "1", sqldate::fromDay(kDay), "1500.25"});
    exec(c, par, {"P1", "01", "3", sqldate::fromDay(kDay + 60), "999.99"});
    exec(c, par, {"P3", "01", "1", sqldate::fromDay(kDay), "10"});
    tx.commit();
}

} // namespace

void ServerTest::SetUp()
{
    std::string url;
    if (GetParam() == Backend::Postgres) {
        const char* pg = std::getenv("CHT_PG_URL");
        if (pg == nullptr || *pg == '\0') {
            GTEST_SKIP() << "CHT_PG_URL não definido: os testes em PostgreSQL rodam com ./cht test,"
                            " que cria um cluster descartável";
        }
        m_adminUrl = pg;
        m_schema = uniqueName();
        {
            PgStore admin(m_adminUrl);
            auto lease = admin.acquire();
            lease->exec("CREATE SCHEMA " + m_schema);
        }
        url = m_adminUrl + (m_adminUrl.find('?') == std::string::npos ? "?" : "&") +
              "options=-csearch_path%3D" + m_schema;
    } else {
        m_file = (std::filesystem::temp_directory_path() / ("cht-server-" + uniqueName() + ".db"))
                     .string();
        url = "sqlite:" + m_file;
    }
    m_store = Store::open(url, OpenMode::Create);
    if (m_seed) {
        auto lease = m_store->acquire();
        seed(*lease);
    }
    m_service = std::make_unique<CancelaChtService>(*m_store);
    m_now = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch())
                .count();
    m_sessions = std::make_unique<SessionService>(*m_store, SessionLimits{},
                                                  [this] { return m_now.load(); });
    RpcServerOptions options;
    options.port = 0;
    options.limits.workers = 4;
    m_server = std::make_unique<RpcServer>(*m_service, *m_sessions, options);
    m_port = m_server->bind();
    m_server->start();
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
    m_client->set_read_timeout(30, 0);
    if (m_seed) {
        std::string failure;
        useToken(signIn("DEMO", kPassword, &failure));
        ASSERT_FALSE(m_token.empty()) << failure;
    }
}

std::string ServerTest::signIn(const std::string& operador, const std::string& password,
                               std::string* failure)
{
    wire::RpcRequest request;
    request.id = m_nextId++;
    request.method = "Sessao.Entrar";
    request.params = {RpcArg::ofText(operador), RpcArg::ofText(password)};
    httplib::Client client("127.0.0.1", m_port);
    auto res = client.Post("/rpc", wire::encodeRequest(request), "application/json");
    if (!res) {
        if (failure)
            *failure = "sem resposta";
        return {};
    }
    wire::RpcResponse reply = wire::decodeResponse(res->body);
    if (!reply.ok || !reply.data || reply.data->rowCount() != 1) {
        if (failure)
            *failure = reply.failure + reply.errorMessage;
        return {};
    }
    return std::string(reply.data->text(0, 0));
}

void ServerTest::useToken(const std::string& token)
{
    m_token = token;
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
    m_client->set_read_timeout(30, 0);
    if (!token.empty())
        m_client->set_bearer_token_auth(token);
}

void ServerTest::authorize(httplib::Client& client) const
{
    client.set_bearer_token_auth(m_token);
}

std::vector<std::string> ServerTest::auditRows(const std::string& method)
{
    auto lease = m_store->acquire();
    auto st = lease->prepare("SELECT DSCHAVECHT, NMCAMPO, DSVALORANTIGO, DSVALORNOVO, CDOPERADOR"
                             " FROM AUDITORIA WHERE NMMETODO = ? ORDER BY NRAUDITORIA");
    st->bindText(1, method);
    std::vector<std::string> out;
    while (st->step()) {
        std::string row;
        for (int c = 0; c < 5; ++c)
            row +=
                (c > 0 ? "|" : "") + (st->isNull(c) ? std::string("-") : std::string(st->text(c)));
        out.push_back(std::move(row));
    }
    return out;
}

void ServerTest::TearDown()
{
    m_client.reset();
    if (m_server)
        m_server->stop();
    m_server.reset();
    m_sessions.reset();
    m_service.reset();
    m_store.reset();
    if (!m_file.empty()) {
        std::error_code ec;
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(m_file + suffix, ec);
    }
    if (!m_schema.empty()) {
        PgStore admin(m_adminUrl);
        auto lease = admin.acquire();
        lease->exec("DROP SCHEMA " + m_schema + " CASCADE");
    }
}

httplib::Result ServerTest::post(const std::string& body)
{
    return m_client->Post("/rpc", body, "application/json");
}

wire::RpcResponse ServerTest::call(const std::string& method, std::vector<RpcArg> params)
{
    wire::RpcRequest request;
    request.id = m_nextId++;
    request.method = "COT09800.rdmCancelaCHT." + method;
    request.params = std::move(params);
    auto res = post(wire::encodeRequest(request));
    if (!res) {
        ADD_FAILURE() << "sem resposta do servidor: " << httplib::to_string(res.error());
        return {};
    }
    EXPECT_EQ(res->status, 200);
    wire::RpcResponse reply = wire::decodeResponse(res->body);
    EXPECT_EQ(reply.id, request.id);
    return reply;
}

wire::RpcResponse ServerTest::getCht(const std::string& clientes, const std::string& todosClientes,
                                     const std::string& funcs, const std::string& todosFuncs,
                                     double dataIni, double dataFin, const std::string& situacao)
{
    return call("GetCHT",
                {RpcArg::ofText(clientes), RpcArg::ofText(todosClientes), RpcArg::ofText(funcs),
                 RpcArg::ofText(todosFuncs), RpcArg::ofNumber(dataIni), RpcArg::ofNumber(dataFin),
                 RpcArg::ofText(situacao), RpcArg::ofText(m_operador)});
}

std::string ServerTest::id(const ChtKey& key)
{
    return key.nrProposFas + "/" + key.nrServCont + "/" + key.nrSequCht + "/" + key.cdFunc;
}

std::vector<std::string> ServerTest::ids(const wire::ColumnTable& list)
{
    std::vector<std::string> out;
    const auto p = static_cast<std::size_t>(list.indexOf("NRPROPOSFAS"));
    const auto n = static_cast<std::size_t>(list.indexOf("NRSERVCONT"));
    const auto s = static_cast<std::size_t>(list.indexOf("NRSEQUCHT"));
    const auto f = static_cast<std::size_t>(list.indexOf("CDFUNC"));
    for (std::size_t r = 0; r < list.rowCount(); ++r) {
        out.push_back(std::string(list.text(r, p)) + "/" + std::string(list.text(r, n)) + "/" +
                      std::string(list.text(r, s)) + "/" + std::string(list.text(r, f)));
    }
    return out;
}

RpcArg ServerTest::keyPacket(const std::vector<ChtKey>& keys)
{
    using wire::FieldType;
    wire::ColumnTable t({{"NRPROPOSFAS", FieldType::Text, 10},
                         {"NRVERPROPFAS", FieldType::Text, 2},
                         {"CDTIPOSERV", FieldType::Text, 3},
                         {"NRSERVCONT", FieldType::Text, 3},
                         {"NRSEQUCHT", FieldType::Text, 5},
                         {"CDFUNC", FieldType::Text, 10}});
    for (const ChtKey& k : keys) {
        std::size_t r = t.appendRow();
        t.setText(r, 0, k.nrProposFas);
        t.setText(r, 1, k.nrVerPropFas);
        t.setText(r, 2, k.cdTipoServ);
        t.setText(r, 3, k.nrServCont);
        t.setText(r, 4, k.nrSequCht);
        t.setText(r, 5, k.cdFunc);
    }
    return RpcArg::ofData(std::move(t));
}

std::size_t ServerTest::field(const char* name)
{
    const auto& fields = wire::chtListFields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name)
            return i;
    ADD_FAILURE() << "campo desconhecido " << name;
    return 0;
}

std::vector<Value> ServerTest::rowOf(const ChtKey& key)
{
    auto reply = getCht("", "T", "", "T", 0, 100000, "_P_A_R_N_");
    EXPECT_TRUE(reply.ok) << reply.failure << reply.errorMessage;
    if (!reply.data)
        return {};
    const auto& list = *reply.data;
    auto all = ids(list);
    for (std::size_t r = 0; r < all.size(); ++r) {
        if (all[r] == id(key)) {
            std::vector<Value> row;
            for (std::size_t c = 0; c < list.columnCount(); ++c)
                row.push_back(list.value(r, c));
            return row;
        }
    }
    ADD_FAILURE() << "CHT ausente: " << id(key);
    return {};
}

RpcArg ServerTest::delta(const std::vector<std::pair<std::vector<Value>, std::vector<Value>>>& rows)
{
    wire::DeltaPacket d(wire::chtListFields());
    for (const auto& [before, after] : rows)
        d.add(wire::ChangeOp::Update, before, after);
    return RpcArg::ofDelta(std::move(d));
}

std::string ServerTest::statusOf(const ChtKey& key)
{
    auto lease = m_store->acquire();
    auto state = ChtRepository::find(*lease, key);
    return state ? state->idStatusCht : std::string();
}

int runProgram(const std::vector<std::string>& args, std::string* output)
{
    int pipeFds[2] = {-1, -1};
    if (output != nullptr && ::pipe(pipeFds) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        if (output != nullptr) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            ::dup2(pipeFds[1], STDERR_FILENO);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
        }
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (output != nullptr) {
        ::close(pipeFds[1]);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
            output->append(buffer, static_cast<std::size_t>(n));
        ::close(pipeFds[0]);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::unique_ptr<RpcServer> ServerTest::serveWith(RpcServerOptions options)
{
    options.port = 0;
    auto server = std::make_unique<RpcServer>(*m_service, *m_sessions, std::move(options));
    server->bind();
    server->start();
    return server;
}

void ServerTest::expectServing()
{
    auto reply = call("GetData", {});
    EXPECT_TRUE(reply.ok) << "o servidor deixou de atender";
    EXPECT_EQ(reply.errorCode, 0);
}

} // namespace cht::server::test
