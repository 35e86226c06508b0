#include "NetMessages.h"
#include "module/contracts/Consiste.h"
#include "module/contracts/Forms.h"

#include <utility>

namespace cht::framework {

TDataPacket CheckResultServ(TServerResult result, bool raise, int context)
{
    (void)context; // help context of the error box; the host has no help files
    if (result.ok)
        return result.data ? std::move(*result.data) : TDataPacket{};
    const QString message = result.failure.trimmed().isEmpty()
                                ? QStringLiteral("O servidor de aplicação recusou a operação.")
                                : result.failure;
    if (raise)
        net::raise(message);
    Application::ShowError(message);
    return TDataPacket{};
}

} // namespace cht::framework
