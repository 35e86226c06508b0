// Where the application server is: its name, its port and whether it speaks HTTPS, as the host's
// login and command line give it ("name", "http://name:port", "https://name:port").
#pragma once

#include "cht_framework_export.h"

#include <QString>

#include <optional>

namespace cht::framework {

struct CHT_FRAMEWORK_EXPORT ServerAddress {
    bool https = false;
    /// A name or an address, IPv6 without its brackets.
    QString host;
    int port = 0;

    /// "name", "name:port", "http://name[:port]" or "https://name[:port]" (a final "/" allowed);
    /// a port in the text wins over `port` (0 when neither gives one). Nothing for anything else
    /// (another scheme, a path, a user, a bad port), with the reason in Portuguese in *error.
    static std::optional<ServerAddress> parse(const QString& text, int port,
                                              QString* error = nullptr);

    /// "localhost" or an address of 127.0.0.0/8 or ::1: this machine, which nobody else can listen
    /// in on.
    bool loopback() const;
    /// What the host keeps as the server, its port apart: "https://name", or "name" for HTTP.
    QString server() const;
    /// For messages: "https://name:port" or "name:port".
    QString display() const;
};

} // namespace cht::framework
