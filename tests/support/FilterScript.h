// Drives the modal filter from a test: a script runs once the filter is up in its modal loop.
#pragma once

#include "module/Cli_cot09801.h"

#include <QApplication>
#include <QObject>
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

} // namespace cht::testing
