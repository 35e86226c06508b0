#include "platform/dataset/DataSetText.h"

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/DisplayFormat.h"
#include "platform/dataset/Field.h"

#include <cmath>
#include <limits>

namespace cht::platform::dataset_text {

QString typeName(wire::FieldType type)
{
    switch (type) {
    case wire::FieldType::Text:
        return msg("texto");
    case wire::FieldType::DateTime:
        return msg("data e hora");
    case wire::FieldType::Float:
        return msg("número");
    case wire::FieldType::Integer:
        return msg("inteiro");
    }
    return {};
}

namespace {
[[noreturn]] void unfit(const TField& field, const char* why)
{
    throw DataSetError(msg("O valor não serve para o campo %1 (%2): %3.")
                           .arg(field.fieldName(), typeName(field.dataType()), msg(why))
                           .toStdString());
}
} // namespace

wire::Value coerce(const TField& field, const wire::Value& value)
{
    if (wire::isNull(value))
        return value;
    switch (field.dataType()) {
    case wire::FieldType::Text: {
        std::string text;
        if (const auto* s = std::get_if<std::string>(&value))
            text = *s;
        else if (const auto* i = std::get_if<std::int64_t>(&value))
            text = std::to_string(*i);
        else
            text = formatFloatGeneral(std::get<double>(value)).toStdString();
        if (!wire::isValidUtf8(text))
            unfit(field, "texto com codificação inválida");
        if (field.size() > 0)
            text.resize(wire::cutToChars(text, static_cast<std::size_t>(field.size())).size());
        return text;
    }
    case wire::FieldType::Float:
    case wire::FieldType::DateTime: {
        double v = 0;
        if (const auto* d = std::get_if<double>(&value))
            v = *d;
        else if (const auto* i = std::get_if<std::int64_t>(&value))
            v = static_cast<double>(*i);
        else
            unfit(field, "um texto não é um número");
        if (!std::isfinite(v))
            unfit(field, "número não finito");
        if (field.dataType() == wire::FieldType::DateTime && !wire::isOleInRange(v))
            unfit(field, "data fora do calendário");
        return v;
    }
    case wire::FieldType::Integer: {
        if (std::holds_alternative<std::int64_t>(value))
            return value;
        if (const auto* d = std::get_if<double>(&value)) {
            constexpr double limit = 9.2e18;
            if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < limit)
                return static_cast<std::int64_t>(*d);
            unfit(field, "o número não é inteiro");
        }
        unfit(field, "um texto não é um número");
    }
    }
    return value;
}

} // namespace cht::platform::dataset_text
