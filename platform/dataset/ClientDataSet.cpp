#include "platform/dataset/ClientDataSet.h"

#include "platform/dataset/ChangeLog.h"
#include "platform/dataset/DataSetText.h"
#include "platform/dataset/DataSource.h"
#include "platform/dataset/PacketLoading.h"

#include <algorithm>
#include <numeric>

namespace cht::platform {

// The edit buffer and the change log; the rows themselves are the table.
struct TClientDataSet::Impl {
    // Edit buffer: the fields written since edit() or append(), by field index.
    std::vector<wire::Value> buffer;
    std::vector<std::uint8_t> written;
    std::vector<std::uint32_t> writtenList; // the same fields, in order of first write
    bool modified = false;
    int currentBeforeInsert = -1;
    bool eofBeforeInsert = true, bofBeforeInsert = true;

    // m_order is in use (after the first delete); otherwise record index == storage row.
    bool ordered = false;
    bool dynamicFields = false;
    bool pendingRefresh = false;

    ChangeLog log;

    // Clears only what was written, so that an edit of one field of a wide row stays cheap.
    void resetBuffer(std::size_t fields)
    {
        if (buffer.size() != fields) {
            buffer.assign(fields, wire::Value{});
            written.assign(fields, 0);
        } else {
            for (std::uint32_t i : writtenList) {
                buffer[i] = wire::Value{};
                written[i] = 0;
            }
        }
        writtenList.clear();
        modified = false;
    }

    void write(std::size_t field, wire::Value v)
    {
        buffer[field] = std::move(v);
        if (!written[field]) {
            written[field] = 1;
            writtenList.push_back(static_cast<std::uint32_t>(field));
        }
        modified = true;
    }
};

TClientDataSet::TClientDataSet(QString name)
    : m_name(std::move(name)), m_impl(std::make_unique<Impl>())
{}

TClientDataSet::~TClientDataSet()
{
    const auto sources = m_sources;
    for (TDataSource* s : sources)
        s->dataSetDestroyed();
}

// --- fields -------------------------------------------------------------------------------------

TField& TClientDataSet::addField(const QString& name, wire::FieldType type, int size)
{
    if (active())
        throw DataSetError(
            dataset_text::msg(
                "Não é possível definir o campo %1: o conjunto de dados %2 está aberto.")
                .arg(name, m_name)
                .toStdString());
    if (name.trimmed().isEmpty())
        throw DataSetError(dataset_text::msg("O nome do campo não pode ser vazio.").toStdString());
    if (findField(name))
        throw DataSetError(dataset_text::msg("O campo %1 já existe no conjunto de dados %2.")
                               .arg(name, m_name)
                               .toStdString());
    if (size < 0 || (type != wire::FieldType::Text && size != 0))
        size = 0;
    m_impl->dynamicFields = false;
    m_fields.push_back(
        std::make_unique<TField>(*this, static_cast<int>(m_fields.size()), name, type, size));
    if (m_impl->written.size() < m_fields.size())
        m_impl->resetBuffer(m_fields.size());
    return *m_fields.back();
}

TField* TClientDataSet::findField(const QString& name) const
{
    // Row walks look fields up by name on every row: try the exact spelling first.
    for (const auto& f : m_fields)
        if (f->fieldName() == name)
            return f.get();
    for (const auto& f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField& TClientDataSet::fieldByName(const QString& name) const
{
    if (TField* f = findField(name))
        return *f;
    throw DataSetError(dataset_text::msg("O campo %1 não existe no conjunto de dados %2.")
                           .arg(name, m_name)
                           .toStdString());
}

int TClientDataSet::fieldCount() const
{
    return static_cast<int>(m_fields.size());
}

TField& TClientDataSet::field(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw DataSetError(dataset_text::msg("Índice de campo %1 fora do intervalo em %2.")
                               .arg(index)
                               .arg(m_name)
                               .toStdString());
    return *m_fields[static_cast<std::size_t>(index)];
}

std::vector<wire::FieldDef> TClientDataSet::fieldDefs() const
{
    std::vector<wire::FieldDef> defs;
    defs.reserve(m_fields.size());
    for (const auto& f : m_fields)
        defs.push_back(
            {f->fieldName().toStdString(), f->dataType(), static_cast<std::uint32_t>(f->size())});
    return defs;
}

// --- opening and loading ------------------------------------------------------------------------

void TClientDataSet::openRows()
{
    if (beforeOpen)
        beforeOpen(*this);
    const int rows = rowsInOrder();
    m_current = rows > 0 ? 0 : -1;
    m_bof = true;
    m_eof = rows == 0;
    m_impl->resetBuffer(m_fields.size());
    setState(DataSetState::Browse);
    notifyDataChanged();
    if (afterOpen)
        afterOpen(*this);
    if (afterScroll)
        afterScroll(*this);
}

void TClientDataSet::resetRows(wire::ColumnTable table)
{
    m_table = std::move(table);
    m_order = std::vector<std::uint32_t>(); // not `= {}`, which keeps the storage
    m_impl->ordered = false;
    m_impl->log.reset();
    m_current = -1;
    m_eof = m_bof = true;
}

void TClientDataSet::open()
{
    if (active())
        return;
    if (m_fields.empty())
        throw DataSetError(dataset_text::msg("O conjunto de dados %1 não tem campos definidos.")
                               .arg(m_name)
                               .toStdString());
    resetRows(wire::ColumnTable(fieldDefs()));
    openRows();
}

void TClientDataSet::close()
{
    if (!active())
        return;
    discardEdit();
    resetRows(wire::ColumnTable(fieldDefs()));
    setState(DataSetState::Inactive);
    notifyDataChanged();
}

void TClientDataSet::loadFromPacket(std::string_view json)
{
    loadFromPacket(wire::decodeDataPacket(json));
}

void TClientDataSet::loadFromPacket(wire::ColumnTable packet)
{
    const bool dynamic = m_fields.empty() || m_impl->dynamicFields;
    // A packet that does not fit throws here, before anything changes.
    wire::ColumnTable table =
        dynamic ? std::move(packet) : fitPacketToFields(packet, m_fields, m_name);

    discardEdit();
    setState(DataSetState::Inactive);
    if (dynamic) {
        if (!fieldsMatch(m_fields, table.fields())) {
            m_fields.clear();
            for (const auto& d : table.fields())
                addField(QString::fromStdString(d.name), d.type, static_cast<int>(d.size));
        }
        m_impl->dynamicFields = true;
    }
    resetRows(std::move(table));
    openRows();
}

std::string TClientDataSet::dataPacket() const
{
    if (!m_impl->ordered)
        return wire::encodeDataPacket(m_table);
    std::vector<std::size_t> rows(m_order.begin(), m_order.end());
    return wire::encodeDataPacket(m_table, rows);
}

void TClientDataSet::emptyDataSet()
{
    checkActive("esvaziar");
    discardEdit();
    setState(DataSetState::Browse);
    resetRows(wire::ColumnTable(fieldDefs()));
    notifyDataChanged();
}

// --- cursor -------------------------------------------------------------------------------------

int TClientDataSet::rowsInOrder() const
{
    return static_cast<int>(m_impl->ordered ? m_order.size() : m_table.rowCount());
}

std::size_t TClientDataSet::storageOf(int index) const
{
    return m_impl->ordered ? m_order[static_cast<std::size_t>(index)]
                           : static_cast<std::size_t>(index);
}

void TClientDataSet::scrolledTo(int index, bool fireScroll)
{
    m_current = index;
    notifyScrolled();
    if (fireScroll && afterScroll)
        afterScroll(*this);
}

void TClientDataSet::first()
{
    checkActive("mover para o primeiro registro");
    checkBrowseMode();
    const bool empty = rowsInOrder() == 0;
    m_bof = true;
    m_eof = empty;
    scrolledTo(empty ? -1 : 0, true);
}

void TClientDataSet::last()
{
    checkActive("mover para o último registro");
    checkBrowseMode();
    const int n = rowsInOrder();
    m_eof = true;
    m_bof = n == 0;
    scrolledTo(n - 1, true);
}

void TClientDataSet::next()
{
    checkActive("mover para o próximo registro");
    checkBrowseMode();
    const int n = rowsInOrder();
    if (m_current >= n - 1) {
        m_eof = true;
        m_bof = n == 0;
        return;
    }
    m_bof = m_eof = false;
    scrolledTo(m_current + 1, true);
}

void TClientDataSet::prior()
{
    checkActive("mover para o registro anterior");
    checkBrowseMode();
    const int n = rowsInOrder();
    if (m_current <= 0) {
        m_bof = true;
        m_eof = n == 0;
        return;
    }
    m_bof = m_eof = false;
    scrolledTo(m_current - 1, true);
}

void TClientDataSet::setRecNo(int recNo)
{
    checkActive("mover para o registro");
    checkBrowseMode();
    const int n = rowsInOrder();
    if (n == 0)
        return;
    const int index = std::clamp(recNo, 1, n) - 1;
    if (index == m_current)
        return;
    m_bof = m_eof = false;
    scrolledTo(index, true);
}

int TClientDataSet::recNo() const
{
    if (m_state == DataSetState::Insert || m_current < 0)
        return 0;
    return m_current + 1;
}

int TClientDataSet::recordCount() const
{
    return active() ? rowsInOrder() : 0;
}

bool TClientDataSet::isEmpty() const
{
    return recordCount() == 0 && m_state != DataSetState::Insert;
}

// --- states -------------------------------------------------------------------------------------

bool TClientDataSet::modified() const
{
    return (m_state == DataSetState::Edit || m_state == DataSetState::Insert) && m_impl->modified;
}

void TClientDataSet::checkBrowseMode()
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    if (m_impl->modified)
        post();
    else
        cancel();
}

void TClientDataSet::edit()
{
    checkActive("editar");
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (m_current < 0 || rowsInOrder() == 0)
        throw DataSetError(
            dataset_text::msg("Não é possível editar: o conjunto de dados %1 está vazio.")
                .arg(m_name)
                .toStdString());
    m_impl->resetBuffer(m_fields.size());
    setState(DataSetState::Edit);
}

void TClientDataSet::append()
{
    checkActive("incluir");
    checkBrowseMode();
    m_impl->currentBeforeInsert = m_current;
    m_impl->eofBeforeInsert = m_eof;
    m_impl->bofBeforeInsert = m_bof;
    m_impl->resetBuffer(m_fields.size());
    m_current = rowsInOrder();
    m_eof = m_bof = false;
    setState(DataSetState::Insert);
    notifyDataChanged();
    if (afterScroll)
        afterScroll(*this);
}

void TClientDataSet::post()
{
    checkActive("gravar");
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    if (beforePost)
        beforePost(*this);
    Impl& d = *m_impl;
    const std::size_t fields = m_fields.size();
    if (m_state == DataSetState::Edit) {
        const std::size_t row = storageOf(m_current);
        // A post that wrote nothing changes no row: nothing to log, nothing to send.
        if (logChanges && !d.writtenList.empty())
            d.log.logUpdate(m_table, row, d.writtenList);
        for (const std::uint32_t i : d.writtenList)
            m_table.setValue(row, i, d.buffer[i]);
    } else {
        const std::size_t row = m_table.appendRow();
        for (const std::uint32_t i : d.writtenList)
            m_table.setValue(row, i, d.buffer[i]);
        if (d.ordered)
            m_order.push_back(static_cast<std::uint32_t>(row));
        m_current = rowsInOrder() - 1;
        if (logChanges)
            d.log.logInsert(m_table, row);
    }
    d.resetBuffer(fields);
    setState(DataSetState::Browse);
    notifyRecordChanged();
    if (afterPost)
        afterPost(*this);
}

void TClientDataSet::cancel()
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    const bool wasInsert = m_state == DataSetState::Insert;
    m_impl->resetBuffer(m_fields.size());
    if (wasInsert) {
        m_current = m_impl->currentBeforeInsert;
        m_eof = m_impl->eofBeforeInsert;
        m_bof = m_impl->bofBeforeInsert;
    }
    setState(DataSetState::Browse);
    if (wasInsert)
        notifyDataChanged();
    else
        notifyRecordChanged();
    if (afterCancel)
        afterCancel(*this);
    if (wasInsert && afterScroll)
        afterScroll(*this);
}

void TClientDataSet::discardEdit()
{
    if (m_state == DataSetState::Insert) {
        m_current = m_impl->currentBeforeInsert;
        m_eof = m_impl->eofBeforeInsert;
        m_bof = m_impl->bofBeforeInsert;
    }
    m_impl->resetBuffer(m_fields.size());
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        setState(DataSetState::Browse);
}

void TClientDataSet::deleteRecord()
{
    checkActive("excluir");
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (m_current < 0 || rowsInOrder() == 0)
        throw DataSetError(
            dataset_text::msg("Não há registro para excluir em %1.").arg(m_name).toStdString());
    discardEdit();
    Impl& d = *m_impl;
    const std::size_t row = storageOf(m_current);
    if (logChanges)
        d.log.logDelete(m_table, row);
    if (!d.ordered) {
        m_order.resize(m_table.rowCount());
        std::iota(m_order.begin(), m_order.end(), 0u);
        d.ordered = true;
    }
    m_order.erase(m_order.begin() + m_current);
    const int n = rowsInOrder();
    if (n == 0) {
        m_current = -1;
        m_eof = m_bof = true;
    } else {
        m_current = std::min(m_current, n - 1);
        m_eof = m_bof = false;
    }
    notifyDataChanged();
    if (afterScroll)
        afterScroll(*this);
}

// --- change log ---------------------------------------------------------------------------------

int TClientDataSet::changeCount() const
{
    return m_impl->log.count();
}

wire::DeltaPacket TClientDataSet::delta() const
{
    std::vector<std::size_t> keys;
    for (const auto& f : m_fields)
        if (f->inKey)
            keys.push_back(static_cast<std::size_t>(f->index()));
    return m_impl->log.delta(m_table, keys);
}

std::string TClientDataSet::deltaPacket() const
{
    return wire::encodeDeltaPacket(delta());
}

void TClientDataSet::mergeChangeLog()
{
    m_impl->log.merge();
}

// --- controls -----------------------------------------------------------------------------------

void TClientDataSet::disableControls()
{
    ++m_disableCount;
}

void TClientDataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    m_impl->pendingRefresh = false;
    const auto sources = m_sources;
    for (TDataSource* s : sources) {
        s->notifyDataSetChanged();
        s->notifyStateChanged();
    }
}

void TClientDataSet::setState(DataSetState s)
{
    if (s == m_state)
        return;
    m_state = s;
    notifyStateChanged();
}

void TClientDataSet::notifyDataChanged()
{
    if (controlsDisabled()) {
        m_impl->pendingRefresh = true;
        return;
    }
    const auto sources = m_sources;
    for (TDataSource* s : sources)
        s->notifyDataSetChanged();
}

void TClientDataSet::notifyRecordChanged()
{
    if (controlsDisabled()) {
        m_impl->pendingRefresh = true;
        return;
    }
    const auto sources = m_sources;
    for (TDataSource* s : sources)
        s->notifyRecordChanged();
}

void TClientDataSet::notifyScrolled()
{
    if (controlsDisabled()) {
        m_impl->pendingRefresh = true;
        return;
    }
    const auto sources = m_sources;
    for (TDataSource* s : sources)
        s->notifyScrolled();
}

void TClientDataSet::notifyStateChanged()
{
    if (controlsDisabled())
        return;
    const auto sources = m_sources;
    for (TDataSource* s : sources)
        s->notifyStateChanged();
}

void TClientDataSet::attach(TDataSource* source)
{
    if (source && std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end())
        m_sources.push_back(source);
}

void TClientDataSet::detach(TDataSource* source)
{
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
}

// --- cells --------------------------------------------------------------------------------------

void TClientDataSet::checkActive(const char* what) const
{
    if (!active())
        throw DataSetError(
            dataset_text::msg("Não é possível %1: o conjunto de dados %2 está fechado.")
                .arg(QString::fromUtf8(what), m_name)
                .toStdString());
}

std::size_t TClientDataSet::storageRow(int recNo) const
{
    if (!active() || recNo < 1 || recNo > rowsInOrder())
        throw DataSetError(dataset_text::msg("O registro %1 não existe em %2.")
                               .arg(recNo)
                               .arg(m_name)
                               .toStdString());
    return storageOf(recNo - 1);
}

wire::Value TClientDataSet::valueAt(int recNo, int fieldIndex) const
{
    field(fieldIndex);
    const auto fi = static_cast<std::size_t>(fieldIndex);
    const int index = recNo - 1;
    if ((m_state == DataSetState::Edit || m_state == DataSetState::Insert) && index == m_current) {
        if (m_impl->written[fi])
            return m_impl->buffer[fi];
        if (m_state == DataSetState::Insert)
            return {};
    }
    if (!active() || index < 0 || index >= rowsInOrder())
        return {};
    return m_table.value(storageOf(index), fi);
}

wire::Value TClientDataSet::currentValue(int fieldIndex) const
{
    return valueAt(m_activeRecord > 0 ? m_activeRecord : m_current + 1, fieldIndex);
}

wire::Value TClientDataSet::oldValue(int fieldIndex) const
{
    return oldValueAt(m_activeRecord > 0 ? m_activeRecord : m_current + 1, fieldIndex);
}

wire::Value TClientDataSet::oldValueAt(int recNo, int fieldIndex) const
{
    field(fieldIndex);
    const int index = recNo - 1;
    if (!active() || index < 0 || index >= rowsInOrder())
        return {};
    return m_impl->log.savedValue(m_table, storageOf(index), static_cast<std::size_t>(fieldIndex));
}

void TClientDataSet::setCurrentValue(int fieldIndex, const wire::Value& v)
{
    TField& f = field(fieldIndex);
    // Row walks write a field on every row: the message is built only when it is thrown.
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DataSetError(dataset_text::msg("Não é possível alterar o campo %1: o conjunto de "
                                             "dados %2 não está em edição nem em inclusão.")
                               .arg(f.fieldName(), m_name)
                               .toStdString());
    const auto fi = static_cast<std::size_t>(fieldIndex);
    m_impl->write(fi, dataset_text::coerce(f, v));
    notifyRecordChanged();
}

std::size_t TClientDataSet::memoryBytes() const
{
    const Impl& d = *m_impl;
    return m_table.memoryBytes() + m_order.capacity() * sizeof(std::uint32_t) +
           d.log.memoryBytes() + d.buffer.capacity() * sizeof(wire::Value);
}

} // namespace cht::platform
