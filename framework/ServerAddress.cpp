#include "ServerAddress.h"

#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace cht::framework {

std::optional<ServerAddress> ServerAddress::parse(const QString& text, int port, QString* error)
{
    const QString trimmed = text.trimmed();
    auto refuse = [&](const QString& why) -> std::optional<ServerAddress> {
        if (error)
            *error = QStringLiteral("Endereço do servidor de aplicação inválido: \"%1\" (%2).")
                         .arg(trimmed, why);
        return std::nullopt;
    };
    if (trimmed.isEmpty())
        return refuse(QStringLiteral("vazio"));
    const bool hasScheme = trimmed.contains(QLatin1String("://"));
    const QUrl url(hasScheme ? trimmed : QStringLiteral("http://") + trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return refuse(QStringLiteral("use nome, nome:porta ou https://nome:porta"));
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return refuse(QStringLiteral("use http:// ou https://"));
    if (!url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment())
        return refuse(QStringLiteral("informe só o nome e a porta do servidor"));
    ServerAddress address;
    address.https = scheme == QLatin1String("https");
    address.host = url.host();
    const int inText = url.port(-1);
    address.port = inText >= 0 ? inText : port;
    if (inText == 0 || address.port < 0 || address.port > 65535)
        return refuse(QStringLiteral("a porta vai de 1 a 65535"));
    return address;
}

bool ServerAddress::loopback() const
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray ascii = host.toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, ascii.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, ascii.constData(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    return false;
}

QString ServerAddress::server() const
{
    const QString name = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return https ? QStringLiteral("https://") + name : name;
}

QString ServerAddress::display() const
{
    return QStringLiteral("%1:%2").arg(server()).arg(port);
}

} // namespace cht::framework
