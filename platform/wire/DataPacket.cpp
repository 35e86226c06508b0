#include "DataPacket.h"

#include "JsonInput.h"
#include "JsonOutput.h"
#include "PacketDecoder.h"
#include "PacketEncoder.h"

#include <memory>

namespace cht::wire {

ColumnTable decodeDataPacket(std::string_view json)
{
    JsonInput input(json, kDataPrefix);
    ondemand::object root = input.rootObject("o pacote deve ser um objeto JSON");
    PacketDecoder decoder(kDataPrefix, &input);
    PacketDecoder::Packet packet = decoder.packet(root, PacketDecoder::Expect::Data);
    input.expectEnd();
    return std::move(packet.table);
}

std::string encodeDataPacket(const ColumnTable& table)
{
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeDataPacket(w, table, nullptr);
    out.finish();
    return json;
}

std::string encodeDataPacket(const ColumnTable& table, const std::vector<std::size_t>& rows)
{
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeDataPacket(w, table, &rows);
    out.finish();
    return json;
}

} // namespace cht::wire
