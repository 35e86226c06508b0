#include "framework/PickListModel.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/Field.h"

#include <array>
#include <unordered_set>

namespace cht::framework {

namespace {

// U+00C0 to U+00FF as the search reads them: the letter without its accent, or nothing for the
// two signs of the block.
constexpr std::array<const char*, 64> kLatin1Letters = {
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",  // C0
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "ss", // D0
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",  // E0
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y",  // F0
};

// ASCII as the search reads it: letters in lower case, digits, blanks as a space; 0 drops the
// character.
constexpr std::array<char, 128> asciiFolded()
{
    std::array<char, 128> t{};
    for (int c = 0; c < 128; ++c)
        if (c >= 'A' && c <= 'Z')
            t[static_cast<std::size_t>(c)] = static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            t[static_cast<std::size_t>(c)] = static_cast<char>(c);
        else if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            t[static_cast<std::size_t>(c)] = ' ';
    return t;
}
constexpr std::array<char, 128> kAsciiFolded = asciiFolded();

std::size_t sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

void appendSearchText(std::string_view utf8, std::string& out)
{
    // Each character becomes at most as many bytes as it had: the room is made once.
    const std::size_t from = out.size();
    out.resize(from + utf8.size());
    char* to = out.data() + from;
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            if (const char folded = kAsciiFolded[c])
                *to++ = folded;
            ++i;
            continue;
        }
        const std::size_t len = std::min(sequenceLength(c), n - i);
        if (c == 0xC3 && len == 2) {
            for (const char* l = kLatin1Letters[static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu];
                 *l != '\0'; ++l)
                *to++ = *l;
        } else if (c != 0xC2) {
            // Signs of U+0080 to U+00BF are punctuation; other scripts are kept as they are.
            for (std::size_t k = 0; k < len; ++k)
                *to++ = utf8[i + k];
        }
        i += len;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

PickListModel::PickListModel(cht::platform::TClientDataSet& dataSet, cht::platform::TField& key,
                             std::vector<cht::platform::TField*> shown, const QStringList& selected,
                             bool singleSelection, QObject* parent)
    : QAbstractTableModel(parent), m_ds(dataSet), m_key(key), m_shown(std::move(shown)),
      m_single(singleSelection), m_records(dataSet.active() ? dataSet.recordCount() : 0),
      m_ticked(static_cast<std::size_t>(m_records), 0)
{
    if (selected.isEmpty())
        return;
    std::vector<std::string> utf8;
    utf8.reserve(static_cast<std::size_t>(selected.size()));
    for (const QString& k : selected)
        utf8.push_back(k.toStdString());
    const std::unordered_set<std::string_view> wanted(utf8.begin(), utf8.end());
    std::string scratch;
    for (int r = 0; r < m_records && m_checkedCount < static_cast<int>(wanted.size()); ++r) {
        if (wanted.count(storedText(r, m_key, scratch)) == 0)
            continue;
        m_ticked[static_cast<std::size_t>(r)] = 1;
        ++m_checkedCount;
        if (m_single)
            break;
    }
}

PickListModel::~PickListModel() = default;

int PickListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_narrowed ? static_cast<int>(m_rows.size()) : m_records;
}

int PickListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size()) + 1;
}

int PickListModel::recordOf(int row) const
{
    return m_narrowed ? m_rows[static_cast<std::size_t>(row)] : row;
}

QVariant PickListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int record = recordOf(index.row());
    if (index.column() == 0) {
        if (role != Qt::CheckStateRole)
            return {};
        return m_ticked[static_cast<std::size_t>(record)] != 0 ? Qt::Checked : Qt::Unchecked;
    }
    if (role != Qt::DisplayRole)
        return {};
    cht::platform::TField* f = m_shown[static_cast<std::size_t>(index.column() - 1)];
    // Get-text hooks read the other fields of the row they format: the active record points
    // their reads at it without moving the cursor or telling any control.
    const int recNo = record + 1;
    const int saved = m_ds.activeRecord();
    m_ds.setActiveRecord(recNo == m_ds.recNo() ? 0 : recNo);
    QString text;
    try {
        text = f->displayText();
    } catch (...) {
        text.clear(); // a failing hook shows an empty cell, as the grid does
    }
    m_ds.setActiveRecord(saved);
    return text;
}

QVariant PickListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section <= 0 ||
        section > static_cast<int>(m_shown.size()))
        return {};
    return m_shown[static_cast<std::size_t>(section - 1)]->label();
}

Qt::ItemFlags PickListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

int PickListModel::columnChars(int column) const
{
    if (column <= 0 || column > static_cast<int>(m_shown.size()))
        return 2;
    return m_shown[static_cast<std::size_t>(column - 1)]->defaultDisplayWidth();
}

std::string_view PickListModel::storedText(int record, const cht::platform::TField& f,
                                           std::string& scratch) const
{
    // Text cells of a browsing set are read where they lie; anything else goes through the
    // field's formatting of the record's value.
    if (f.dataType() == cht::wire::FieldType::Text &&
        m_ds.state() == cht::platform::DataSetState::Browse)
        return m_ds.table().text(m_ds.storageRow(record + 1), static_cast<std::size_t>(f.index()));
    scratch = f.formatValue(m_ds.valueAt(record + 1, f.index())).toStdString();
    return scratch;
}

void PickListModel::buildSearchIndex()
{
    std::vector<const cht::platform::TField*> searched{&m_key};
    for (const cht::platform::TField* f : m_shown)
        if (f != &m_key)
            searched.push_back(f);
    m_searchStart.clear();
    m_searchStart.reserve(static_cast<std::size_t>(m_records) + 1);
    m_searchText.clear();
    std::string scratch;
    constexpr int kSample = 512;
    for (int r = 0; r < m_records; ++r) {
        // Room for every record at the size of the first ones, and a quarter more: a text of
        // megabytes is then not moved, and its pages not touched twice, as it grows.
        if (r == kSample)
            m_searchText.reserve(m_searchText.size() / kSample *
                                 static_cast<std::size_t>(m_records) * 5 / 4);
        m_searchStart.push_back(static_cast<std::uint32_t>(m_searchText.size()));
        for (const cht::platform::TField* f : searched) {
            appendSearchText(storedText(r, *f, scratch), m_searchText);
            m_searchText += '\x1f'; // no match runs from one field into the next
        }
    }
    m_searchStart.push_back(static_cast<std::uint32_t>(m_searchText.size()));
}

void PickListModel::narrow(const QString& text)
{
    std::string needle;
    appendSearchText(text.toStdString(), needle);
    if (needle == m_needle)
        return;

    beginResetModel();
    if (needle.empty()) {
        m_narrowed = false;
        m_rows = std::vector<int>();
    } else {
        if (m_searchStart.empty())
            buildSearchIndex();
        // A text that contains the previous one can only keep rows that are on view already.
        const bool within = m_narrowed && needle.find(m_needle) != std::string::npos;
        std::vector<int> rows;
        const auto matches = [&](int r) {
            const std::uint32_t from = m_searchStart[static_cast<std::size_t>(r)];
            const std::uint32_t to = m_searchStart[static_cast<std::size_t>(r) + 1];
            return std::string_view(m_searchText.data() + from, to - from).find(needle) !=
                   std::string_view::npos;
        };
        if (within) {
            for (int r : m_rows)
                if (matches(r))
                    rows.push_back(r);
        } else {
            for (int r = 0; r < m_records; ++r)
                if (matches(r))
                    rows.push_back(r);
        }
        m_rows = std::move(rows);
        m_narrowed = true;
    }
    m_needle = std::move(needle);
    endResetModel();
}

void PickListModel::toggle(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    const auto record = static_cast<std::size_t>(recordOf(row));
    const bool on = m_ticked[record] == 0;
    if (on && m_single && m_checkedCount > 0) {
        std::fill(m_ticked.begin(), m_ticked.end(), 0);
        m_checkedCount = 0;
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
    }
    m_ticked[record] = on ? 1 : 0;
    m_checkedCount += on ? 1 : -1;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

void PickListModel::setShownChecked(bool checked)
{
    const int rows = rowCount();
    if (rows == 0)
        return;
    const std::uint8_t value = checked ? 1 : 0;
    for (int row = 0; row < rows; ++row) {
        std::uint8_t& tick = m_ticked[static_cast<std::size_t>(recordOf(row))];
        m_checkedCount += value - tick;
        tick = value;
    }
    emit dataChanged(index(0, 0), index(rows - 1, 0), {Qt::CheckStateRole});
}

QStringList PickListModel::checkedKeys() const
{
    QStringList keys;
    std::string scratch;
    for (int r = 0; r < m_records; ++r)
        if (m_ticked[static_cast<std::size_t>(r)] != 0) {
            const std::string_view k = storedText(r, m_key, scratch);
            keys << QString::fromUtf8(k.data(), static_cast<qsizetype>(k.size()));
        }
    return keys;
}

} // namespace cht::framework
