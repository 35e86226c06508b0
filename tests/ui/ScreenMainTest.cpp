// The management screen tests' entry, the fake application server and the launch helpers.
#include "ScreenTestSupport.h"

#include "framework/DialogResponder.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "tests/support/ServerProcess.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <cstdio>
#include <utility>

#include <gtest/gtest.h>

using cht::framework::Application;
using cht::wire::RpcArg;

namespace screen_test {

std::string FakeServer::Post(const QString&, int, const std::string& body, int)
{
    cht::wire::RpcRequest request = cht::wire::decodeRequest(body);
    requests.push_back(request);
    const std::string method = request.method.substr(request.method.rfind('.') + 1);
    if (method == "GetCHT") {
        const Failure failure = std::exchange(nextGetCHT, Failure::None);
        if (failure == Failure::Transport)
            throw cht::framework::EServerError(
                "Não foi possível falar com o servidor de aplicação.");
        if (failure == Failure::Server)
            return cht::wire::encodeFailure(request.id, "Filtro recusado pelo servidor.");
        std::vector<RpcArg> refs = request.params;
        if (!clientesAfterCall.isEmpty() && !refs.empty())
            refs[0] = RpcArg::ofText(clientesAfterCall.toStdString());
        return cht::wire::encodeResult(request.id, refs, cht::wire::encodeDataPacket(chtRows));
    }
    if (method == "ConfirmaCHT" || method == "CancelaCHT") {
        const Failure failure = std::exchange(nextKeyCall, Failure::None);
        if (failure == Failure::Transport)
            throw cht::framework::EServerError(
                "Não foi possível falar com o servidor de aplicação.");
        if (failure == Failure::Server)
            return cht::wire::encodeFailure(request.id, "A CHT 00002 já foi faturada.");
        return cht::wire::encodeResult(request.id, {}, {});
    }
    if (method == "SetCHT") {
        const Failure failure = std::exchange(nextSetCHT, Failure::None);
        if (failure == Failure::Transport)
            throw cht::framework::EServerError(
                "Não foi possível falar com o servidor de aplicação.");
        if (failure == Failure::Server)
            return cht::wire::encodeFailure(request.id, "Gravação recusada pelo servidor.");
        return cht::wire::encodeResult(request.id, {}, {});
    }
    if (method == "GetConsultaCSA" || method == "GetParcVenc") {
        if (whileAnswering)
            whileAnswering();
        const Failure failure = std::exchange(nextDetail, Failure::None);
        if (failure == Failure::Transport)
            throw cht::framework::EServerError(
                "Não foi possível falar com o servidor de aplicação.");
        if (failure == Failure::Server)
            return cht::wire::encodeFailure(request.id, "Consulta recusada pelo servidor.");
        const cht::wire::ColumnTable& rows = method == "GetParcVenc" ? parcelRows : cdaRows;
        return cht::wire::encodeResult(request.id, {}, cht::wire::encodeDataPacket(rows));
    }
    if (method == "GetData") {
        cht::wire::ColumnTable t({{"SYSDATE", cht::wire::FieldType::DateTime, 0}});
        t.setNumber(t.appendRow(), 0, 46000.5);
        return cht::wire::encodeResult(request.id, request.params, cht::wire::encodeDataPacket(t));
    }
    return cht::wire::encodeProtocolError(request.id, cht::wire::kMethodNotFound,
                                          "Método desconhecido: " + request.method);
}

QStringList FakeServer::methods() const
{
    QStringList out;
    for (const auto& r : requests)
        out << QString::fromStdString(r.method.substr(r.method.rfind('.') + 1));
    return out;
}

std::vector<QStringList> FakeServer::argsOf(const QString& method) const
{
    std::vector<QStringList> out;
    for (const auto& r : requests) {
        if (QString::fromStdString(r.method.substr(r.method.rfind('.') + 1)) != method)
            continue;
        QStringList args;
        for (const RpcArg& a : r.params)
            args << QString::fromStdString(a.text);
        out.push_back(args);
    }
    return out;
}

// A packet without rows whose columns are the fields of `cds`.
static cht::wire::ColumnTable emptyPacketOf(const cht::platform::TClientDataSet& cds)
{
    std::vector<cht::wire::FieldDef> defs;
    for (int i = 0; i < cds.fieldCount(); ++i) {
        const cht::platform::TField& f = cds.field(i);
        defs.push_back(
            {f.fieldName().toStdString(), f.dataType(), static_cast<std::uint32_t>(f.size())});
    }
    return cht::wire::ColumnTable(defs);
}

cht::wire::ColumnTable chtPacket(const TfrmCancelaCHT& screen, const std::vector<Cht>& rows)
{
    cht::wire::ColumnTable t = emptyPacketOf(screen.cdsCancelaCHT);
    auto put = [&t](std::size_t row, const char* field, const QString& value) {
        t.setText(row, static_cast<std::size_t>(t.indexOf(field)), value.toStdString());
    };
    for (const Cht& c : rows) {
        const std::size_t r = t.appendRow();
        put(r, "IDCHECK", c.tick);
        put(r, "NRSEQUCHT", c.seq);
        put(r, "IDSTATUSCHT", c.status);
        put(r, "IDTIPOCOBRSERV", c.cobrServ);
        put(r, "NMFANTCLIE", c.cliente);
        put(r, "CDGERENTEIMPCLI", c.manager);
    }
    return t;
}

cht::wire::ColumnTable cdaPacket(const TfrmCancelaCHT& screen, const std::vector<Cda>& rows)
{
    cht::wire::ColumnTable t = emptyPacketOf(screen.cdsConsultaCSA);
    auto put = [&t](std::size_t row, const char* field, const QString& value) {
        t.setText(row, static_cast<std::size_t>(t.indexOf(field)), value.toStdString());
    };
    for (const Cda& c : rows) {
        const std::size_t r = t.appendRow();
        put(r, "IDSITSERVPREST", c.situacao);
        put(r, "IDASSINATURACLIENTE", c.assinatura);
        put(r, "IDORIGINALENTREGUE", c.entregue);
        put(r, "NOMEFUNC", c.funcionario);
    }
    return t;
}

cht::wire::ColumnTable parcelPacket(const std::vector<std::pair<double, double>>& rows)
{
    cht::wire::ColumnTable t({{"DTVENCSERVCLIE", cht::wire::FieldType::DateTime, 0},
                              {"VRVENCSERVCLIE", cht::wire::FieldType::Float, 0}});
    for (const auto& [due, amount] : rows) {
        const std::size_t r = t.appendRow();
        t.setNumber(r, 0, due);
        t.setNumber(r, 1, amount);
    }
    return t;
}

namespace {
QMdiArea* g_area = nullptr;
int g_serverPort = 0;
} // namespace

void useRealServer()
{
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), g_serverPort);
}

QMdiArea* mdiArea()
{
    return g_area;
}

void reactivate(TfrmCancelaCHT& screen)
{
    static QMdiSubWindow* other = nullptr;
    if (other == nullptr) {
        other = g_area->addSubWindow(new QWidget);
        other->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    other->show();
    g_area->setActiveSubWindow(other);
    g_area->setActiveSubWindow(screen.SubWindow());
}

QImage gridShot(cht::platform::TDBGrid& grid)
{
    grid.viewport()->repaint();
    return grid.viewport()->grab().toImage();
}

QRect gridCell(cht::platform::TDBGrid& grid, int recNo, const char* field)
{
    return grid.cellRect(recNo, grid.columnByFieldName(QLatin1String(field))->index());
}

QSet<QRgb> colours(const QImage& img, const QRect& r)
{
    QSet<QRgb> out;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            out.insert(img.pixel(x, y) & 0xFFFFFFu);
    return out;
}

QStringList& errors()
{
    static QStringList list;
    return list;
}

TfrmCancelaCHT* launch(const std::shared_ptr<FakeServer>& server, int* filterShown)
{
    // The launch ends in the modal filter: leave it without confirming.
    cht::framework::DialogResponder::whenModal([filterShown](QDialog* d) {
        if (d == nullptr)
            return;
        if (filterShown != nullptr && d == Cli_cot09801::frmFiltroCancCHT)
            ++*filterShown;
        d->close();
    });
    IniProc();
    TfrmCancelaCHT* screen = Cli_cot09800::frmCancelaCHT;
    if (screen != nullptr && server) {
        screen->netCancelaCHT.SetTransport(server);
        // Until a test says otherwise, a CHT has no CDAs and no parcels.
        if (server->cdaRows.fields().empty())
            server->cdaRows = cdaPacket(*screen, {});
        if (server->parcelRows.fields().empty())
            server->parcelRows = parcelPacket({});
    }
    return screen;
}

void closeScreen()
{
    if (Cli_cot09800::frmCancelaCHT != nullptr)
        Cli_cot09800::frmCancelaCHT->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void load(TfrmCancelaCHT& screen, FakeServer& server, const std::vector<Cht>& rows)
{
    server.chtRows = chtPacket(screen, rows);
    screen.reloadChtList();
}

} // namespace screen_test

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QMdiArea area;
    area.resize(1100, 700);
    area.show();
    screen_test::g_area = &area;
    Application::SetMainForm(&area);
    Application::SetMdiArea(&area);
    // The launch connects to a real server (the filter's creation asks it for the date); each
    // test then puts its fake server behind the connection.
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    cht::testing::ServerProcess realServer;
    if (!realServer.start()) {
        fprintf(stderr, "cht-server: %s\n", qPrintable(realServer.error()));
        return 1;
    }
    screen_test::g_serverPort = realServer.port();
    screen_test::useRealServer();
    Application::SetErrorDisplay([](const QString& m) { screen_test::errors() << m; });
    Initialize();
    const int rc = RUN_ALL_TESTS();
    screen_test::closeScreen();
    Finalize();
    Application::SetMdiArea(nullptr);
    Application::SetMainForm(nullptr);
    return rc;
}
