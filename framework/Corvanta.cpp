#include "module/contracts/Corvanta.h"

namespace Corvanta {

namespace {

struct Session {
    QString operador;
    QString webUrl;
    int webPort = 0;
};

Session& session()
{
    static Session s;
    return s;
}

} // namespace

QString Operador()
{
    return session().operador;
}

QString WebURL()
{
    return session().webUrl;
}

int WebPort()
{
    return session().webPort;
}

void SetSession(const QString& operador, const QString& webUrl, int webPort)
{
    session() = Session{operador, webUrl, webPort};
}

} // namespace Corvanta
