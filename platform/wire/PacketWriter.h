// Streaming writer of data packets.
#pragma once

#include "FieldDef.h"
#include "cht_wire_export.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cht::wire {

/// Streaming writer of a data packet for producers that do not hold a table (the server writes
/// query results straight to the reply with it). Appends to `out`. Each row must carry one value
/// per field, of the field's kind; anything else throws WireError. Each row ends its own line
/// ("rows":[\n row\n, row\n]), so that a reader can split a long list and read it in pieces.
///
/// Given `apart`, blocks of rows are spliced by keeping their texts: the packet is then `out`
/// followed by the texts that the writer adds to `apart` (which outlives the writer), in order, to
/// be sent one after another without being joined.
class CHT_WIRE_EXPORT PacketWriter {
public:
    explicit PacketWriter(std::string& out, std::vector<std::string>* apart = nullptr);
    ~PacketWriter();
    PacketWriter(const PacketWriter&) = delete;
    PacketWriter& operator=(const PacketWriter&) = delete;

    void begin(const std::vector<FieldDef>& fields);
    /// Starts a block of rows alone ("[row\n,row\n]") for a packet of these fields: rows written
    /// apart, on another thread say, and spliced into the packet in order with appendRows or
    /// takeRows. end() closes the block.
    void beginRows(const std::vector<FieldDef>& fields);
    /// Splices a finished block (what a beginRows writer wrote, holding `rowCount` rows) after
    /// the rows written so far.
    void appendRows(std::string_view block, std::size_t rowCount);
    /// The same, taking the block's text: a writer with `apart` keeps it there as it lies (two
    /// bytes of it changed), and goes on writing after it into a text of its own.
    void takeRows(std::string&& block, std::size_t rowCount);
    /// Whether spliced blocks are kept apart instead of copied.
    bool keepsBlocksApart() const;
    /// Room for `bytes` of packet in all (what was written included), made before it is needed:
    /// a long text is then neither moved nor zero-filled ahead while it grows. Bytes unused cost
    /// address space only.
    void reserve(std::size_t bytes);
    /// Bytes of packet written so far (blocks kept apart included).
    std::size_t size() const;
    void beginRow();
    void null();
    void text(std::string_view utf8);
    void number(double v);
    void integer(std::int64_t v);
    void value(const Value& v);
    void endRow();
    void end();

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace cht::wire
