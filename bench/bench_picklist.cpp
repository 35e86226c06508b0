// The filter's client lookup over 100,000 clients on a SQLite file. Opening: from the click on
// the lookup button (the query read afresh, the pick list built and shown) until the pick list
// is painted, against the same query run to its last row, every value read, with the bare Qt
// SQL API. Narrowing: typing three letters into the pick list's search box, the list repainted
// after each, against that opening. The sides take turns, round after round, after one untimed
// round: medians of the rounds.
#include "bench/BenchHost.h"
#include "bench/BenchTiming.h"
#include "module/Cli_cot09801.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "module/contracts/TADOIBQuery.h"
#include "platform/widgets/TButtonFlat.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

using cht::framework::Application;
using cht::framework::dtmDBGeral;

using cht::bench::median;

namespace {

constexpr int kClients = 100000;
const char* const kTyped = "mar";

const std::array<const char*, 18> kTrades = {
    "Metalúrgica", "Construtora", "Agropecuária", "Transportes", "Hospital",    "Supermercados",
    "Têxtil",      "Laticínios",  "Cerâmica",     "Gráfica",     "Usina",       "Mineração",
    "Celulose",    "Química",     "Logística",    "Cooperativa", "Frigorífico", "Autopeças",
};
const std::array<const char*, 24> kPlaces = {
    "Paulista", "Horizonte",  "Vale Verde", "Rápido Sul", "São Lucas",     "Bom Preço",
    "Aurora",   "Estrela",    "Boa Vista",  "Ipê",        "Atlântico",     "Central",
    "Pampa",    "Anhanguera", "Marília",    "Maringá",    "Campos Gerais", "Serra Azul",
    "Itajaí",   "Joinville",  "Sorocaba",   "Contagem",   "Ribeirão",      "Três Rios",
};
const std::array<const char*, 16> kFirstNames = {
    "João",    "Maria", "Ana",    "Carlos", "Fernanda", "Ricardo", "Patrícia", "Luiz",
    "Beatriz", "Diego", "Helena", "Otávio", "Renata",   "Sérgio",  "Tatiane",  "Vinícius",
};
const std::array<const char*, 16> kSurnames = {
    "Pereira", "Santos", "Ferreira", "Lima",   "Costa",   "Barbosa", "Martins", "Ribeiro",
    "Alves",   "Rocha",  "Nogueira", "Campos", "Azevedo", "Correia", "Araújo",  "Brandão",
};

QString digits(std::uint64_t& state, int count)
{
    QString s;
    for (int i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        s += QChar(u'0' + static_cast<char16_t>((state >> 33) % 10));
    }
    return s;
}

bool fillClients(QSqlDatabase& db)
{
    QSqlQuery q(db);
    if (!q.exec("CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21) NOT NULL PRIMARY KEY,"
                " NRINSJURCLIE VARCHAR(25) NOT NULL, NMFANTCLIE VARCHAR(50) NOT NULL,"
                " IDTPIJURCLIE VARCHAR(1) NOT NULL, NMRAZSOCCLIE VARCHAR(50) NOT NULL,"
                " CDGERENTEIMPCLI VARCHAR(12) NOT NULL)"))
        return false;
    db.transaction();
    q.prepare("INSERT INTO CLIENTE VALUES (?, ?, ?, ?, ?, ?)");
    std::uint64_t state = 9800;
    for (int i = 0; i < kClients; ++i) {
        const bool person = i % 3 == 2;
        const auto u = static_cast<std::size_t>(i);
        QString trade, legal;
        if (person) {
            trade = QString::fromUtf8(kFirstNames[u % 16]) + ' ' +
                    QString::fromUtf8(kSurnames[(u / 16) % 16]) + ' ' +
                    QString::fromUtf8(kSurnames[(u / 256) % 16]);
            legal = trade;
        } else {
            trade = QString::fromUtf8(kTrades[u % 18]) + ' ' +
                    QString::fromUtf8(kPlaces[(u / 18) % 24]);
            legal = trade + QStringLiteral(" Ltda ") + QString::number(i);
        }
        q.addBindValue(QStringLiteral("C%1").arg(i + 1, 6, 10, QLatin1Char('0')));
        q.addBindValue(person ? digits(state, 11) : digits(state, 8) + "0001" + digits(state, 2));
        q.addBindValue(trade);
        q.addBindValue(person ? QStringLiteral("F") : QStringLiteral("J"));
        q.addBindValue(legal);
        q.addBindValue(QStringLiteral("DEMO"));
        if (!q.exec())
            return false;
    }
    return db.commit();
}

volatile qsizetype g_sink = 0;

// The same query, every row and every value, through QSqlQuery alone.
double bareQuery(QSqlDatabase& db, const QString& sql, int& rows)
{
    QElapsedTimer clock;
    clock.start();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(sql);
    qsizetype chars = 0;
    rows = 0;
    while (q.next()) {
        for (int c = 0; c < 5; ++c)
            chars += q.value(c).toString().size();
        ++rows;
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    g_sink = chars;
    return ms;
}

struct Opening {
    double openMs = -1;
    double narrowMs = -1;
    int rowsShown = 0;
    int rowsNarrowed = 0;
};

// Clicks the lookup button and, once the pick list is up, paints it, types into it and cancels.
Opening openAndNarrow(TfrmFiltroCancCHT& f)
{
    Opening result;
    QElapsedTimer clock;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (d == nullptr || d->objectName() != QLatin1String("PesquisaLista") || !d->isVisible())
            return;
        watch.stop();
        d->repaint();
        result.openMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        auto* view = d->findChild<QTableView*>("grdLista");
        auto* search = d->findChild<QLineEdit*>("edtPesquisa");
        result.rowsShown = view->model()->rowCount();

        QElapsedTimer typing;
        typing.start();
        for (const char* c = kTyped; *c != '\0'; ++c) {
            QTest::keyClick(search, *c);
            view->viewport()->repaint();
        }
        result.narrowMs = static_cast<double>(typing.nsecsElapsed()) / 1e6;
        result.rowsNarrowed = view->model()->rowCount();
        d->reject();
    });
    watch.start();
    clock.start();
    f.btpCliente->click();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const cht::bench::BenchApp application(argc, argv);
    constexpr int kRounds = 7;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("host.db"));
    std::fprintf(stderr, "bench_picklist: writing %d clients...\n", kClients);
    QSqlDatabase bare =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
    bare.setDatabaseName(file);
    if (!dir.isValid() || !bare.open() || !fillClients(bare)) {
        std::fprintf(stderr, "bench_picklist: %s\n", qPrintable(bare.lastError().text()));
        return 1;
    }

    dtmDBGeral::Configure(QStringLiteral("sqlite:") + file);
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), 8080);
    QStringList errors;
    Application::SetErrorDisplay([&](const QString& m) { errors << m; });
    TfrmFiltroCancCHT f;
    f.show();
    f.rbtLCliente->setChecked(true);
    const QString sql = f.qryCliente.SQL.join(QLatin1Char('\n'));

    std::vector<double> opens, queries, narrows;
    int rows = 0;
    Opening last;
    for (int round = 0; round <= kRounds; ++round) {
        const double q = bareQuery(bare, sql, rows);
        last = openAndNarrow(f);
        std::fprintf(stderr,
                     "bench_picklist: round %d: query %.0f ms, opening %.0f ms, typing \"%s\" "
                     "%.1f ms%s\n",
                     round, q, last.openMs, kTyped, last.narrowMs,
                     round == 0 ? " (warm-up, not counted)" : "");
        if (round == 0)
            continue;
        queries.push_back(q);
        opens.push_back(last.openMs);
        narrows.push_back(last.narrowMs);
    }

    int rc = 0;
    if (!errors.isEmpty() || rows != kClients || last.rowsShown != kClients ||
        last.rowsNarrowed <= 0 || last.rowsNarrowed >= kClients) {
        std::fprintf(stderr,
                     "bench_picklist: errors: %s; rows: query %d, pick list %d, narrowed %d\n",
                     qPrintable(errors.join('\n')), rows, last.rowsShown, last.rowsNarrowed);
        rc = 1;
    }
    const double mq = median(queries), mo = median(opens), mn = median(narrows);
    std::printf("picklist 100k (medians of %d rounds): query %.0f ms, opening %.0f ms, typing"
                " \"%s\" %.1f ms (%d rows left)\n",
                kRounds, mq, mo, kTyped, mn, last.rowsNarrowed);
    if (rc == 0 && mq > 0 && mo > 0) {
        std::printf("ratio picklist_100k_open_vs_query = %.3f (target <= 1.5)\n", mo / mq);
        std::printf("ratio picklist_100k_narrow_vs_open = %.3f (target <= 0.2)\n", mn / mo);
    }
    f.close();
    dtmDBGeral::Configure({});
    return rc;
}
