// The unattended demo run (--smoke): open "Gerenciamento de CHT", confirm the filter's defaults,
// report how many CHTs the grid lists and where the picture of the host was saved, and quit.
#pragma once

#include <QString>

namespace cht::host {

class MainWindow;

/// Call before the QApplication exists: a smoke run draws on the offscreen platform unless the
/// environment chose one.
void prepareSmokePlatform(int argc, char** argv);

/// Schedules the run on the event loop. It ends the loop with 0 after printing "listed N CHTs"
/// and "screenshot: PATH" on stdout, or with 1 after a clear message on stderr. moduleError is
/// the loader's error text when the module did not load (empty when it did). screenshotPath
/// empty: a file in the temporary folder.
void startSmoke(MainWindow& window, const QString& moduleError, const QString& screenshotPath);

} // namespace cht::host
