// From confirming the filter to the grid showing its first rows, for 100,000 CHTs: the three
// tiers (filter screen -> cht-server on loopback -> SQLite) against what a two-tier Qt program
// would do on the same file (a QSqlQueryModel fetching every row into a QTableView). A second
// server on the same file reads lists on one core, to show what reading in pieces contributes.
// The sides take turns, round after round, after one untimed round: medians of the rounds, so
// that a machine that speeds up or slows down meanwhile weighs on every side alike.
//
// Each three-tier list is split where its time goes: the call's set-up (the filter closing, the
// request written), the server's own time (from its log), transfer (the rest of the HTTP call),
// decode (the reply into a column table, fitted to the fields), load (the data set opened on it
// and the screen's reactions) and the first paint of the grid.
#include "bench/BenchHost.h"
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/dataset/ClientDataSet.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"
#include "server/ChtListReader.h"
#include "server/PgStore.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include "module/contracts/Netconnection.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using cht::framework::Application;
using cht::framework::TNetTransport;
using cht::platform::TClientDataSet;
using cht::testing::whenFilterShows;

namespace {

constexpr int kChts = 100000;

int g_rowsShown = 0;
int g_twoTierRows = 0;

// Where one three-tier list spends its time, in milliseconds.
struct Stages {
    enum Stage { SetUp, Server, Transfer, Decode, Load, Paint, Count };
    std::array<double, Count> ms{};
    double total = 0;
    /// Everything but the server's own time: what the client side and the wire add.
    double client() const { return total - ms[Server]; }
};
constexpr std::array<const char*, Stages::Count> kStageNames = {
    "call set-up", "server", "transfer", "decode", "load", "first paint"};

// Moments of the list being timed, in nanoseconds from the confirmation.
struct Marks {
    QElapsedTimer clock;
    qint64 postStart = 0, postEnd = 0, beforeOpen = 0, clicked = 0, painted = 0;
    qint64 now() const { return clock.nsecsElapsed(); }
};
Marks g_marks;

// The screen's own transport, with the moments its call starts and ends noted.
class TimedTransport : public TNetTransport {
public:
    std::string Post(const QString& host, int port, const std::string& body, int timeoutMs) override
    {
        g_marks.postStart = g_marks.now();
        std::string reply = m_http->Post(host, port, body, timeoutMs);
        g_marks.postEnd = g_marks.now();
        return reply;
    }
    void CheckHealth(const QString& host, int port, int timeoutMs) override
    {
        m_http->CheckHealth(host, port, timeoutMs);
    }
    void Recycle(std::string reply) override { m_http->Recycle(std::move(reply)); }

private:
    std::shared_ptr<TNetTransport> m_http = cht::framework::TNetConnection::HttpTransport();
};

// The server's time for its last GetCHT, from its log ("GetCHT op=X rows=N ms=T ..."); -1 if
// none.
double lastServerMs(const cht::testing::ServerProcess& server)
{
    QFile log(server.logPath());
    if (!log.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = log.readAll();
    const qsizetype at = text.lastIndexOf("GetCHT op=");
    const qsizetype ms = at < 0 ? -1 : text.indexOf(" ms=", at);
    return ms < 0 ? -1 : std::atof(text.constData() + ms + 4);
}

void matchEverything(TfrmFiltroCancCHT& f)
{
    f.rbtTCliente->setChecked(true);
    f.rbtTFunc->setChecked(true);
    f.chbPendente->setChecked(true);
    f.chbAprovada->setChecked(true);
    f.chbRealizada->setChecked(true);
    f.chbNFaturada->setChecked(true);
    f.depCHTIni->setText(QStringLiteral("01/01/1990"));
    f.depCHTFin->setText(QStringLiteral("31/12/2090"));
}

// One list through the screens: where the time went from the confirmation to the painted grid
// (total negative when the filter did not come up).
Stages listThroughScreens(const cht::testing::ServerProcess& server)
{
    Stages stages;
    stages.total = -1;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        matchEverything(f);
        g_marks = {};
        g_marks.clock.start();
        f.sbtConfirma->click();
        g_marks.clicked = g_marks.now();
        TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;
        tela.dbgPadrao->viewport()->repaint();
        g_marks.painted = g_marks.now();
        g_rowsShown = tela.dbgPadrao->model()->rowCount();
    });
    Cli_cot09801::CriaFiltroCancCHT();
    if (g_marks.painted == 0)
        return stages;
    const auto span = [](qint64 from, qint64 to) { return static_cast<double>(to - from) / 1e6; };
    const Marks& m = g_marks;
    stages.total = span(0, m.painted);
    stages.ms[Stages::SetUp] = span(0, m.postStart);
    stages.ms[Stages::Server] = std::max(lastServerMs(server), 0.0);
    stages.ms[Stages::Transfer] = span(m.postStart, m.postEnd) - stages.ms[Stages::Server];
    stages.ms[Stages::Decode] = span(m.postEnd, m.beforeOpen);
    stages.ms[Stages::Load] = span(m.beforeOpen, m.clicked);
    stages.ms[Stages::Paint] = span(m.clicked, m.painted);
    return stages;
}

// Notes when the list's data set starts opening (the packet decoded and fitted to its fields).
void markWhenListOpens()
{
    TClientDataSet& list = Cli_cot09800::frmCancelaCHT->cdsCancelaCHT;
    list.beforeOpen = [screen = list.beforeOpen](TClientDataSet& d) {
        g_marks.beforeOpen = g_marks.now();
        if (screen)
            screen(d);
    };
}

std::string describe(const Stages& s)
{
    std::string text;
    char part[64];
    for (std::size_t i = 0; i < s.ms.size(); ++i) {
        std::snprintf(part, sizeof part, "%s%s %.0f", i > 0 ? ", " : "", kStageNames[i], s.ms[i]);
        text += part;
    }
    return text;
}

// The screen's connection takes the session's address when it opens.
void useServer(int port)
{
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), port);
    cht::framework::TNetConnection& net = Cli_cot09800::frmCancelaCHT->netCancelaCHT;
    net.Close();
    net.SetTransport(std::make_shared<TimedTransport>());
    net.Open();
}

// The two-tier program: the same query through QSqlQueryModel, every row fetched, then shown.
class TwoTier {
public:
    explicit TwoTier(const QString& file)
        : m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("twotier")))
    {
        m_db.setDatabaseName(file);
        m_sql = QString::fromStdString(
            cht::server::ChtListReader::listSql(cht::server::Dialect::Sqlite, true, true));
        m_view.resize(965, 300);
        m_view.show();
    }
    bool open() { return m_db.open(); }
    QString error() const { return m_db.lastError().text(); }
    double list()
    {
        QElapsedTimer clock;
        clock.start();
        auto model = std::make_unique<QSqlQueryModel>();
        QSqlQuery query(m_db);
        query.prepare(m_sql);
        query.addBindValue(QStringLiteral("1990-01-01"));
        query.addBindValue(QStringLiteral("2091-01-01"));
        query.addBindValue(QStringLiteral("_P_A_R_N_"));
        query.exec();
        model->setQuery(std::move(query));
        while (model->canFetchMore())
            model->fetchMore();
        m_view.setModel(model.get());
        m_view.viewport()->repaint();
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        g_twoTierRows = model->rowCount();
        m_model = std::move(model); // the previous one goes after the clock stopped
        // Its million small blocks go back to the heap now too, not inside the next side's time.
        malloc_trim(0);
        return ms;
    }

private:
    QSqlDatabase m_db;
    QString m_sql;
    QTableView m_view;
    std::unique_ptr<QSqlQueryModel> m_model;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Each stage's median over the rounds (and the total's).
Stages medians(const std::vector<Stages>& rounds)
{
    Stages m;
    std::vector<double> v;
    for (std::size_t i = 0; i < m.ms.size(); ++i) {
        v.clear();
        for (const Stages& r : rounds)
            v.push_back(r.ms[i]);
        m.ms[i] = median(v);
    }
    v.clear();
    for (const Stages& r : rounds)
        v.push_back(r.total);
    m.total = median(v);
    return m;
}

double medianClient(const std::vector<Stages>& rounds)
{
    std::vector<double> v;
    for (const Stages& r : rounds)
        v.push_back(r.client());
    return median(v);
}

// The same list through the screens from a server on PostgreSQL (the demo generated into a
// schema of its own in the cluster that CHT_PG_URL names, dropped at the end), in turns with the
// SQLite server. False on a failure; a missing CHT_PG_URL is a skip, said so.
bool listOnPostgres(cht::testing::ServerProcess& sqlite)
{
    const QByteArray admin = qgetenv("CHT_PG_URL");
    if (admin.isEmpty()) {
        std::printf("list 100k on PostgreSQL: skipped (CHT_PG_URL is not set; ./cht bench sets it"
                    " when the PostgreSQL server binaries are installed)\n");
        return true;
    }
    const std::string schema =
        "cht_bench_list_" + std::to_string(QCoreApplication::applicationPid());
    auto inAdmin = [&](const std::string& sql) {
        cht::server::PgStore store(admin.toStdString());
        store.acquire()->exec(sql);
    };
    try {
        inAdmin("CREATE SCHEMA " + schema);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_list: PostgreSQL: %s\n", e.what());
        return false;
    }
    const QString url = QString::fromUtf8(admin) + (admin.contains('?') ? "&" : "?") +
                        QStringLiteral("options=-csearch_path%3D") + QString::fromStdString(schema);
    bool ok = true;
    {
        std::fprintf(stderr, "bench_list: generating %d demo CHTs on PostgreSQL...\n", kChts);
        cht::testing::ServerProcess pg(cht::testing::ServerProcess::DemoAt{url, kChts});
        if (!pg.start()) {
            std::fprintf(stderr, "bench_list: PostgreSQL: %s\n", qPrintable(pg.error()));
            ok = false;
        }
        constexpr int kPgRounds = 5;
        std::vector<Stages> onPg, onSqlite;
        // The two stores keep their own sessions: each turn signs in again, off the clock.
        auto turn = [&](cht::testing::ServerProcess& server, bool& shown) {
            g_rowsShown = 0;
            if (!server.signIn()) {
                std::fprintf(stderr, "bench_list: %s\n", qPrintable(server.error()));
                return Stages{};
            }
            useServer(server.port());
            const Stages s = listThroughScreens(server);
            shown = s.total >= 0 && g_rowsShown == kChts;
            return s;
        };
        for (int round = 0; ok && round <= kPgRounds; ++round) {
            bool pgShown = false, sqliteShown = false;
            const Stages a = turn(pg, pgShown);
            const Stages b = turn(sqlite, sqliteShown);
            ok = pgShown && sqliteShown;
            std::fprintf(
                stderr, "bench_list: PostgreSQL round %d: %.0f ms (%s); SQLite %.0f ms%s\n", round,
                a.total, describe(a).c_str(), b.total, round == 0 ? " (warm-up, not counted)" : "");
            if (round == 0)
                continue;
            onPg.push_back(a);
            onSqlite.push_back(b);
        }
        if (ok) {
            const Stages p = medians(onPg), q = medians(onSqlite);
            std::printf("list 100k on PostgreSQL, three tiers (medians of %d rounds, ms): total"
                        " %.0f; %s\n",
                        kPgRounds, p.total, describe(p).c_str());
            std::printf("list 100k on SQLite in the same rounds (ms): total %.0f; %s\n", q.total,
                        describe(q).c_str());
        } else {
            std::fprintf(stderr,
                         "bench_list: the list on PostgreSQL or SQLite did not show its %d rows\n",
                         kChts);
        }
    }
    try {
        inAdmin("DROP SCHEMA " + schema + " CASCADE");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_list: PostgreSQL: schema %s not dropped: %s\n", schema.c_str(),
                     e.what());
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const cht::bench::BenchApp application(argc, argv);
    constexpr int kRounds = 7;

    std::fprintf(stderr, "bench_list: generating %d demo CHTs...\n", kChts);
    cht::testing::ServerProcess server(kChts);
    if (!server.start()) {
        std::fprintf(stderr, "bench_list: %s\n", qPrintable(server.error()));
        return 1;
    }
    cht::testing::ServerProcess oneWorker(server.databasePath());
    if (!oneWorker.serve({QStringLiteral("--list-workers"), QStringLiteral("1")})) {
        std::fprintf(stderr, "bench_list: one-worker server: %s\n", qPrintable(oneWorker.error()));
        return 1;
    }

    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), server.port());
    QStringList errors;
    Application::SetErrorDisplay([&](const QString& m) { errors << m; });
    Initialize();
    // Open the screens once; the first filter is closed without confirming.
    whenFilterShows([](TfrmFiltroCancCHT& f) { f.Close(); });
    Cli_cot09800::CriaCancelaCHT();
    if (Cli_cot09800::frmCancelaCHT == nullptr || !errors.isEmpty()) {
        std::fprintf(stderr, "bench_list: the screens did not open: %s\n",
                     qPrintable(errors.join('\n')));
        return 1;
    }
    TwoTier twoTier(server.databasePath());
    if (!twoTier.open()) {
        std::fprintf(stderr, "bench_list: %s\n", qPrintable(twoTier.error()));
        return 1;
    }

    markWhenListOpens();

    std::vector<Stages> three, single;
    std::vector<double> two;
    bool filterFailed = false;
    for (int round = 0; round <= kRounds; ++round) {
        useServer(server.port());
        const Stages a = listThroughScreens(server);
        const double b = twoTier.list();
        useServer(oneWorker.port());
        const Stages c = listThroughScreens(oneWorker);
        filterFailed = filterFailed || a.total < 0 || c.total < 0;
        const char* warmUp = round == 0 ? " (warm-up, not counted)" : "";
        std::fprintf(stderr,
                     "bench_list: round %d: three tiers %.0f ms, two tiers %.0f ms,"
                     " three tiers with one list worker %.0f ms%s\n"
                     "bench_list:   three tiers: %s\n"
                     "bench_list:   one list worker: %s\n",
                     round, a.total, b, c.total, warmUp, describe(a).c_str(), describe(c).c_str());
        if (round == 0)
            continue;
        three.push_back(a);
        two.push_back(b);
        single.push_back(c);
    }

    int rc = 0;
    if (!errors.isEmpty() || filterFailed) {
        std::fprintf(stderr, "bench_list: errors: %s%s\n", qPrintable(errors.join('\n')),
                     filterFailed ? " the filter did not come up" : "");
        rc = 1;
    }
    if (g_rowsShown != kChts || g_twoTierRows != kChts) {
        std::fprintf(stderr,
                     "bench_list: rows shown %d (three tiers) and %d (two tiers), expected %d\n",
                     g_rowsShown, g_twoTierRows, kChts);
        rc = 1;
    }
    const Stages m3 = medians(three), m1 = medians(single);
    const double m2 = median(two);
    std::printf("list 100k (medians of %d rounds): three tiers %.0f ms, two tiers %.0f ms, three"
                " tiers with one list worker %.0f ms\n",
                kRounds, m3.total, m2, m1.total);
    std::printf("list 100k, three tiers (medians, ms): %s\n", describe(m3).c_str());
    std::printf("list 100k, one list worker (medians, ms): %s\n", describe(m1).c_str());
    if (rc == 0 && m2 > 0) {
        std::printf("ratio list_100k_vs_two_tier = %.3f (target <= 0.5)\n", m3.total / m2);
        std::printf("ratio list_100k_one_list_worker_vs_two_tier = %.3f (target <= 0.7)\n",
                    m1.total / m2);
    }
    if (rc == 0 && m3.ms[Stages::Server] > 0) {
        std::printf("ratio list_100k_client_vs_server = %.3f (target <= 0.5; everything but the"
                    " server's time, over the server's time)\n",
                    medianClient(three) / m3.ms[Stages::Server]);
    } else if (rc == 0) {
        // A ratio left out without a word reads as a target met.
        std::fprintf(stderr, "bench_list: the server's log gave no time for GetCHT\n");
        rc = 1;
    }

    if (rc == 0 && !listOnPostgres(server))
        rc = 1;

    Cli_cot09800::frmCancelaCHT->Close();
    Application::ProcessMessages();
    Finalize();
    return rc;
}
