#include "module/contracts/TADOIBQuery.h"

#include "module/contracts/Forms.h"
#include "platform/dataset/DisplayFormat.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>

#include <string_view>
#include <vector>

namespace cht::framework {

namespace {

using cht::wire::FieldType;

FieldType typeOf(const QSqlField& f)
{
    switch (f.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return FieldType::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return FieldType::Float;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return FieldType::DateTime;
    default:
        return FieldType::Text;
    }
}

std::optional<double> oleOf(const QVariant& v)
{
    switch (v.metaType().id()) {
    case QMetaType::QDateTime:
        return cht::platform::oleFromDateTime(v.toDateTime());
    case QMetaType::QDate:
        return cht::platform::oleFromDateTime(QDateTime(v.toDate(), QTime(0, 0)));
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return v.toDouble();
    default:
        break;
    }
    // Text columns (SQLite keeps dates as text): ISO first, then as the operator types them.
    const QString s = v.toString().trimmed();
    QDateTime dt =
        QDateTime::fromString(QString(s).replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODate);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(s, Qt::ISODate);
        if (d.isValid())
            dt = QDateTime(d, QTime(0, 0));
    }
    if (dt.isValid())
        return cht::platform::oleFromDateTime(dt);
    return cht::platform::parseDateTime(s);
}

// Texts go to UTF-8 through one buffer kept for the whole read: a lookup of a hundred thousand
// rows would otherwise allocate twice for every value.
class Utf8Buffer {
public:
    std::string_view encode(const QVariant& v)
    {
        if (v.metaType().id() != QMetaType::QString)
            return keep(v.toString());
        return keep(*static_cast<const QString*>(v.constData()));
    }

private:
    std::string_view keep(const QString& s)
    {
        const auto need = static_cast<std::size_t>(m_encoder.requiredSpace(s.size()));
        if (m_bytes.size() < need)
            m_bytes.resize(need);
        const char* end = m_encoder.appendToBuffer(m_bytes.data(), s);
        return {m_bytes.data(), static_cast<std::size_t>(end - m_bytes.data())};
    }

    // Stateless: a broken surrogate at the end of one value must not reach into the next.
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
    std::vector<char> m_bytes;
};

void store(cht::wire::ColumnTable& table, std::size_t row, std::size_t col, FieldType type,
           const QVariant& v, Utf8Buffer& utf8)
{
    if (v.isNull())
        return; // appended rows start as nulls
    switch (type) {
    case FieldType::Text:
        table.setText(row, col, utf8.encode(v));
        break;
    case FieldType::Float:
        table.setNumber(row, col, v.toDouble());
        break;
    case FieldType::Integer:
        table.setInteger(row, col, v.toLongLong());
        break;
    case FieldType::DateTime:
        if (auto ole = oleOf(v))
            table.setNumber(row, col, *ole);
        break;
    }
}

// PostgreSQL folds unquoted names to lower case; they read as written, in upper case, as on the
// other databases. A name that holds an upper-case letter was quoted and stays as it is.
QString unfoldedName(const QString& name)
{
    return name == name.toLower() ? name.toUpper() : name;
}

[[noreturn]] void queryFailed(const QString& name, const QSqlError& error)
{
    throw EServerError(
        QStringLiteral("Erro ao consultar o banco de dados%1: %2")
            .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name), error.text())
            .toStdString());
}

// Keeps the shared connection from writing while a lookup runs, whatever its SQL says.
class ReadOnlyScope {
public:
    explicit ReadOnlyScope(QSqlDatabase& db) : m_db(db)
    {
        m_sqlite = db.driverName() == QLatin1String("QSQLITE");
        QSqlQuery q(db);
        if (m_sqlite) {
            q.exec(QStringLiteral("PRAGMA query_only = 1"));
        } else {
            m_transaction = db.transaction();
            q.exec(QStringLiteral("SET TRANSACTION READ ONLY"));
        }
    }
    ~ReadOnlyScope()
    {
        if (m_sqlite) {
            QSqlQuery q(m_db);
            q.exec(QStringLiteral("PRAGMA query_only = 0"));
        } else if (m_transaction) {
            m_db.rollback();
        }
    }
    ReadOnlyScope(const ReadOnlyScope&) = delete;
    ReadOnlyScope& operator=(const ReadOnlyScope&) = delete;

private:
    QSqlDatabase& m_db;
    bool m_sqlite = false;
    bool m_transaction = false;
};

} // namespace

TADOIBQuery::TADOIBQuery(QString name) : TClientDataSet(std::move(name)) {}

void TADOIBQuery::Open()
{
    if (active())
        return;
    QSqlDatabase db = dtmDBGeral::Database();
    cht::wire::ColumnTable table;
    {
        ReadOnlyScope readOnly(db);
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!query.exec(SQL.join(QLatin1Char('\n'))))
            queryFailed(name(), query.lastError());
        const QSqlRecord record = query.record();

        // Persistent fields decide the packet's shape; without any, the columns define them.
        if (fieldCount() == 0) {
            const bool foldsToLower = db.driverName() == QLatin1String("QPSQL");
            for (int i = 0; i < record.count(); ++i) {
                const QSqlField f = record.field(i);
                const FieldType type = typeOf(f);
                addField(foldsToLower ? unfoldedName(f.name()) : f.name(), type,
                         type == FieldType::Text && f.length() > 0 ? f.length() : 0);
            }
        }
        std::vector<cht::wire::FieldDef> defs;
        std::vector<int> source; // query column of each packet column
        for (int i = 0; i < fieldCount(); ++i) {
            const cht::platform::TField& f = field(i);
            const int col = record.indexOf(f.fieldName());
            if (col < 0)
                continue; // loadFromPacket names the missing field
            defs.push_back(
                {f.fieldName().toStdString(), f.dataType(), static_cast<std::uint32_t>(f.size())});
            source.push_back(col);
        }
        table = cht::wire::ColumnTable(defs);
        Utf8Buffer utf8;
        while (query.next()) {
            const std::size_t row = table.appendRow();
            for (std::size_t c = 0; c < defs.size(); ++c)
                store(table, row, c, defs[c].type, query.value(source[c]), utf8);
        }
        if (query.lastError().isValid())
            queryFailed(name(), query.lastError());
    }
    loadFromPacket(std::move(table));
}

void TADOIBQuery::Close()
{
    close();
}

} // namespace cht::framework
