#pragma once
// The application a benchmark runs in: offscreen unless a platform is named, and for benchmarks
// that open screens, the host's main window with its MDI area.
#include "module/contracts/Forms.h"

#include <QApplication>
#include <QMdiArea>

namespace cht::bench {

/// A QApplication on the offscreen platform unless QT_QPA_PLATFORM names another.
class BenchApp {
public:
    BenchApp(int& argc, char** argv) : m_app((preferOffscreen(), argc), argv) {}

private:
    static void preferOffscreen()
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication m_app;
};

/// BenchApp with the host's main form: an MDI area of 1100 x 700 that screens open in.
class BenchHost : public BenchApp {
public:
    BenchHost(int& argc, char** argv) : BenchApp(argc, argv)
    {
        m_area.resize(1100, 700);
        m_area.show();
        cht::framework::Application::SetMainForm(&m_area);
        cht::framework::Application::SetMdiArea(&m_area);
    }

private:
    QMdiArea m_area;
};

} // namespace cht::bench
