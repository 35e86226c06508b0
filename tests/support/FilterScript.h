// Drives the modal filter from a test: a script runs once the filter is up in its modal loop;
// and the host's side of a launch against a real cht-server.
#pragma once

#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Pkg_cot09800.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "tests/support/ServerProcess.h"

#include <QApplication>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace cht::testing {

/// Runs `script` once the filter is the active modal window; a script that leaves it open gets it
/// closed, so that a failing test never hangs.
inline void whenFilterShows(std::function<void(TfrmFiltroCancCHT&)> script)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, script] {
        TfrmFiltroCancCHT* f = Cli_cot09801::frmFiltroCancCHT;
        if (f == nullptr || !f->isVisible() || QApplication::activeModalWidget() != f)
            return;
        poll->stop();
        poll->deleteLater();
        script(*f);
        if (f->isVisible()) {
            ADD_FAILURE() << "the filter stayed open after the script";
            f->Close();
        }
    });
    poll->start();
}

/// The host's side of a launch against `server`: operator DEMO on its port, what the host's error
/// display shows collected in `errors`, the package initialized.
inline void connectHost(const ServerProcess& server, QStringList& errors)
{
    Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), server.port());
    cht::framework::Application::SetErrorDisplay([&errors](const QString& m) { errors << m; });
    Initialize();
}

/// Starts `server`, connects the host to it and launches the management screen, confirming the
/// filter as it comes up; the screen, or nullptr with what went wrong in `errors`.
inline TfrmCancelaCHT* launchOnServer(ServerProcess& server, QStringList& errors)
{
    if (!server.start()) {
        errors << server.error();
        return nullptr;
    }
    connectHost(server, errors);
    whenFilterShows([](TfrmFiltroCancCHT& f) { f.sbtConfirma->click(); });
    IniProc();
    return errors.isEmpty() ? Cli_cot09800::frmCancelaCHT : nullptr;
}

} // namespace cht::testing
