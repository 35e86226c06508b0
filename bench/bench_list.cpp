// From confirming the filter to the grid showing its first rows, for 100,000 CHTs: the three
// tiers (filter screen -> cht-server on loopback -> SQLite) against what a two-tier Qt program
// would do on the same file (a QSqlQueryModel fetching every row into a QTableView). A second
// server on the same file reads lists on one core, to show what reading in pieces contributes.
// The sides take turns, round after round, after one untimed round: medians of the rounds, so
// that a machine that speeds up or slows down meanwhile weighs on every side alike.
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDateEditPlus.h"
#include "server/ChtListReader.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using cht::framework::Application;
using cht::testing::whenFilterShows;

namespace {

constexpr int kChts = 100000;

int g_rowsShown = 0;
int g_twoTierRows = 0;

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

// One list through the screens: milliseconds from the confirmation to the painted grid, or a
// negative number when the filter did not come up.
double listThroughScreens()
{
    double ms = -1;
    whenFilterShows([&](TfrmFiltroCancCHT& f) {
        matchEverything(f);
        QElapsedTimer clock;
        clock.start();
        f.sbtConfirma->click();
        TfrmCancelaCHT& tela = *Cli_cot09800::frmCancelaCHT;
        tela.dbgPadrao->viewport()->repaint();
        ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        g_rowsShown = tela.dbgPadrao->model()->rowCount();
    });
    Cli_cot09801::CriaFiltroCancCHT();
    return ms;
}

// The screen's connection takes the session's address when it opens.
void useServer(int port)
{
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), port);
    cht::framework::TNetConnection& net = Cli_cot09800::frmCancelaCHT->netCancelaCHT;
    net.Close();
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

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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

    std::vector<double> three, two, single;
    bool filterFailed = false;
    for (int round = 0; round <= kRounds; ++round) {
        useServer(server.port());
        const double a = listThroughScreens();
        const double b = twoTier.list();
        useServer(oneWorker.port());
        const double c = listThroughScreens();
        filterFailed = filterFailed || a < 0 || c < 0;
        std::fprintf(stderr,
                     "bench_list: round %d: three tiers %.0f ms, two tiers %.0f ms,"
                     " three tiers with one list worker %.0f ms%s\n",
                     round, a, b, c, round == 0 ? " (warm-up, not counted)" : "");
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
    const double m3 = median(three), m2 = median(two), m1 = median(single);
    std::printf("list 100k (medians of %d rounds): three tiers %.0f ms, two tiers %.0f ms, three"
                " tiers with one list worker %.0f ms\n",
                kRounds, m3, m2, m1);
    if (rc == 0 && m2 > 0) {
        std::printf("ratio list_100k_vs_two_tier = %.3f (target <= 0.7)\n", m3 / m2);
        std::printf("ratio list_100k_one_list_worker_vs_two_tier = %.3f (for comparison: the"
                    " server reading the list on one core)\n",
                    m1 / m2);
    }

    Cli_cot09800::frmCancelaCHT->Close();
    Application::ProcessMessages();
    Finalize();
    return rc;
}
