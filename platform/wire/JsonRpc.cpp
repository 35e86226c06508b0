#include "JsonRpc.h"

#include "JsonInput.h"
#include "JsonOutput.h"
#include "Messages.h"
#include "PacketDecoder.h"
#include "PacketEncoder.h"
#include "Utf8.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace cht::wire {

RpcArg RpcArg::ofText(std::string t)
{
    RpcArg a;
    a.kind = Kind::Text;
    a.text = std::move(t);
    return a;
}

RpcArg RpcArg::ofNumber(double n)
{
    RpcArg a;
    a.kind = Kind::Number;
    a.number = n;
    return a;
}

RpcArg RpcArg::ofData(ColumnTable t)
{
    RpcArg a;
    a.kind = Kind::Data;
    a.data = std::move(t);
    return a;
}

RpcArg RpcArg::ofDelta(DeltaPacket d)
{
    RpcArg a;
    a.kind = Kind::Delta;
    a.delta = std::move(d);
    return a;
}

namespace {

constexpr std::string_view kRequestPrefix = "Requisição inválida: ";
constexpr std::string_view kResponsePrefix = "Resposta inválida do servidor: ";
constexpr std::string_view kOutPrefix = "Não foi possível escrever a chamada: ";

void writeEnvelopeStart(JsonWriter& w, const RpcId& id)
{
    w.StartObject();
    w.Key("jsonrpc", 7);
    w.String("2.0", 3);
    w.Key("id", 2);
    if (id.present())
        w.RawValue(id.json.data(), id.json.size(), rapidjson::kNumberType);
    else
        w.Null();
}

void writeArg(JsonWriter& w, const RpcArg& a, std::size_t index)
{
    switch (a.kind) {
    case RpcArg::Kind::Null:
        w.Null();
        return;
    case RpcArg::Kind::Text:
        if (!isValidUtf8(a.text))
            throw WireError(std::string(kOutPrefix) + "o parâmetro " + std::to_string(index + 1) +
                            " tem UTF-8 inválido.");
        writeString(w, a.text);
        return;
    case RpcArg::Kind::Number:
        if (!std::isfinite(a.number))
            throw WireError(std::string(kOutPrefix) + "o parâmetro " + std::to_string(index + 1) +
                            " não é um número finito.");
        w.Double(a.number);
        return;
    case RpcArg::Kind::Data:
        writeDataPacket(w, a.data, nullptr);
        return;
    case RpcArg::Kind::Delta:
        writeDeltaPacket(w, a.delta);
        return;
    }
}

void writeArgs(JsonWriter& w, const std::vector<RpcArg>& args)
{
    w.StartArray();
    for (std::size_t i = 0; i < args.size(); ++i)
        writeArg(w, args[i], i);
    w.EndArray();
}

std::string_view readKey(ondemand::field& field, std::string_view prefix)
{
    std::string_view key;
    if (auto e = field.unescaped_key().get(key))
        throwJsonError(e, prefix, {});
    return key;
}

// Hands each member's key and value to f in order; a member that cannot be read throws, naming
// where (empty for the top level).
template <class F>
void forEachMember(ondemand::object object, std::string_view prefix, std::string_view where, F&& f)
{
    for (auto member : object) {
        ondemand::field field;
        if (auto e = std::move(member).get(field))
            throwJsonError(e, prefix, where);
        const std::string_view key = readKey(field, prefix);
        f(key, field.value());
    }
}

ondemand::object readObject(ondemand::value v, std::string_view prefix, const std::string& what)
{
    ondemand::object o;
    if (auto e = v.get_object().get(o)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(prefix, what + " deve ser um objeto");
        throwJsonError(e, prefix, what);
    }
    return o;
}

std::string readString(ondemand::value v, std::string_view prefix, const std::string& what)
{
    std::string_view s;
    if (auto e = v.get_string().get(s)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(prefix, what + " deve ser um texto");
        throwJsonError(e, prefix, what);
    }
    return std::string(s);
}

// One argument: string, number, null, a data packet or a delta packet.
RpcArg readArg(ondemand::value v, std::size_t index, JsonInput& input)
{
    const std::string prefix = "Parâmetro " + std::to_string(index + 1) + " inválido: ";
    ondemand::json_type type;
    if (auto e = v.type().get(type))
        throwJsonError(e, prefix, {});
    switch (type) {
    case ondemand::json_type::string: {
        std::string_view s;
        if (auto e = v.get_string().get(s))
            throwJsonError(e, prefix, {});
        return RpcArg::ofText(std::string(s));
    }
    case ondemand::json_type::number: {
        double d = 0;
        if (auto e = v.get_double().get(d))
            throwJsonError(e, prefix, {});
        return RpcArg::ofNumber(d);
    }
    case ondemand::json_type::null: {
        bool null = false;
        if (auto e = v.is_null().get(null))
            throwJsonError(e, prefix, {});
        if (!null)
            throwJsonError(simdjson::N_ATOM_ERROR, prefix, {});
        return RpcArg{};
    }
    case ondemand::json_type::object: {
        ondemand::object o;
        if (auto e = v.get_object().get(o))
            throwJsonError(e, prefix, {});
        PacketDecoder decoder(kDataPrefix, &input);
        try {
            PacketDecoder::Packet p = decoder.packet(o, PacketDecoder::Expect::Either);
            return p.isDelta ? RpcArg::ofDelta(std::move(p.delta))
                             : RpcArg::ofData(std::move(p.table));
        } catch (const DecodeFailure& e) {
            throw DecodeFailure("Parâmetro " + std::to_string(index + 1) + ": " + e.what(),
                                e.syntax());
        }
    }
    default:
        throwShape(prefix, "deve ser um texto, um número, nulo ou um pacote");
    }
}

std::vector<RpcArg> readArgs(ondemand::value v, JsonInput& input, std::string_view prefix,
                             const char* what)
{
    ondemand::array list;
    if (auto e = v.get_array().get(list)) {
        if (e == simdjson::INCORRECT_TYPE)
            throwShape(prefix, std::string(what) + " deve ser uma lista");
        throwJsonError(e, prefix, what);
    }
    std::vector<RpcArg> args;
    for (auto item : list) {
        ondemand::value arg;
        if (auto e = item.get(arg))
            throwJsonError(e, prefix, what);
        args.push_back(readArg(arg, args.size(), input));
    }
    return args;
}

// A top-level value that is neither an object nor an array: a parse error unless it is a
// well-formed scalar.
[[noreturn]] void notARequest(ondemand::document& doc, std::string_view prefix)
{
    ondemand::json_type type;
    simdjson::error_code e = doc.type().get(type);
    if (!e) {
        switch (type) {
        case ondemand::json_type::array:
        case ondemand::json_type::object:
            break;
        case ondemand::json_type::number:
            e = doc.get_double().error();
            break;
        case ondemand::json_type::string:
            e = doc.get_string().error();
            break;
        case ondemand::json_type::boolean:
            e = doc.get_bool().error();
            break;
        case ondemand::json_type::null: {
            bool null = false;
            e = doc.is_null().get(null);
            if (!e && !null)
                e = simdjson::N_ATOM_ERROR;
            break;
        }
        }
    }
    if (e)
        throw DecodeFailure(std::string(prefix) + describeJsonError(e) + ".", true);
    throwShape(prefix, "a requisição deve ser um objeto JSON");
}

void readVersion(ondemand::value v, std::string_view prefix)
{
    if (readString(v, prefix, "\"jsonrpc\"") != "2.0")
        throwShape(prefix, "\"jsonrpc\" deve ser \"2.0\"");
}

std::string_view trimmedToken(std::string_view raw)
{
    while (!raw.empty() &&
           (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\n' || raw.back() == '\r'))
        raw.remove_suffix(1);
    return raw;
}

// The id as sent: a number's own digits, a text with its quotes and escapes, or null. Anything
// else is a wrong envelope.
RpcId readId(ondemand::value v, std::string_view prefix)
{
    ondemand::json_type type;
    if (auto e = v.type().get(type))
        throwJsonError(e, prefix, "\"id\"");
    std::string_view raw;
    switch (type) {
    case ondemand::json_type::number: {
        raw = v.raw_json_token();
        double checked = 0;
        if (auto e = v.get_double().get(checked))
            throwJsonError(e, prefix, "\"id\"");
        return RpcId{std::string(trimmedToken(raw))};
    }
    case ondemand::json_type::string: {
        raw = v.raw_json_token();
        std::string_view checked;
        if (auto e = v.get_string().get(checked))
            throwJsonError(e, prefix, "\"id\"");
        return RpcId{std::string(trimmedToken(raw))};
    }
    case ondemand::json_type::null: {
        bool null = false;
        if (auto e = v.is_null().get(null))
            throwJsonError(e, prefix, "\"id\"");
        if (!null)
            throwJsonError(simdjson::N_ATOM_ERROR, prefix, "\"id\"");
        return RpcId::null();
    }
    default:
        throwShape(prefix, "\"id\" deve ser um número, um texto ou nulo");
    }
}

// Reads a value through, whatever it holds, so that broken JSON inside it is found.
void readThrough(ondemand::value v)
{
    ondemand::json_type type;
    if (auto e = v.type().get(type))
        throwJsonError(e, kRequestPrefix, {});
    simdjson::error_code e = simdjson::SUCCESS;
    switch (type) {
    case ondemand::json_type::number:
        e = v.get_double().error();
        break;
    case ondemand::json_type::string:
        e = v.get_string().error();
        break;
    case ondemand::json_type::boolean:
        e = v.get_bool().error();
        break;
    case ondemand::json_type::null: {
        bool null = false;
        e = v.is_null().get(null);
        if (!e && !null)
            e = simdjson::N_ATOM_ERROR;
        break;
    }
    case ondemand::json_type::array: {
        ondemand::array a;
        if ((e = v.get_array().get(a)))
            break;
        for (auto item : a) {
            ondemand::value inner;
            if ((e = item.get(inner)))
                break;
            readThrough(inner);
        }
        break;
    }
    case ondemand::json_type::object: {
        ondemand::object o;
        if ((e = v.get_object().get(o)))
            break;
        forEachMember(o, kRequestPrefix, {},
                      [](std::string_view, ondemand::value inner) { readThrough(inner); });
        break;
    }
    }
    if (e)
        throwJsonError(e, kRequestPrefix, {});
}

// One request object's envelope. A wrong shape is kept in the envelope, and the members after it
// are still read through (the request gets an error answer, the others of a batch still run);
// broken JSON throws, as the whole body is then unreadable.
RpcEnvelope readEnvelope(ondemand::object object)
{
    RpcEnvelope env;
    bool hasVersion = false, hasId = false, hasMethod = false, hasParams = false;
    auto member = [&](std::string_view key, ondemand::value v) {
        if (key == "jsonrpc" && !hasVersion) {
            hasVersion = true;
            readVersion(v, kRequestPrefix);
        } else if (key == "id" && !hasId) {
            hasId = true;
            env.id = readId(v, kRequestPrefix);
        } else if (key == "method" && !hasMethod) {
            hasMethod = true;
            env.method = readString(v, kRequestPrefix, "\"method\"");
        } else if (key == "params" && !hasParams) {
            hasParams = true;
            // Only its kind now; the arguments are read once the method is known.
            ondemand::json_type type;
            if (auto e = v.type().get(type))
                throwJsonError(e, kRequestPrefix, "\"params\"");
            if (type != ondemand::json_type::array && type != ondemand::json_type::object)
                throwShape(kRequestPrefix, "\"params\" deve ser uma lista");
        } else {
            throwShape(kRequestPrefix, "chave inesperada ou repetida " + inQuotes(key));
        }
    };
    std::string fault;
    forEachMember(object, kRequestPrefix, {}, [&](std::string_view key, ondemand::value v) {
        if (!fault.empty()) {
            if (key != "params")
                readThrough(v);
            return;
        }
        try {
            member(key, v);
        } catch (const DecodeFailure& e) {
            if (e.syntax())
                throw;
            fault = e.what();
        }
    });
    if (fault.empty() && !hasVersion)
        fault = std::string(kRequestPrefix) + "falta \"jsonrpc\".";
    if (fault.empty() && !hasMethod)
        fault = std::string(kRequestPrefix) + "falta \"method\".";
    if (!fault.empty()) {
        env.errorCode = kInvalidRequest;
        env.errorMessage = fault;
        // The id, when read before the fault, goes back with the error; otherwise null.
        if (!env.id.present())
            env.id = RpcId::null();
    }
    return env;
}

} // namespace

RpcId RpcId::of(std::int64_t id)
{
    return id < 0 ? null() : RpcId{std::to_string(id)};
}

struct RpcBodyReader::Impl {
    std::unique_ptr<JsonInput> input;
    int errorCode = 0;
    std::string errorMessage;
    bool batch = false;
    std::vector<RpcEnvelope> requests;

    void fail(int code, const std::string& message)
    {
        errorCode = code;
        errorMessage = message;
        requests.clear();
    }

    void read()
    {
        ondemand::document& doc = input->document();
        ondemand::json_type type;
        if (auto e = doc.type().get(type))
            throwJsonError(e, kRequestPrefix, {});
        if (type == ondemand::json_type::object) {
            ondemand::object o;
            if (auto e = doc.get_object().get(o))
                throwJsonError(e, kRequestPrefix, {});
            requests.push_back(readEnvelope(o));
        } else if (type == ondemand::json_type::array) {
            batch = true;
            ondemand::array list;
            if (auto e = doc.get_array().get(list))
                throwJsonError(e, kRequestPrefix, {});
            for (auto item : list) {
                ondemand::value v;
                if (auto e = item.get(v))
                    throwJsonError(e, kRequestPrefix, {});
                ondemand::object o;
                if (auto e = v.get_object().get(o); e == simdjson::INCORRECT_TYPE) {
                    // Not a request: an error answer of its own. Read it through so that
                    // broken JSON inside is still found.
                    readThrough(v);
                    RpcEnvelope env;
                    env.id = RpcId::null();
                    env.errorCode = kInvalidRequest;
                    env.errorMessage =
                        std::string(kRequestPrefix) + "cada item do lote deve ser um objeto.";
                    requests.push_back(std::move(env));
                    continue;
                } else if (e) {
                    throwJsonError(e, kRequestPrefix, {});
                }
                requests.push_back(readEnvelope(o));
            }
            if (requests.empty()) {
                batch = false;
                fail(kInvalidRequest, std::string(kRequestPrefix) + "lote vazio.");
                return;
            }
        } else {
            notARequest(doc, kRequestPrefix);
        }
        input->expectEnd();
    }
};

RpcBodyReader::RpcBodyReader(std::string_view body, std::size_t capacity)
    : m_impl(std::make_unique<Impl>())
{
    try {
        // Long bodies come again (each save of a long list): one parser is kept for them.
        m_impl->input =
            std::make_unique<JsonInput>(body, kRequestPrefix, capacity, JsonInput::Big::Kept);
        m_impl->read();
    } catch (const DecodeFailure& e) {
        m_impl->batch = false;
        m_impl->fail(e.syntax() ? kParseError : kInvalidRequest, e.what());
    }
}

RpcBodyReader::~RpcBodyReader() = default;

int RpcBodyReader::errorCode() const
{
    return m_impl->errorCode;
}

const std::string& RpcBodyReader::errorMessage() const
{
    return m_impl->errorMessage;
}

bool RpcBodyReader::isBatch() const
{
    return m_impl->batch;
}

const std::vector<RpcEnvelope>& RpcBodyReader::requests() const
{
    return m_impl->requests;
}

std::vector<RpcArg> RpcBodyReader::params(std::size_t i)
{
    Impl& impl = *m_impl;
    if (impl.errorCode != 0 || i >= impl.requests.size() || impl.requests[i].errorCode != 0)
        throw WireError("RpcBodyReader::params: requisição inválida");
    std::vector<RpcArg> args;
    try {
        ondemand::document& doc = impl.input->document();
        doc.rewind();
        ondemand::object request;
        if (impl.batch) {
            ondemand::array list;
            if (auto e = doc.get_array().get(list))
                throwJsonError(e, kRequestPrefix, {});
            std::size_t at = 0;
            for (auto item : list) {
                ondemand::value v;
                if (auto e = item.get(v))
                    throwJsonError(e, kRequestPrefix, {});
                if (at++ != i)
                    continue;
                if (auto e = v.get_object().get(request))
                    throwJsonError(e, kRequestPrefix, {});
                break;
            }
        } else if (auto e = doc.get_object().get(request)) {
            throwJsonError(e, kRequestPrefix, {});
        }
        bool found = false;
        forEachMember(request, kRequestPrefix, {}, [&](std::string_view key, ondemand::value v) {
            if (key != "params" || found)
                return;
            found = true;
            ondemand::json_type type;
            if (auto e = v.type().get(type))
                throwJsonError(e, kRequestPrefix, "\"params\"");
            if (type == ondemand::json_type::object)
                throwShape(kRequestPrefix, "os argumentos vão em uma lista, por posição, e não "
                                           "por nome");
            args = readArgs(v, *impl.input, kRequestPrefix, "\"params\"");
        });
    } catch (const DecodeFailure& e) {
        throw RpcDecodeError(e.syntax() ? kParseError : kInvalidParams, e.what());
    } catch (const RpcDecodeError&) {
        throw;
    } catch (const WireError& e) {
        throw RpcDecodeError(kInvalidParams, e.what());
    }
    return args;
}

std::string encodeRequest(const RpcRequest& request)
{
    std::vector<const RpcArg*> params;
    params.reserve(request.params.size());
    for (const RpcArg& a : request.params)
        params.push_back(&a);
    return encodeRequest(request.id, request.method, params);
}

std::string encodeRequest(std::int64_t id, std::string_view method,
                          const std::vector<const RpcArg*>& params)
{
    if (method.empty() || !isValidUtf8(method))
        throw WireError(std::string(kOutPrefix) + "nome de método inválido.");
    if (id < 0)
        throw WireError(std::string(kOutPrefix) + "o id não pode ser negativo.");
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeEnvelopeStart(w, RpcId::of(id));
    w.Key("method", 6);
    writeString(w, method);
    w.Key("params", 6);
    w.StartArray();
    for (std::size_t i = 0; i < params.size(); ++i)
        writeArg(w, *params[i], i);
    w.EndArray();
    w.EndObject();
    out.finish();
    return json;
}

RpcRequest decodeRequest(std::string_view json)
{
    RpcBodyReader reader(json);
    if (reader.errorCode() != 0)
        throw RpcDecodeError(reader.errorCode(), reader.errorMessage());
    if (reader.isBatch())
        throw RpcDecodeError(kInvalidRequest,
                             std::string(kRequestPrefix) + "um lote não é uma chamada.");
    const RpcEnvelope& env = reader.requests().front();
    RpcRequest request;
    request.id = -1;
    // This client's own ids: whole, not negative.
    const std::string& id = env.id.json;
    if (!id.empty() && id.size() <= 18 && id.find_first_not_of("0123456789") == std::string::npos)
        request.id = std::stoll(id);
    if (env.errorCode != 0)
        throw RpcDecodeError(env.errorCode, env.errorMessage, request.id);
    if (!env.id.present())
        throw RpcDecodeError(kInvalidRequest, std::string(kRequestPrefix) + "falta \"id\".");
    if (request.id < 0)
        throw RpcDecodeError(kInvalidRequest, std::string(kRequestPrefix) +
                                                  "\"id\" deve ser um inteiro não negativo.");
    if (env.method.empty())
        throw RpcDecodeError(kInvalidRequest,
                             std::string(kRequestPrefix) + "\"method\" está vazio.", request.id);
    request.method = env.method;
    try {
        request.params = reader.params(0);
    } catch (const RpcDecodeError& e) {
        throw RpcDecodeError(e.code(), e.what(), request.id);
    }
    return request;
}

namespace {

std::string encodeResultWith(const RpcId& id, const std::vector<RpcArg>& refs,
                             std::string_view dataJson)
{
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeEnvelopeStart(w, id);
    w.Key("result", 6);
    w.StartObject();
    w.Key("ok", 2);
    w.Bool(true);
    w.Key("refs", 4);
    writeArgs(w, refs);
    w.Key("data", 4);
    if (dataJson.empty()) {
        w.Null();
    } else {
        // The packet is already JSON: the writer emits the separator, the bytes go in as they are.
        w.RawValue(dataJson.data(), 0, rapidjson::kObjectType);
        out.append(dataJson);
    }
    w.EndObject();
    w.EndObject();
    out.finish();
    return json;
}

// An envelope whose one member after the id is an object of two members, the second a text.
template <class WriteFirst>
std::string encodeTwoMemberEnvelope(const RpcId& id, const char* member, unsigned memberLength,
                                    WriteFirst writeFirst, const char* textKey,
                                    unsigned textKeyLength, std::string_view text)
{
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeEnvelopeStart(w, id);
    w.Key(member, memberLength);
    w.StartObject();
    writeFirst(w);
    w.Key(textKey, textKeyLength);
    writeString(w, sanitizedUtf8(text));
    w.EndObject();
    w.EndObject();
    out.finish();
    return json;
}

constexpr std::string_view kResultEnd = "}}";

// The envelope of a result up to its packet; empty if the envelope of an empty packet does not end
// in the packet and the two objects it closes.
std::string resultHead(const RpcId& id, const std::vector<RpcArg>& refs)
{
    constexpr std::string_view kEmptyEnd = "{}}}";
    std::string head = encodeResultWith(id, refs, "{}");
    if (head.size() < kEmptyEnd.size() ||
        std::string_view(head).substr(head.size() - kEmptyEnd.size()) != kEmptyEnd)
        return {};
    head.resize(head.size() - kEmptyEnd.size());
    return head;
}

} // namespace

std::string encodeResult(std::int64_t id, const std::vector<RpcArg>& refs,
                         std::string_view dataJson)
{
    return encodeResultWith(RpcId::of(id), refs, dataJson);
}

std::string encodeResultAround(std::int64_t id, const std::vector<RpcArg>& refs,
                               std::string&& dataJson)
{
    return encodeResultAround(RpcId::of(id), refs, std::move(dataJson));
}

std::string encodeResultAround(const RpcId& id, const std::vector<RpcArg>& refs,
                               std::string&& dataJson)
{
    if (dataJson.empty())
        return encodeResultWith(id, refs, {});
    const std::string head = resultHead(id, refs);
    if (head.empty())
        return encodeResultWith(id, refs, dataJson);
    dataJson.insert(0, head);
    dataJson += kResultEnd;
    return std::move(dataJson);
}

std::string encodeResultAround(const RpcId& id, const std::vector<RpcArg>& refs,
                               std::string&& dataJson, std::vector<std::string>&& apart,
                               std::vector<std::string>& more)
{
    if (apart.empty())
        return encodeResultAround(id, refs, std::move(dataJson));
    std::string head = resultHead(id, refs);
    if (head.empty()) {
        for (const std::string& text : apart)
            dataJson += text;
        return encodeResultWith(id, refs, dataJson);
    }
    more.reserve(more.size() + apart.size() + 2);
    more.push_back(std::move(dataJson));
    for (std::string& text : apart)
        more.push_back(std::move(text));
    more.emplace_back(kResultEnd);
    return head;
}

std::string encodeFailure(std::int64_t id, std::string_view message)
{
    return encodeFailure(RpcId::of(id), message);
}

std::string encodeFailure(const RpcId& id, std::string_view message)
{
    return encodeTwoMemberEnvelope(
        id, "result", 6,
        [](JsonWriter& w) {
            w.Key("ok", 2);
            w.Bool(false);
        },
        "error", 5, message);
}

std::string encodeProtocolError(std::int64_t id, int code, std::string_view message)
{
    return encodeProtocolError(RpcId::of(id), code, message);
}

std::string encodeProtocolError(const RpcId& id, int code, std::string_view message)
{
    return encodeTwoMemberEnvelope(
        id, "error", 5,
        [code](JsonWriter& w) {
            w.Key("code", 4);
            w.Int(code);
        },
        "message", 7, message);
}

namespace {

RpcResponse decodeResponseWith(std::string_view json, std::size_t capacity,
                               const JsonInput::RowsApart* rowsApart)
{
    constexpr std::string_view p = kResponsePrefix;
    RpcResponse response;
    // A client that read one long list reads the next one.
    JsonInput input(json, p, capacity, JsonInput::Big::Kept);
    if (rowsApart)
        input.setRowsApart(*rowsApart);
    ondemand::object root = input.rootObject("a resposta deve ser um objeto JSON");
    bool hasVersion = false, hasId = false, hasResult = false, hasError = false;
    forEachMember(root, p, {}, [&](std::string_view key, ondemand::value v) {
        if (key == "jsonrpc" && !hasVersion) {
            readVersion(v, p);
            hasVersion = true;
        } else if (key == "id" && !hasId) {
            bool null = false;
            if (!v.is_null().get(null) && null)
                response.id = -1;
            else if (v.get_int64().get(response.id))
                throwShape(p, "\"id\" deve ser um inteiro ou nulo");
            hasId = true;
        } else if (key == "result" && !hasResult && !hasError) {
            hasResult = true;
            bool hasOk = false, hasFailure = false, hasRefs = false, hasData = false;
            forEachMember(
                readObject(v, p, "\"result\""), p, "\"result\"",
                [&](std::string_view rkey, ondemand::value rv) {
                    if (rkey == "ok" && !hasOk) {
                        if (rv.get_bool().get(response.ok))
                            throwShape(p, "\"ok\" deve ser true ou false");
                        hasOk = true;
                    } else if (rkey == "error" && !hasFailure) {
                        response.failure = readString(rv, p, "\"error\" de \"result\"");
                        hasFailure = true;
                    } else if (rkey == "refs" && !hasRefs) {
                        response.refs = readArgs(rv, input, p, "\"refs\"");
                        hasRefs = true;
                    } else if (rkey == "data" && !hasData) {
                        bool null = false;
                        if (!rv.is_null().get(null) && null) {
                            response.data.reset();
                        } else {
                            ondemand::object packet;
                            if (auto e = rv.get_object().get(packet)) {
                                if (e == simdjson::INCORRECT_TYPE)
                                    throwShape(p, "\"data\" deve ser um pacote de dados ou nulo");
                                throwJsonError(e, p, "\"data\"");
                            }
                            PacketDecoder decoder(kDataPrefix, &input);
                            response.data = std::move(
                                decoder.packet(packet, PacketDecoder::Expect::Data).table);
                        }
                        hasData = true;
                    } else {
                        throwShape(p,
                                   "chave inesperada ou repetida em \"result\": " + inQuotes(rkey));
                    }
                });
            if (!hasOk)
                throwShape(p, "falta \"ok\" em \"result\"");
            if (response.ok && hasFailure)
                throwShape(p, "\"result\" com \"ok\" verdadeiro não pode ter \"error\"");
            if (!response.ok && !hasFailure)
                throwShape(p, "\"result\" recusado sem \"error\"");
        } else if (key == "error" && !hasError && !hasResult) {
            hasError = true;
            bool hasCode = false, hasMessage = false;
            forEachMember(readObject(v, p, "\"error\""), p, "\"error\"",
                          [&](std::string_view ekey, ondemand::value ev) {
                              if (ekey == "code" && !hasCode) {
                                  std::int64_t code = 0;
                                  if (ev.get_int64().get(code) || code == 0 || code < INT32_MIN ||
                                      code > INT32_MAX)
                                      throwShape(p,
                                                 "\"code\" deve ser um inteiro diferente de zero");
                                  response.errorCode = static_cast<int>(code);
                                  hasCode = true;
                              } else if (ekey == "message" && !hasMessage) {
                                  response.errorMessage = readString(ev, p, "\"message\"");
                                  hasMessage = true;
                              } else if (ekey == "data") {
                                  // Free-form detail that JSON-RPC allows; nothing here reads it.
                              } else {
                                  throwShape(p, "chave inesperada ou repetida em \"error\": " +
                                                    inQuotes(ekey));
                              }
                          });
            if (!hasCode || !hasMessage)
                throwShape(p, "\"error\" deve ter \"code\" e \"message\"");
        } else {
            throwShape(p, "chave inesperada ou repetida " + inQuotes(key));
        }
    });
    if (!hasVersion)
        throwShape(p, "falta \"jsonrpc\"");
    if (!hasId)
        throwShape(p, "falta \"id\"");
    if (!hasResult && !hasError)
        throwShape(p, "falta \"result\" ou \"error\"");
    input.expectEnd();
    return response;
}

} // namespace

RpcResponse decodeResponse(std::string_view json, std::size_t capacity)
{
    return decodeResponseWith(json, capacity, nullptr);
}

RpcResponse decodeResponseInPlace(std::string& reply)
{
    // Worth it for a long list only; the rows open with "[\n" and close with "\n]".
    constexpr std::size_t kFrom = 4u << 20;
    constexpr std::string_view kRowsKey = "\"rows\":[";
    char* const data = reply.data();
    const std::size_t size = reply.size();
    auto* first = size < kFrom ? nullptr : static_cast<char*>(std::memchr(data, '\n', size));
    auto* last = first ? static_cast<char*>(::memrchr(data, '\n', size)) : nullptr;
    if (first && last && last - first > 2 &&
        static_cast<std::size_t>(first - data) >= kRowsKey.size() &&
        std::string_view(first - kRowsKey.size(), kRowsKey.size()) == kRowsKey && first[1] == '[' &&
        last[1] == ']') {
        char* const rowsBegin = first - 1;
        char* const rowsEnd = last + 2;
        // The reply without its rows, an empty list standing for them.
        std::string outer;
        outer.reserve(size - static_cast<std::size_t>(rowsEnd - rowsBegin) + 2 + kReadPadding);
        outer.append(data, rowsBegin).append("[]").append(rowsEnd, data + size);
        JsonInput::RowsApart rows;
        rows.standIn = outer.data() + (rowsBegin - data);
        rows.begin = rowsBegin;
        rows.size = static_cast<std::size_t>(rowsEnd - rowsBegin);
        rows.readable = reply.capacity() - static_cast<std::size_t>(rowsBegin - data);
        try {
            return decodeResponseWith(outer, outer.capacity(), &rows);
        } catch (const WireError&) {
            // Read again whole, so that the message is the one the whole text gets.
        }
    }
    return decodeResponseWith(reply, reply.capacity(), nullptr);
}

} // namespace cht::wire
