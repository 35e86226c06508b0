// The operator's session with the application server: signing in and out, the token every call
// carries, and signing in again when the server says the session is over. The module knows
// nothing of it; the host signs in before it loads the module.
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/Netconnection.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace cht::framework {

class CHT_FRAMEWORK_EXPORT ServerSession {
public:
    /// Who signed in, as the server knows them.
    struct Operator {
        QString code;
        QString name;
    };

    /// Signs in at host:port (through `transport`, the HTTP one when null) and keeps the token
    /// that every later call sends. Raises EServerError with the server's Portuguese message
    /// when refused or unreachable; the previous session, if any, stays. The password goes in
    /// clear text only to this machine: signing in over plain HTTP to any other address is
    /// refused before anything is sent.
    static Operator SignIn(const QString& host, int port, const QString& operador,
                           const QString& password,
                           std::shared_ptr<TNetTransport> transport = nullptr);
    /// Revokes the session on the server (failures are ignored: it expires anyway) and forgets
    /// the token.
    static void SignOut(const QString& host, int port);

    /// The token calls carry; empty before sign-in.
    static std::string Token();
    static void SetToken(std::string token);

    /// Asked when a call comes back saying the session is over: true when the operator signed in
    /// again, so that the call is repeated. Without one, the call fails.
    static void SetRenewal(std::function<bool()> renewal);
    static bool Renew();

    /// The certificates (a PEM file of authorities) an HTTPS server's certificate must chain to,
    /// instead of the system's; empty: the system's. Raises EServerError, and keeps the previous
    /// choice, when the file cannot be read or holds no certificate.
    static void SetTrustedCertificates(const QString& pemFile);
    static QString TrustedCertificates();
};

} // namespace cht::framework
