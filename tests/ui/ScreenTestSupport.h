// Shared by the management screen tests: a fake application server behind the connection's
// transport seam, CHT packets shaped like the screen's list, and the launch and close steps.
#pragma once

#include "module/Cli_cot09800.h"
#include "module/contracts/Netconnection.h"
#include "platform/wire/Wire.h"

#include <QImage>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace screen_test {

/// Answers the remote methods the screen calls; records every request it receives.
class FakeServer : public cht::framework::TNetTransport {
public:
    enum class Failure { None, Transport, Server };

    std::string Post(const QString& host, int port, const std::string& body,
                     int timeoutMs) override;

    /// Requests received, decoded, oldest first.
    std::vector<cht::wire::RpcRequest> requests;
    /// Short method names of the requests ("GetCHT").
    QStringList methods() const;

    /// What GetCHT returns.
    cht::wire::ColumnTable chtRows;
    /// How the next GetCHT fails (reset after it did).
    Failure nextGetCHT = Failure::None;
    /// Written back into the first by-reference argument of GetCHT when not empty.
    QString clientesAfterCall;
    /// How the next SetCHT fails (reset after it did); a server failure says "Gravação recusada".
    Failure nextSetCHT = Failure::None;
    /// How the next ConfirmaCHT or CancelaCHT fails (reset after it did).
    Failure nextKeyCall = Failure::None;
    /// What GetConsultaCSA and GetParcVenc return.
    cht::wire::ColumnTable cdaRows;
    cht::wire::ColumnTable parcelRows;
    /// How the next GetConsultaCSA or GetParcVenc fails (reset after it did).
    Failure nextDetail = Failure::None;
    /// Runs inside every GetConsultaCSA and GetParcVenc, before the answer (a slow server).
    std::function<void()> whileAnswering;

    /// The text arguments of every request to `method`, oldest first.
    std::vector<QStringList> argsOf(const QString& method) const;
};

/// One CHT of a packet; the rest of the row is null.
struct Cht {
    QString seq{};
    QString status{};
    QString cobrServ{};
    QString cliente = QStringLiteral("Cliente");
    QString manager = QStringLiteral("DEMO");
    QString tick = QStringLiteral("N");
};

/// A GetCHT packet with exactly the fields of the screen's list.
cht::wire::ColumnTable chtPacket(const TfrmCancelaCHT& screen, const std::vector<Cht>& rows);

/// One CDA of a packet; the rest of the row is null.
struct Cda {
    QString situacao{};
    QString assinatura{};
    QString entregue{};
    QString funcionario = QStringLiteral("Ana");
};

/// A GetConsultaCSA packet with exactly the fields of the screen's CDA set.
cht::wire::ColumnTable cdaPacket(const TfrmCancelaCHT& screen, const std::vector<Cda>& rows);

/// A GetParcVenc packet: due date (days from 30/12/1899) and amount of each parcel.
cht::wire::ColumnTable parcelPacket(const std::vector<std::pair<double, double>>& rows);

/// The host's MDI area the screens open in (made by main()).
class QMdiArea* mdiArea();
/// Makes another child window active and then the screen's again, as an operator switching
/// windows does.
void reactivate(TfrmCancelaCHT& screen);

/// A fresh picture of what `grid` shows.
QImage gridShot(cht::platform::TDBGrid& grid);
/// Where row `recNo` of the column of `field` is drawn in `grid`.
QRect gridCell(cht::platform::TDBGrid& grid, int recNo, const char* field);
/// The colours inside a rectangle of a picture, alpha left out.
QSet<QRgb> colours(const QImage& img, const QRect& r);

/// Errors handed to the host's error display since the last clear.
QStringList& errors();

/// Opens the screen through the package entry (leaving the filter it ends in without
/// confirming; counted in `filterShown`) and then puts `server` behind its connection.
TfrmCancelaCHT* launch(const std::shared_ptr<FakeServer>& server, int* filterShown = nullptr);
/// Points the session at the real cht-server that main() started.
void useRealServer();
/// Closes the management screen, if any, and lets deferred deletions run.
void closeScreen();
/// Loads `rows` through the screen's reload.
void load(TfrmCancelaCHT& screen, FakeServer& server, const std::vector<Cht>& rows);

/// A test on an open screen with a fake server behind it, closed again afterwards.
class OpenScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        closeScreen();
        server = std::make_shared<FakeServer>();
        screen = launch(server);
        ASSERT_NE(screen, nullptr);
    }
    void TearDown() override { closeScreen(); }

    std::shared_ptr<FakeServer> server;
    TfrmCancelaCHT* screen = nullptr;
};

} // namespace screen_test
