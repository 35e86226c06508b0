// What the list's paper and spreadsheet cost, each against loading the same CHTs into the screen
// (the screen's own reload: GetCHT from a cht-server on loopback, the packet loaded into the list
// and the grid repainted), measured side by side in one run:
// - report_10k_pdf_vs_load: writing the PDF report of 10,000 CHTs to a file;
// - export_100k_csv_vs_load: writing the CSV export of 100,000 CHTs to a file.
// Sides take turns round after round (one untimed warm-up); medians of the rounds. The load from
// the packet's text alone is printed too, for reference.
#include "bench/BenchHost.h"
#include "bench/BenchTiming.h"
#include "framework/ListReport.h"
#include "framework/ReportPreview.h"
#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TDBGrid.h"
#include "tests/support/FilterScript.h"
#include "tests/support/ServerProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMdiArea>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using cht::framework::Application;
using cht::framework::ListReport;

using cht::bench::median;
using cht::bench::timeMs;

namespace {

constexpr int kReportChts = 10000;
constexpr int kExportChts = 100000;
constexpr int kRounds = 5;

// Every CHT of the demo database: all clients, employees, statuses, 1990 to 2090.
void filterAll()
{
    TFiltro& f = Cli_cot09801::Filtro;
    f.TodosClientes = QStringLiteral("T");
    f.Clientes.clear();
    f.TodosFuncs = QStringLiteral("T");
    f.Funcs.clear();
    f.Situacao = QStringLiteral("_P_A_R_N_");
    f.DataIni = 32874;
    f.DataFin = 69398;
}

struct Sides {
    std::vector<double> load, decode, work;
};

// Opens the screen on a server of `chts` CHTs and times `work` against the screen's reload.
bool measure(int chts, const char* what, const std::function<void(TfrmCancelaCHT&)>& work,
             Sides& out)
{
    std::fprintf(stderr, "bench_report: generating %d demo CHTs...\n", chts);
    cht::testing::ServerProcess server(chts);
    if (!server.start()) {
        std::fprintf(stderr, "bench_report: %s\n", qPrintable(server.error()));
        return false;
    }
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), server.port());
    QStringList errors;
    Application::SetErrorDisplay([&](const QString& m) { errors << m; });
    cht::testing::whenFilterShows([](TfrmFiltroCancCHT& f) { f.Close(); });
    Cli_cot09800::CriaCancelaCHT();
    TfrmCancelaCHT* tela = Cli_cot09800::frmCancelaCHT;
    bool ok = tela != nullptr && errors.isEmpty();
    filterAll();
    for (int round = 0; ok && round <= kRounds; ++round) {
        const double l = timeMs([&] {
            tela->reloadChtList();
            tela->dbgPadrao->viewport()->repaint();
        });
        if (tela->cdsCancelaCHT.recordCount() != chts) {
            std::fprintf(stderr, "bench_report: the list has %d rows\n",
                         tela->cdsCancelaCHT.recordCount());
            ok = false;
            break;
        }
        const std::string packet = tela->cdsCancelaCHT.dataPacket();
        const double d = timeMs([&] {
            tela->cdsCancelaCHT.loadFromPacket(std::string_view(packet));
            tela->dbgPadrao->viewport()->repaint();
        });
        const double w = timeMs([&] { work(*tela); });
        std::fprintf(stderr,
                     "bench_report: round %d: load %.0f ms (from the packet's text %.0f ms), %s "
                     "%.0f ms%s\n",
                     round, l, d, what, w, round == 0 ? " (warm-up)" : "");
        if (round == 0)
            continue;
        out.load.push_back(l);
        out.decode.push_back(d);
        out.work.push_back(w);
    }
    ok = ok && errors.isEmpty();
    if (!errors.isEmpty())
        std::fprintf(stderr, "bench_report: %s\n", qPrintable(errors.join('\n')));
    if (tela)
        tela->Close();
    Application::ProcessMessages();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const cht::bench::BenchHost host(argc, argv);
    Initialize();
    QTemporaryDir dir;

    Sides report, csv;
    qint64 pdfBytes = 0, csvBytes = 0;
    int pages = 0;
    const QString pdfFile = dir.filePath(QStringLiteral("lista.pdf"));
    const QString csvFile = dir.filePath(QStringLiteral("lista.csv"));
    auto writePdf = [&](TfrmCancelaCHT& tela) {
        const ListReport r(tela);
        cht::framework::writeWholeFile(pdfFile, r.pdf());
        pages = r.pageCount();
        pdfBytes = QFileInfo(pdfFile).size();
    };
    auto writeCsv = [&](TfrmCancelaCHT& tela) {
        cht::framework::writeWholeFile(
            csvFile, [&tela](QIODevice& out) { ListReport::writeCsv(tela, out); });
        csvBytes = QFileInfo(csvFile).size();
    };
    bool ok = measure(kReportChts, "PDF report", writePdf, report);
    ok = ok && measure(kExportChts, "CSV export", writeCsv, csv);
    Finalize();
    if (!ok)
        return 1;
    std::fprintf(stderr,
                 "bench_report: PDF of %d CHTs: %d pages, %lld bytes; CSV of %d CHTs: %lld bytes\n",
                 kReportChts, pages, pdfBytes, kExportChts, csvBytes);
    std::fprintf(stderr,
                 "bench_report: medians: load 10k %.0f ms (text %.0f), PDF %.0f ms; load 100k %.0f "
                 "ms (text %.0f), CSV %.0f ms\n",
                 median(report.load), median(report.decode), median(report.work), median(csv.load),
                 median(csv.decode), median(csv.work));
    std::printf("ratio report_10k_pdf_vs_load = %.3f (target <= 2)\n",
                median(report.work) / median(report.load));
    std::printf("ratio export_100k_csv_vs_load = %.3f (target <= 0.5)\n",
                median(csv.work) / median(csv.load));
    return 0;
}
