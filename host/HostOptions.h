// What the host is told on its command line, and the session it logs in with.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace cht::host {

/// The values of a login: who works and where the server and the database are.
struct LoginValues {
    QString operador;
    QString server;
    int port = 0;
    QString database;
};

struct HostOptions {
    /// Defaults of a fresh install, before anything is remembered.
    static constexpr const char* kDefaultServer = "127.0.0.1";
    static constexpr int kDefaultPort = 8080;

    /// Values given on the command line; empty (0 for the port) where not given.
    LoginValues given;
    /// The module file (--module); empty for the default next to the executable.
    QString modulePath;
    /// The authorities an HTTPS server's certificate must chain to (--ca, a PEM file); empty: the
    /// system's.
    QString caFile;
    /// Opens "Gerenciamento de CHT" as soon as the main window is up (--open).
    bool openModule = false;
    /// Saves a picture of the host's windows to this PNG file and quits (--screenshot).
    QString screenshotPath;
    /// Milliseconds to wait before the picture is taken (--screenshot-delay).
    int screenshotDelayMs = 1500;
    /// The unattended demo run (--smoke). Parsed here; the run itself is not in this host yet.
    bool smoke = false;

    /// The login dialog is skipped when the operator comes on the command line.
    bool skipsLogin() const { return !given.operador.isEmpty(); }

    /// Parses the arguments (the program name first). Returns nothing and sets `error` (in
    /// Portuguese) for an unknown option or a bad value; sets `helpText` and returns nothing for
    /// --help. A server given as a URL ("https://name:port") keeps its scheme in `given.server`
    /// and gives its port to `given.port`.
    static std::optional<HostOptions> parse(const QStringList& arguments, QString* error,
                                            QString* helpText = nullptr);
};

} // namespace cht::host
