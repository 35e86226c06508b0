#include "DeltaPacket.h"

#include "JsonInput.h"
#include "JsonOutput.h"
#include "PacketDecoder.h"
#include "PacketEncoder.h"
#include "WireError.h"

#include <utility>

namespace cht::wire {

DeltaPacket::DeltaPacket(std::vector<FieldDef> fields)
    : m_before(fields), m_after(std::move(fields))
{}

std::size_t DeltaPacket::add(ChangeOp op)
{
    m_before.appendRow();
    m_after.appendRow();
    m_ops.push_back(op);
    return m_ops.size() - 1;
}

std::size_t DeltaPacket::add(ChangeOp op, const std::vector<Value>& oldValues,
                             const std::vector<Value>& newValues)
{
    const std::size_t width = fields().size();
    const bool wantOld = op != ChangeOp::Insert;
    const bool wantNew = op != ChangeOp::Delete;
    if (oldValues.size() != (wantOld ? width : 0) || newValues.size() != (wantNew ? width : 0)) {
        throw WireError("Uma alteração deve ter um valor por campo em " +
                        std::string(op == ChangeOp::Update   ? "\"old\" e \"new\""
                                    : op == ChangeOp::Insert ? "\"new\" (e nada em \"old\")"
                                                             : "\"old\" (e nada em \"new\")") +
                        ".");
    }
    const std::size_t change = m_ops.size();
    m_before.appendRow();
    m_after.appendRow();
    try {
        for (std::size_t col = 0; col < oldValues.size(); ++col)
            m_before.setValue(change, col, oldValues[col]);
        for (std::size_t col = 0; col < newValues.size(); ++col)
            m_after.setValue(change, col, newValues[col]);
    } catch (...) {
        m_before.popRow();
        m_after.popRow();
        throw;
    }
    m_ops.push_back(op);
    return change;
}

void DeltaPacket::reserve(std::size_t changes)
{
    m_ops.reserve(changes);
    m_before.reserveRows(changes);
    m_after.reserveRows(changes);
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
