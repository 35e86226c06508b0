#include "PacketWriter.h"

#include "JsonOutput.h"
#include "Messages.h"
#include "Utf8.h"
#include "WireError.h"

namespace cht::wire {

namespace {
constexpr std::string_view kWriterPrefix = "Não foi possível escrever o pacote de dados: ";
} // namespace

struct PacketWriter::Impl {
    enum class State { Idle, Open, InRow, Done };
    Impl(std::string& s, std::vector<std::string>* a) : out(s), writer(out), apart(a) {}
    StringOut out;
    JsonWriter writer;
    std::vector<std::string>* apart;
    // Bytes of the texts finished before the one being written, and whether that one is a text
    // of the writer's own, at the end of `apart`.
    std::size_t before = 0;
    bool inApart = false;
    std::vector<FieldDef> fields;
    std::size_t col = 0;
    std::size_t row = 0;
    State state = State::Idle;
    bool rowsOnly = false;

    [[noreturn]] void misuse(const char* what) const
    {
        throw WireError(std::string(kWriterPrefix) + what + ".");
    }
    const FieldDef& nextField()
    {
        if (state != State::InRow)
            misuse("valor fora de uma linha");
        if (col >= fields.size())
            throw WireError(std::string(kWriterPrefix) + "a linha " + std::to_string(row + 1) +
                            " tem mais valores que " + fieldCount(fields.size()) + ".");
        return fields[col];
    }
    Place place() const { return Place{"da linha ", row}; }
    // The rows of a finished block ("[row\n,...row\n]" holding rowCount rows), checked.
    std::string_view rowsOf(std::string_view block, std::size_t rowCount) const
    {
        if (state != State::Open)
            misuse("bloco de linhas fora do pacote ou dentro de uma linha");
        if (block.size() < 2 || block.front() != '[' || block.back() != ']')
            misuse("bloco de linhas mal formado");
        const std::string_view rows = block.substr(1, block.size() - 2);
        // Rows are arrays, each ending its line: a block that is not so did not come from
        // beginRows.
        if (!rows.empty() && (rows.front() != '[' || !rows.ends_with("]\n")))
            misuse("bloco de linhas mal formado");
        if (rows.empty() != (rowCount == 0))
            misuse("bloco de linhas com contagem errada");
        return rows;
    }
};

PacketWriter::PacketWriter(std::string& out, std::vector<std::string>* apart)
    : m_impl(new Impl(out, apart))
{}

PacketWriter::~PacketWriter()
{
    delete m_impl;
}

void PacketWriter::begin(const std::vector<FieldDef>& fields)
{
    Impl& d = *m_impl;
    if (d.state != Impl::State::Idle)
        d.misuse("begin chamado duas vezes");
    d.writer.StartObject();
    d.writer.Key("fields", 6);
    writeFields(d.writer, fields, kWriterPrefix);
    d.writer.Key("rows", 4);
    d.writer.StartArray();
    // Each row on a line of its own ("[\n" row "\n," row "\n]"): no text of JSON holds a line
    // break, so a reader may split a long list at them and read its pieces side by side.
    d.out.Put('\n');
    d.fields = fields;
    d.state = Impl::State::Open;
}

void PacketWriter::beginRows(const std::vector<FieldDef>& fields)
{
    Impl& d = *m_impl;
    if (d.state != Impl::State::Idle)
        d.misuse("begin chamado duas vezes");
    // Checked here as begin() checks them, so that a block never holds rows of bad fields.
    std::string scratch;
    StringOut scratchOut(scratch);
    JsonWriter scratchWriter(scratchOut);
    writeFields(scratchWriter, fields, kWriterPrefix);
    d.writer.StartArray();
    d.fields = fields;
    d.rowsOnly = true;
    d.state = Impl::State::Open;
}

void PacketWriter::appendRows(std::string_view block, std::size_t rowCount)
{
    Impl& d = *m_impl;
    const std::string_view rows = d.rowsOf(block, rowCount);
    if (rows.empty())
        return;
    d.writer.RawValue("", 0, rapidjson::kArrayType); // the separator and the writer's bookkeeping
    d.writer.stream().append(rows);
    d.row += rowCount;
}

void PacketWriter::takeRows(std::string&& block, std::size_t rowCount)
{
    Impl& d = *m_impl;
    if (!d.apart) {
        appendRows(std::string_view(block), rowCount);
        return;
    }
    if (d.rowsOf(block, rowCount).empty())
        return;
    d.writer.RawValue("", 0, rapidjson::kArrayType);
    // What comes before the block's rows (the separator, or the rows' own '[') takes the place
    // of the block's '['; its ']' goes. The rows stay where they were written.
    block.front() = d.out.unput();
    block.pop_back();
    d.out.finish();
    d.before += d.out.used();
    std::vector<std::string>& apart = *d.apart;
    // A text of the writer's own that the separator was all of is left out.
    if (d.inApart && d.out.used() == 0)
        apart.pop_back();
    d.before += block.size();
    apart.push_back(std::move(block));
    apart.emplace_back();
    d.out.switchTo(apart.back());
    d.inApart = true;
    d.row += rowCount;
}

bool PacketWriter::keepsBlocksApart() const
{
    return m_impl->apart != nullptr;
}

void PacketWriter::reserve(std::size_t bytes)
{
    m_impl->out.reserveTotal(bytes);
}

std::size_t PacketWriter::size() const
{
    return m_impl->before + m_impl->out.used();
}

void PacketWriter::beginRow()
{
    Impl& d = *m_impl;
    if (d.state != Impl::State::Open)
        d.misuse("linha começada fora do pacote ou dentro de outra linha");
    d.writer.StartArray();
    d.col = 0;
    d.state = Impl::State::InRow;
}

void PacketWriter::null()
{
    m_impl->nextField();
    m_impl->writer.Null();
    ++m_impl->col;
}

void PacketWriter::text(std::string_view utf8)
{
    Impl& d = *m_impl;
    const FieldDef& f = d.nextField();
    if (f.type != FieldType::Text)
        throw WireError(std::string(kWriterPrefix) + "campo \"" + f.name + "\" " +
                        d.place().text() + " não é de texto.");
    if (!isValidUtf8(utf8))
        throw WireError(std::string(kWriterPrefix) + "campo \"" + f.name + "\" " +
                        d.place().text() + " tem UTF-8 inválido.");
    writeString(d.writer, f.size ? cutToChars(utf8, f.size) : utf8);
    ++d.col;
}

void PacketWriter::number(double v)
{
    Impl& d = *m_impl;
    writeValue(d.writer, d.nextField(), Value{v}, kWriterPrefix, d.place());
    ++d.col;
}

void PacketWriter::integer(std::int64_t v)
{
    Impl& d = *m_impl;
    writeValue(d.writer, d.nextField(), Value{v}, kWriterPrefix, d.place());
    ++d.col;
}

void PacketWriter::value(const Value& v)
{
    Impl& d = *m_impl;
    if (const auto* s = std::get_if<std::string>(&v)) {
        text(*s);
        return;
    }
    writeValue(d.writer, d.nextField(), v, kWriterPrefix, d.place());
    ++d.col;
}

void PacketWriter::endRow()
{
    Impl& d = *m_impl;
    if (d.state != Impl::State::InRow)
        d.misuse("fim de linha sem linha começada");
    if (d.col != d.fields.size())
        throw WireError(std::string(kWriterPrefix) + "a linha " + std::to_string(d.row + 1) +
                        " tem " + valueCount(d.col) + ", mas o pacote tem " +
                        fieldCount(d.fields.size()) + ".");
    d.writer.EndArray();
    d.out.Put('\n');
    ++d.row;
    d.state = Impl::State::Open;
}

void PacketWriter::end()
{
    Impl& d = *m_impl;
    if (d.state != Impl::State::Open)
        d.misuse("fim do pacote sem begin ou com uma linha aberta");
    d.writer.EndArray();
    if (!d.rowsOnly)
        d.writer.EndObject();
    d.out.finish();
    d.state = Impl::State::Done;
}

} // namespace cht::wire
