#include "platform/dataset/Field.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/DataSetText.h"
#include "platform/dataset/DisplayFormat.h"

#include <cmath>

namespace cht::platform {

using dataset_text::msg;

namespace {

QString plainText(const wire::Value& v)
{
    if (const auto* s = std::get_if<std::string>(&v))
        return QString::fromStdString(*s);
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return QString::number(*i);
    if (const auto* d = std::get_if<double>(&v))
        return formatFloatGeneral(*d);
    return {};
}

} // namespace

TField::TField(TClientDataSet& owner, int index, QString name, wire::FieldType type, int size)
    : m_owner(owner), m_index(index), m_name(std::move(name)), m_type(type), m_size(size)
{}

int TField::defaultDisplayWidth() const
{
    if (displayWidth > 0)
        return displayWidth;
    switch (m_type) {
    case wire::FieldType::Text:
        return m_size > 0 ? m_size : 20;
    case wire::FieldType::DateTime:
        return 18;
    case wire::FieldType::Float:
        return 14;
    case wire::FieldType::Integer:
        return 10;
    }
    return 10;
}

bool TField::isNull() const
{
    return wire::isNull(value());
}

void TField::clear()
{
    setValue(wire::Value{});
}

wire::Value TField::value() const
{
    return m_owner.currentValue(m_index);
}

void TField::setValue(const wire::Value& v)
{
    m_owner.setCurrentValue(m_index, v);
}

wire::Value TField::oldValue() const
{
    return m_owner.oldValue(m_index);
}

QString TField::oldValueAsString() const
{
    const wire::Value v = oldValue();
    if (m_type == wire::FieldType::DateTime && std::holds_alternative<double>(v))
        return formatDateTime(QString(), std::get<double>(v));
    return plainText(v);
}

QString TField::asString() const
{
    const wire::Value v = value();
    if (m_type == wire::FieldType::DateTime && std::holds_alternative<double>(v))
        return formatDateTime(QString(), std::get<double>(v));
    return plainText(v);
}

void TField::setAsString(const QString& s)
{
    switch (m_type) {
    case wire::FieldType::Text:
        setValue(s.toStdString());
        return;
    case wire::FieldType::Float:
        if (s.trimmed().isEmpty()) {
            clear();
        } else if (const auto v = parseFloat(s)) {
            setValue(*v);
        } else {
            throw DataSetError(msg("\"%1\" não é um número válido para o campo %2.")
                                   .arg(s, label())
                                   .toStdString());
        }
        return;
    case wire::FieldType::Integer:
        if (s.trimmed().isEmpty()) {
            clear();
        } else {
            bool ok = false;
            const qlonglong v = s.trimmed().toLongLong(&ok);
            const auto f = ok ? std::optional<double>() : parseFloat(s);
            if (ok)
                setValue(static_cast<std::int64_t>(v));
            else if (f && std::trunc(*f) == *f && std::fabs(*f) < 9.2e18)
                setValue(static_cast<std::int64_t>(*f));
            else
                throw DataSetError(msg("\"%1\" não é um número inteiro válido para o campo %2.")
                                       .arg(s, label())
                                       .toStdString());
        }
        return;
    case wire::FieldType::DateTime:
        if (s.trimmed().isEmpty()) {
            clear();
        } else if (const auto v = parseDateTime(s)) {
            setValue(*v);
        } else {
            throw DataSetError(
                msg("\"%1\" não é uma data válida para o campo %2.").arg(s, label()).toStdString());
        }
        return;
    }
}

double TField::asFloat() const
{
    const wire::Value v = value();
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (const auto f = parseFloat(QString::fromStdString(*s)))
            return *f;
        throw DataSetError(msg("O campo %1 não contém um número: \"%2\".")
                               .arg(m_name, QString::fromStdString(*s))
                               .toStdString());
    }
    return 0;
}

void TField::setAsFloat(double v)
{
    if (m_type == wire::FieldType::Integer && std::isfinite(v))
        setValue(static_cast<std::int64_t>(std::llround(v)));
    else
        setValue(v);
}

std::int64_t TField::asInteger() const
{
    const wire::Value v = value();
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v))
        return std::isfinite(*d) ? static_cast<std::int64_t>(std::llround(*d)) : 0;
    if (const auto* s = std::get_if<std::string>(&v)) {
        bool ok = false;
        const qlonglong n = QString::fromStdString(*s).trimmed().toLongLong(&ok);
        if (ok)
            return n;
        throw DataSetError(msg("O campo %1 não contém um número inteiro: \"%2\".")
                               .arg(m_name, QString::fromStdString(*s))
                               .toStdString());
    }
    return 0;
}

void TField::setAsInteger(std::int64_t v)
{
    setValue(v);
}

double TField::asOle() const
{
    const wire::Value v = value();
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (const auto d = parseDateTime(QString::fromStdString(*s)))
            return *d;
        throw DataSetError(msg("O campo %1 não contém uma data: \"%2\".")
                               .arg(m_name, QString::fromStdString(*s))
                               .toStdString());
    }
    return asFloat();
}

void TField::setAsOle(double v)
{
    if (m_type == wire::FieldType::Text)
        setValue(formatDateTime(QString(), v).toStdString());
    else
        setAsFloat(v);
}

QDateTime TField::asDateTime() const
{
    if (isNull())
        return {};
    return dateTimeFromOle(asOle());
}

void TField::setAsDateTime(const QDateTime& dt)
{
    if (!dt.isValid()) {
        clear();
        return;
    }
    const auto ole = oleFromDateTime(dt);
    if (!ole)
        throw DataSetError(
            msg("Data fora do calendário para o campo %1.").arg(label()).toStdString());
    setAsOle(*ole);
}

QString TField::text() const
{
    if (onGetText) {
        QString t;
        onGetText(const_cast<TField&>(*this), t, false);
        return t;
    }
    return asString();
}

QString TField::displayText() const
{
    if (onGetText) {
        QString t;
        onGetText(const_cast<TField&>(*this), t, true);
        return t;
    }
    return formatValue(value());
}

void TField::setText(const QString& s)
{
    if (onSetText)
        onSetText(*this, s);
    else
        setAsString(s);
}

QString TField::formatValue(const wire::Value& v) const
{
    if (wire::isNull(v))
        return {};
    switch (m_type) {
    case wire::FieldType::Text:
        return plainText(v);
    case wire::FieldType::DateTime:
        if (const auto* d = std::get_if<double>(&v))
            return formatDateTime(displayFormat, *d);
        return plainText(v);
    case wire::FieldType::Float:
    case wire::FieldType::Integer:
        if (const auto* s = std::get_if<std::string>(&v))
            return QString::fromStdString(*s);
        if (displayFormat.isEmpty())
            return plainText(v);
        if (const auto* i = std::get_if<std::int64_t>(&v))
            return formatFloat(displayFormat, static_cast<double>(*i));
        return formatFloat(displayFormat, std::get<double>(v));
    }
    return {};
}

} // namespace cht::platform
