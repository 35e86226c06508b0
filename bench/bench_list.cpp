// From confirming the filter to the grid showing its first rows, for 100,000 CHTs: the three
// tiers (filter screen -> cht-server on loopback -> SQLite) against what a two-tier Qt program
// would do on the same file (a QSqlQueryModel fetching every row into a QTableView). A third run
// restarts the server with one list worker, to show what reading in pieces contributes.
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"
#include "server/ChtRepository.h"
#include "tests/e2e/ServerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

using cht::framework::Application;

namespace {

constexpr int kChts = 100000;

// Real time per iteration of each benchmark, as the run reported it.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                seconds[r.run_name.function_name] =
                    r.real_accumulated_time / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

cht::testing::ServerProcess* g_server = nullptr;
int g_rowsShown = 0;
int g_twoTierRows = 0;
QString g_dbPath;

// Runs `step` inside the filter's modal loop once it is up.
void whenFilterShows(std::function<void(TfrmFiltroCancCHT&)> step)
{
    auto* poll = new QTimer;
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [poll, step] {
        TfrmFiltroCancCHT* f = Cli_cot09801::frmFiltroCancCHT;
        if (f == nullptr || !f->isVisible() || QApplication::activeModalWidget() != f)
            return;
        poll->stop();
        poll->deleteLater();
        step(*f);
        if (f->isVisible())
            f->Close();
    });
    poll->start();
}

void matchEverything(TfrmFiltroCancCHT& f)
{
    f.rbtTCliente->setChecked(true);
    f.rbtTFunc->setChecked(true);
    f.chbPendente->setChecked(true);
    f.chbAprovada->setChecked(true);
    f.chbRealizada->setChecked(true);
    f.chbNFaturada->setChecked(true);
    f.depCHTIni->SetText(QStringLiteral("01/01/1990"));
    f.depCHTFin->SetText(QStringLiteral("31/12/2090"));
}

// One list through the screens; with `timing`, only the confirmation up to the painted grid
// is timed.
bool listThroughScreens(benchmark::State* timing)
{
    bool ran = false;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        matchEverything(f);
        if (timing)
            timing->ResumeTiming();
        f.sbtConfirma->Click();
        TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;
        tela.dbgPadrao->viewport()->repaint();
        if (timing)
            timing->PauseTiming();
        g_rowsShown = tela.dbgPadrao->model()->rowCount();
        ran = true;
    });
    Cli_cot09801::CriaFiltroCancCHT();
    return ran;
}

// Every side runs once untimed first, so that no side pays for cold caches in its figure.
void BM_ThreeTier(benchmark::State& state)
{
    if (!listThroughScreens(nullptr)) {
        state.SkipWithError("the filter did not come up");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const bool ran = listThroughScreens(&state);
        if (!ran)
            state.SkipWithError("the filter did not come up");
        state.ResumeTiming();
    }
}

// The same, with the server reading the list on one core: how much of the lead comes from the
// server reading a long list in pieces side by side.
void BM_ThreeTierOneWorker(benchmark::State& state)
{
    if (!g_server->serve({QStringLiteral("--list-workers"), QStringLiteral("1")})) {
        state.SkipWithError("the one-worker server did not start");
        return;
    }
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), g_server->port());
    // The screen's connection takes the session's address when it opens.
    cht::framework::TNetConnection& net = Cli_cot09800::frmCancelaCHT->netCancelaCHT;
    net.Close();
    net.Open();
    BM_ThreeTier(state);
}

void BM_TwoTier(benchmark::State& state)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("twotier"));
    db.setDatabaseName(g_dbPath);
    if (!db.open()) {
        state.SkipWithError(db.lastError().text().toStdString().c_str());
        return;
    }
    const QString sql = QString::fromStdString(
        cht::server::ChtRepository::chtListSql(cht::server::Dialect::Sqlite, true, true));
    QTableView view;
    view.resize(965, 300);
    view.show();
    auto list = [&] {
        auto* model = new QSqlQueryModel;
        QSqlQuery query(db);
        query.prepare(sql);
        query.addBindValue(QStringLiteral("1990-01-01"));
        query.addBindValue(QStringLiteral("2091-01-01"));
        query.addBindValue(QStringLiteral("_P_A_R_N_"));
        query.exec();
        model->setQuery(std::move(query));
        while (model->canFetchMore())
            model->fetchMore();
        QAbstractItemModel* old = view.model();
        view.setModel(model);
        view.viewport()->repaint();
        g_twoTierRows = model->rowCount();
        return old;
    };
    delete list();
    for (auto _ : state) {
        QAbstractItemModel* old = list();
        state.PauseTiming();
        delete old;
        state.ResumeTiming();
    }
    delete view.model();
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    std::fprintf(stderr, "bench_list: generating %d demo CHTs...\n", kChts);
    cht::testing::ServerProcess server(kChts);
    if (!server.start()) {
        std::fprintf(stderr, "bench_list: %s\n", qPrintable(server.error()));
        return 1;
    }
    g_dbPath = server.databasePath();
    g_server = &server;

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

    benchmark::RegisterBenchmark("list_100k_three_tier", BM_ThreeTier)
        ->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("list_100k_two_tier", BM_TwoTier)
        ->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("list_100k_three_tier_one_worker", BM_ThreeTierOneWorker)
        ->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const int rc = errors.isEmpty() ? 0 : 1;
    if (!errors.isEmpty())
        std::fprintf(stderr, "bench_list: errors: %s\n", qPrintable(errors.join('\n')));
    if (g_rowsShown != kChts || g_twoTierRows != kChts)
        std::fprintf(stderr, "bench_list: rows shown %d (three tiers) and %d (two tiers), expected %d\n",
                     g_rowsShown, g_twoTierRows, kChts);
    const double three = reporter.seconds["list_100k_three_tier"];
    const double two = reporter.seconds["list_100k_two_tier"];
    const double oneWorker = reporter.seconds["list_100k_three_tier_one_worker"];
    if (three > 0 && two > 0)
        std::printf("ratio list_100k_vs_two_tier = %.3f (target <= 0.7)\n", three / two);
    if (oneWorker > 0 && two > 0)
        std::printf("ratio list_100k_one_list_worker_vs_two_tier = %.3f (for comparison: the"
                    " server reading the list on one core)\n", oneWorker / two);

    Cli_cot09800::frmCancelaCHT->Close();
    Application::ProcessMessages();
    Finalize();
    benchmark::Shutdown();
    return rc;
}
