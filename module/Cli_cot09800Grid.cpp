// Behaviour of the CHT grid: ticking one row or all, the in-grid flags, saving the list's change
// log, and the pictures painted in the four one-letter columns.
#include "module/Cli_cot09800.h"

#include "module/contracts/Consiste.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Showavi.h"
#include "platform/widgets/TColumn.h"
#include "platform/widgets/TDBGrid.h"

#include <QScopeGuard>

#include <string>
#include <string_view>
#include <variant>

using cht::framework::Application;
using cht::framework::CheckResultServ;
using cht::framework::CursorGuard;
using cht::framework::TRemoteArg;
using cht::platform::DataSetState;
using cht::platform::TClientDataSet;
using cht::platform::TColumn;
using cht::platform::TDBGrid;
using cht::platform::TGridDrawState;

namespace {

// A text field of the current row compared as stored, a null as an empty text: a tick-all pass
// asks this of every row, and a QString made each time was a third of its cost.
bool storedTextIs(const cht::platform::TField& field, std::string_view text)
{
    const cht::wire::Value v = field.value();
    const auto* s = std::get_if<std::string>(&v);
    return s != nullptr ? *s == text : text.empty();
}

bool showsField(const TColumn& column, const char* name)
{
    return column.fieldName().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

bool TfrmCancelaCHT::isTickableRow(std::string_view operador) const
{
    return !storedTextIs(*cdsCancelaCHTIDSTATUSCHT, "R") &&
           storedTextIs(*cdsCancelaCHTCDGERENTEIMPCLI, operador);
}

// --- ticking and the client-OK flag ------------------------------------------------------------

void TfrmCancelaCHT::dbgPadraoCellClick(TColumn& column)
{
    if (showsField(column, "IDCHECK") && isTickableRow(Corvanta::Operador().toStdString())) {
        // A tick is a local edit: nothing goes to the server until the next save.
        suspendListReactions();
        const auto reattach = qScopeGuard([this] { reattachListReactions(); });
        cdsCancelaCHT.edit();
        const QString tick = cdsCancelaCHTIDCHECK->asString();
        if (tick == QLatin1String("N"))
            cdsCancelaCHTIDCHECK->setAsString(QStringLiteral("S"));
        else if (tick == QLatin1String("S"))
            cdsCancelaCHTIDCHECK->setAsString(QStringLiteral("N"));
        cdsCancelaCHT.post();
    }
    if (showsField(column, "IDCHTPGTOOK")) {
        if (cdsCancelaCHT.state() != DataSetState::Edit)
            cdsCancelaCHT.edit();
        const bool ok = cdsCancelaCHTIDCHTPGTOOK->asString() == QLatin1String("S");
        cdsCancelaCHTIDCHTPGTOOK->setAsString(ok ? QStringLiteral("N") : QStringLiteral("S"));
        cdsCancelaCHT.post(); // the after-post reaction saves it at once
    }
}

void TfrmCancelaCHT::dbgPadraoTitleClick(TColumn& column)
{
    const CursorGuard hourglass;
    if (!showsField(column, "IDCHECK"))
        return;
    const std::string operador = Corvanta::Operador().toStdString();
    const cht::wire::Value tick = std::string(Cli_cot09800::boTodosServ ? "N" : "S");
    {
        // The walk restores reactions, controls and cursor even when a row refuses its edit.
        RowWalk walk(*this);
        walk.visit([&] {
            if (!isTickableRow(operador))
                return;
            cdsCancelaCHT.edit();
            cdsCancelaCHTIDCHECK->setValue(tick);
            cdsCancelaCHT.post();
        });
    }
    Cli_cot09800::boTodosServ = !Cli_cot09800::boTodosServ;
}

void TfrmCancelaCHT::dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift)
{
    TfrmPadraoGrid::dbgPadraoKeyDown(sender, key, shift);
    if (key != Qt::Key_Space)
        return;
    // The key goes on to the grid afterwards: it is read, not consumed.
    TColumn* column = dbgPadrao->selectedColumn();
    if (column == nullptr)
        return;
    if (showsField(*column, "IDCHECK")) {
        if (shift.testFlag(Qt::ControlModifier))
            dbgPadraoTitleClick(*column);
        else
            dbgPadraoCellClick(*column);
    }
    if (showsField(*column, "IDCHTPGTOOK"))
        dbgPadraoCellClick(*column);
}

// --- the signed flag: editing only in its column, posted when the column is left --------------

void TfrmCancelaCHT::dbgPadraoColEnter(QObject*)
{
    const TColumn* column = dbgPadrao->selectedColumn();
    dbgPadrao->setOption(cht::platform::dgEditing,
                         column != nullptr && showsField(*column, "IDCHTASSINADA"));
}

void TfrmCancelaCHT::dbgPadraoColExit(QObject*)
{
    if (!cdsCancelaCHT.active() || cdsCancelaCHT.isEmpty())
        return;
    // Values, not display texts: choosing "Não" again on a row loaded with "N" posts nothing.
    const bool assinadaChanged =
        cdsCancelaCHTIDCHTASSINADA->asString() != cdsCancelaCHTIDCHTASSINADA->oldValueAsString();
    const bool clienteOkChanged =
        cdsCancelaCHTIDCHTPGTOOK->asString() != cdsCancelaCHTIDCHTPGTOOK->oldValueAsString();
    if ((assinadaChanged || clienteOkChanged) && cdsCancelaCHT.state() == DataSetState::Edit)
        cdsCancelaCHT.post();
}

// --- saving the change log ---------------------------------------------------------------------

void TfrmCancelaCHT::saveChangeLog()
{
    if (cdsCancelaCHT.changeCount() <= 0)
        return;
    {
        const cht::framework::AviGuard wait(Application::MainForm(), 1);
        CheckResultServ(netCancelaCHT.AppServer().Call(QStringLiteral("SetCHT"),
                                                       {TRemoteArg::Delta(cdsCancelaCHT.delta())}),
                        true, 0);
    }
    // Only what the server took leaves the log: a refused save goes again with the next one.
    cdsCancelaCHT.mergeChangeLog();
}

void TfrmCancelaCHT::cdsCancelaCHTAfterPost(TClientDataSet&)
{
    saveChangeLog();
}

void TfrmCancelaCHT::cdsCancelaCHTAfterCancel(TClientDataSet&)
{
    saveChangeLog();
}

// --- painting ----------------------------------------------------------------------------------

void TfrmCancelaCHT::dbgPadraoDrawColumnCell(TDBGrid& sender, const QRect& rect, int,
                                             TColumn& column, TGridDrawState)
{
    const QString field = column.fieldName().toUpper();
    const QImage* picture = nullptr;
    int offset = 1;
    if (field == QLatin1String("IDCHECK")) {
        const QString tick = cdsCancelaCHTIDCHECK->asString();
        if (!isTickableRow(Corvanta::Operador().toStdString()))
            picture = &m_picUnCheck;
        else if (tick == QLatin1String("N"))
            picture = &m_picNoCheck;
        else if (tick == QLatin1String("S"))
            picture = &m_picCheck;
    } else if (field == QLatin1String("IDSTATUSCHT")) {
        const QString status = cdsCancelaCHTIDSTATUSCHT->asString();
        if (status == QLatin1String("P"))
            picture = &m_picAmarelo;
        else if (status == QLatin1String("A"))
            picture = &m_picAzul;
        else if (status == QLatin1String("R"))
            picture = &m_picVerde;
        else if (status == QLatin1String("N"))
            picture = &m_picCinza;
    } else if (field == QLatin1String("IDCDAOK")) {
        offset = 20;
        const QString ok = cdsCancelaCHTIDCDAOK->asString();
        if (ok == QLatin1String("S"))
            picture = &m_picOk;
        else if (ok == QLatin1String("N"))
            picture = &m_picNOk;
    } else if (field == QLatin1String("IDCHTPGTOOK")) {
        offset = 20;
        picture = cdsCancelaCHTIDCHTPGTOOK->asString() == QLatin1String("S") ? &m_picCheck
                                                                             : &m_picNoCheck;
    } else {
        return;
    }
    cht::platform::TCanvas& canvas = sender.canvas();
    canvas.fillRect(rect);
    if (picture == nullptr)
        return;
    // Unscaled, cut at the bottom when the row is lower than the picture.
    const QRect dest(rect.left() + offset, rect.top(), picture->width(), rect.height());
    canvas.drawBitmapKeyed(dest, *picture, QRect(0, 0, picture->width(), rect.height()));
}
