// The connection's Portuguese failure texts, in one place so that every transport words the same
// failure the same way.
#pragma once

#include "module/contracts/Forms.h"

#include <QString>

namespace cht::framework::net {

[[noreturn]] inline void raise(const QString& message)
{
    throw EServerError(message.toStdString());
}

inline QString cannotConnect(const QString& host, int port)
{
    return QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1:%2.")
        .arg(host)
        .arg(port);
}

/// Whole seconds when the timeout is a whole number of seconds, else with a decimal comma.
inline QString timedOut(int timeoutMs)
{
    const QString seconds = timeoutMs % 1000 == 0
                                ? QString::number(timeoutMs / 1000)
                                : QString::number(timeoutMs / 1000.0, 'g', 3).replace('.', ',');
    return QStringLiteral("O servidor não respondeu em %1 %2.")
        .arg(seconds, timeoutMs == 1000 ? QStringLiteral("segundo") : QStringLiteral("segundos"));
}

inline QString connectionLost(const QString& host, int port)
{
    return QStringLiteral("A conexão com o servidor de aplicação em %1:%2 foi interrompida.")
        .arg(host)
        .arg(port);
}

inline QString invalidReply(const QString& detail)
{
    return QStringLiteral("Resposta inválida do servidor: %1").arg(detail);
}

inline QString unknownMethod(const QString& method)
{
    return QStringLiteral("Método remoto desconhecido: %1.").arg(method);
}

} // namespace cht::framework::net
