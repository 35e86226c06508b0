#include "KeyList.h"

#include "JsonInput.h"
#include "JsonOutput.h"
#include "Utf8.h"
#include "WireError.h"

namespace cht::wire {

namespace {
constexpr std::string_view kPrefix = "Lista de códigos inválida: ";
} // namespace

std::string encodeKeyList(const std::vector<std::string>& keys)
{
    std::string json;
    if (keys.empty())
        return json;
    StringOut out(json);
    JsonWriter w(out);
    w.StartArray();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!isValidUtf8(keys[i]))
            throw WireError(std::string(kPrefix) + "o código " + std::to_string(i + 1) +
                            " tem UTF-8 inválido.");
        writeString(w, keys[i]);
    }
    w.EndArray();
    out.finish();
    return json;
}

std::vector<std::string> decodeKeyList(std::string_view text)
{
    std::vector<std::string> keys;
    if (text.empty())
        return keys;
    JsonInput input(text, kPrefix);
    ondemand::array list;
    if (auto e = input.document().get_array().get(list)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(kPrefix, "deve ser uma lista JSON de textos");
        throwJsonError(e, kPrefix, {});
    }
    for (auto item : list) {
        const std::string place = "código " + std::to_string(keys.size() + 1);
        std::string_view key;
        if (auto e = item.get_string().get(key)) {
            if (e == simdjson::INCORRECT_TYPE)
                throwShape(kPrefix, "o " + place + " não é um texto");
            throwJsonError(e, kPrefix, place);
        }
        keys.emplace_back(key);
    }
    input.expectEnd();
    return keys;
}

} // namespace cht::wire
