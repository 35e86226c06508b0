#include "module/contracts/Forms.h"
#include "module/contracts/Netconnection.h"

#include <memory>
#include <utility>

namespace cht::framework {

TRemoteArg TRemoteArg::ByVal(const QString& text)
{
    TRemoteArg a;
    a.wire =
        std::make_shared<const cht::wire::RpcArg>(cht::wire::RpcArg::ofText(text.toStdString()));
    return a;
}

TRemoteArg TRemoteArg::ByRef(QString& text)
{
    TRemoteArg a = ByVal(text);
    a.textRef = &text;
    return a;
}

TRemoteArg TRemoteArg::ByRef(double& oleDateTime)
{
    TRemoteArg a;
    a.wire = std::make_shared<const cht::wire::RpcArg>(cht::wire::RpcArg::ofNumber(oleDateTime));
    a.numberRef = &oleDateTime;
    return a;
}

TRemoteArg TRemoteArg::Packet(std::string dataPacketJson)
{
    TRemoteArg a;
    try {
        a.wire = std::make_shared<const cht::wire::RpcArg>(
            cht::wire::RpcArg::ofData(cht::wire::decodeDataPacket(dataPacketJson)));
    } catch (const cht::wire::WireError& e) {
        throw EServerError(QStringLiteral("Pacote de dados inválido para envio ao servidor: %1")
                               .arg(QString::fromUtf8(e.what()))
                               .toStdString());
    }
    return a;
}

TRemoteArg TRemoteArg::Delta(cht::wire::DeltaPacket delta)
{
    TRemoteArg a;
    a.wire =
        std::make_shared<const cht::wire::RpcArg>(cht::wire::RpcArg::ofDelta(std::move(delta)));
    return a;
}

} // namespace cht::framework
