// Behaviour of the current CHT's details: the CDA tab and its query, the due-date parcels, and the
// list's after-scroll reaction that keeps both in step with the current row.
#include "module/Cli_cot09800.h"

#include "module/contracts/Consiste.h"
#include "module/contracts/PageControl98.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/StaleRepeatFilter.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TCanvas.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"

#include <QAction>
#include <QScopeGuard>
#include <QSplitter>

#include <utility>

using cht::framework::Application;
using cht::framework::AviGuard;
using cht::framework::CheckResultServ;
using cht::framework::TRemoteArg;
using cht::platform::TClientDataSet;
using cht::platform::TColumn;
using cht::platform::TDBGrid;
using cht::platform::TGridDrawState;

// --- the CDA tab -------------------------------------------------------------------------------

void TfrmCancelaCHT::queryCurrentCdas()
{
    const auto busy = qScopeGuard([this] { m_staleRepeats->busyEnded(); });
    const AviGuard wait(Application::MainForm(), 1);
    std::vector<TRemoteArg> args;
    for (const cht::platform::TField* f :
         {cdsCancelaCHTCDCLIENTE, cdsCancelaCHTCDFUNC, cdsCancelaCHTCDTIPOSERV,
          cdsCancelaCHTNRPROPOSFAS, cdsCancelaCHTNRVERPROPFAS, cdsCancelaCHTNRSEQUCHT,
          cdsCancelaCHTCDEMPRESA, cdsCancelaCHTNRSERVCONT})
        args.push_back(TRemoteArg::ByVal(currentText(f)));
    cht::framework::TServerResult result =
        netCancelaCHT.AppServer().Call(QStringLiteral("GetConsultaCSA"), std::move(args));
    cdsConsultaCSA.loadFromPacket(CheckResultServ(std::move(result), true, 0));
}

void TfrmCancelaCHT::pgcPadraoChange(QObject*)
{
    if (pgcPadrao->ActivePage() == tshCSA)
        queryCurrentCdas();
}

void TfrmCancelaCHT::cdsCancelaCHTAfterScroll(TClientDataSet&)
{
    dtsPadraoStateChange(&dtsPadrao);
    if (pgcPadrao->ActivePage() == tshCSA) {
        queryCurrentCdas();
        return;
    }
    if (sbtVencimento->Down())
        sbtVencimentoClick(sbtVencimento);
    // No state test here: the command-state rule above already had its say on edits.
    const bool dueDates = currentText(cdsCancelaCHTIDTIPOCOBRSERV) == QLatin1String("P");
    sbtVencimento->setEnabled(dueDates);
    mnuVencimento->setEnabled(dueDates);
}

void TfrmCancelaCHT::dbgConsultaCsaDrawColumnCell(TDBGrid& sender, const QRect& rect, int,
                                                  TColumn& column, TGridDrawState)
{
    const QString field = column.fieldName();
    if (field != QLatin1String("IDASSINATURACLIENTE") &&
        field != QLatin1String("IDORIGINALENTREGUE"))
        return;
    const cht::platform::TField* f = column.field();
    if (f == nullptr)
        return;
    const QString value = f->asString();
    cht::platform::TCanvas& canvas = sender.canvas();
    canvas.fillRect(rect);
    if (value == QLatin1String("X")) {
        canvas.setFontColor(QColor(128, 128, 128));
        const int width = rect.width();
        canvas.textRect(rect, rect.left() + width / 2 - width / 5, rect.top() + 2,
                        f->displayText());
        return;
    }
    const QImage* picture = nullptr;
    if (value == QLatin1String("S"))
        picture = &m_picOk;
    else if (value == QLatin1String("N"))
        picture = &m_picNOk;
    if (picture == nullptr)
        return;
    const QRect dest(rect.left() + 15, rect.top(), picture->width(), rect.height());
    canvas.drawBitmapKeyed(dest, *picture, QRect(0, 0, picture->width(), rect.height()));
}

// --- the due-date parcels ----------------------------------------------------------------------

void TfrmCancelaCHT::sbtVencimentoClick(QObject*)
{
    if (!sbtVencimento->Down()) {
        dbgVencParcela->hide();
        return;
    }
    showParcelsGrid();
    const auto busy = qScopeGuard([this] { m_staleRepeats->busyEnded(); });
    const AviGuard wait(Application::MainForm(), 1);
    cht::framework::TServerResult result = netCancelaCHT.AppServer().Call(
        QStringLiteral("GetParcVenc"), {TRemoteArg::ByVal(currentText(cdsCancelaCHTCDCLIENTE)),
                                        TRemoteArg::ByVal(currentText(cdsCancelaCHTNRPROPOSFAS)),
                                        TRemoteArg::ByVal(currentText(cdsCancelaCHTNRVERPROPFAS))});
    cdsVencParcela.loadFromPacket(CheckResultServ(std::move(result), true, 0));
}

void TfrmCancelaCHT::mnuVencimentoClick(QObject* sender)
{
    sbtVencimento->SetDown(!sbtVencimento->Down());
    sbtVencimentoClick(sender);
}

void TfrmCancelaCHT::showParcelsGrid()
{
    if (!dbgVencParcela->isHidden())
        return;
    dbgVencParcela->show();
    // The splitter would share the height out anew: the list keeps all but the grid's 80 pixels.
    const QList<int> sizes = Splitter1->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (total > 80)
        Splitter1->setSizes({total - 80, 80});
}
