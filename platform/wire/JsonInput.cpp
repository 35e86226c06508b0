#include "JsonInput.h"

#include "JsonRpc.h"

namespace cht::wire {

namespace {
constexpr std::size_t kSharedParserLimit = 4u << 20;
// A kept parser holds on to about 1.3 times the biggest text it read: beyond this, the text's
// parser goes with it.
constexpr std::size_t kKeptParserLimit = 128u << 20;
} // namespace

static_assert(kReadPadding >= simdjson::SIMDJSON_PADDING);

std::string describeJsonError(simdjson::error_code code)
{
    using namespace simdjson;
    switch (code) {
    case UTF8_ERROR:
        return "o texto não é UTF-8 válido";
    case UNCLOSED_STRING:
        return "texto sem aspas de fechamento (JSON truncado?)";
    case INCOMPLETE_ARRAY_OR_OBJECT:
        return "JSON truncado: lista ou objeto sem fechamento";
    case TAPE_ERROR:
        return "JSON malformado";
    case EMPTY:
        return "texto vazio ou só com espaços";
    case STRING_ERROR:
        return "texto com sequência de escape inválida";
    case UNESCAPED_CHARS:
        return "caractere de controle sem escape dentro de um texto";
    case T_ATOM_ERROR:
    case F_ATOM_ERROR:
    case N_ATOM_ERROR:
        return "valor true, false ou null malformado";
    case DEPTH_ERROR:
        return "JSON aninhado demais";
    case CAPACITY:
        return "documento grande demais";
    case TRAILING_CONTENT:
        return "conteúdo após o fim do JSON";
    case NUMBER_ERROR:
        return "número malformado ou fora do intervalo";
    case NUMBER_OUT_OF_RANGE:
        return "número fora do intervalo";
    case INCORRECT_TYPE:
        return "tipo de valor inesperado";
    case MEMALLOC:
        return "memória insuficiente";
    default:
        return std::string("JSON malformado (") + error_message(code) + ")";
    }
}

bool isSyntaxError(simdjson::error_code code)
{
    using namespace simdjson;
    switch (code) {
    case INCORRECT_TYPE:
    case NUMBER_ERROR:
    case NUMBER_OUT_OF_RANGE:
    case NO_SUCH_FIELD:
    case MEMALLOC:
        return false;
    default:
        return true;
    }
}

void throwJsonError(simdjson::error_code code, std::string_view prefix, std::string_view where)
{
    std::string message(prefix);
    if (!where.empty()) {
        message += where;
        message += ": ";
    }
    message += describeJsonError(code);
    message += '.';
    throw DecodeFailure(message, isSyntaxError(code));
}

void throwShape(std::string_view prefix, std::string_view what)
{
    std::string message(prefix);
    message += what;
    message += '.';
    throw DecodeFailure(message, false);
}

JsonInput::JsonInput(std::string_view json, std::string_view prefix, std::size_t capacity, Big big)
    : m_prefix(prefix)
{
    // A reply of tens of megabytes is read where it was received: a copy costs as much again in
    // memory and in page faults.
    if (capacity >= json.size() + simdjson::SIMDJSON_PADDING) {
        m_text = simdjson::padded_string_view(json.data(), json.size(), capacity);
    } else {
        m_copy = simdjson::padded_string(json.data(), json.size());
        m_text = m_copy;
    }
    thread_local ondemand::parser shared;
    thread_local bool sharedInUse = false;
    ondemand::parser* parser = &shared;
    static ondemand::parser kept;
    static std::atomic<bool> keptInUse{false};
    if (json.size() <= kSharedParserLimit && !sharedInUse) {
        sharedInUse = true;
        m_releaseShared = &sharedInUse;
    } else if (big == Big::Kept && json.size() <= kKeptParserLimit && !keptInUse.exchange(true)) {
        m_releaseKept = &keptInUse;
        parser = &kept;
    } else {
        m_ownParser = std::make_unique<ondemand::parser>();
        parser = m_ownParser.get();
    }
    if (auto error = parser->iterate(m_text).get(m_doc)) {
        release();
        throwJsonError(error, m_prefix, {});
    }
}

JsonInput::~JsonInput()
{
    release();
}

void JsonInput::release()
{
    if (m_releaseShared)
        *m_releaseShared = false;
    if (m_releaseKept)
        m_releaseKept->store(false);
    m_releaseShared = nullptr;
    m_releaseKept = nullptr;
}

ondemand::object JsonInput::rootObject(std::string_view notObject)
{
    ondemand::object root;
    if (auto e = m_doc.get_object().get(root)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(m_prefix, notObject);
        throwJsonError(e, m_prefix, {});
    }
    return root;
}

void JsonInput::expectEnd()
{
    // At the end of the text there is no location left; anything else is a further token.
    const char* at = nullptr;
    if (m_doc.current_location().get(at) != simdjson::OUT_OF_BOUNDS)
        throwJsonError(simdjson::TRAILING_CONTENT, m_prefix, {});
}

} // namespace cht::wire
