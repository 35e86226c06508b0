#include "DeltaPacket.h"

#include "JsonInput.h"
#include "JsonOutput.h"
#include "PacketDecoder.h"
#include "PacketEncoder.h"

namespace cht::wire {

int DeltaPacket::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (sameFieldName(fields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

std::string encodeDeltaPacket(const DeltaPacket& delta)
{
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeDeltaPacket(w, delta);
    out.finish();
    return json;
}

DeltaPacket decodeDeltaPacket(std::string_view json)
{
    JsonInput input(json, kDeltaPrefix);
    ondemand::object root = input.rootObject("o pacote deve ser um objeto JSON");
    PacketDecoder decoder(kDeltaPrefix, nullptr);
    PacketDecoder::Packet packet = decoder.packet(root, PacketDecoder::Expect::Delta);
    input.expectEnd();
    return std::move(packet.delta);
}

} // namespace cht::wire
