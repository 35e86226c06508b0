#include "JsonRpc.h"

#include "JsonInput.h"
#include "JsonOutput.h"
#include "Messages.h"
#include "PacketDecoder.h"
#include "PacketEncoder.h"
#include "Utf8.h"

#include <cmath>
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

void writeEnvelopeStart(JsonWriter& w, std::int64_t id)
{
    w.StartObject();
    w.Key("jsonrpc", 7);
    w.String("2.0", 3);
    w.Key("id", 2);
    if (id < 0)
        w.Null();
    else
        w.Int64(id);
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

// A top-level value that is not an object: a parse error unless it is a well-formed scalar.
[[noreturn]] void notAnObject(ondemand::document& doc, std::string_view prefix)
{
    ondemand::json_type type;
    simdjson::error_code e = doc.type().get(type);
    if (!e) {
        switch (type) {
        case ondemand::json_type::array:
            break;
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

} // namespace

std::string encodeRequest(const RpcRequest& request)
{
    if (request.method.empty() || !isValidUtf8(request.method))
        throw WireError(std::string(kOutPrefix) + "nome de método inválido.");
    if (request.id < 0)
        throw WireError(std::string(kOutPrefix) + "o id não pode ser negativo.");
    std::string json;
    StringOut out(json);
    JsonWriter w(out);
    writeEnvelopeStart(w, request.id);
    w.Key("method", 6);
    writeString(w, request.method);
    w.Key("params", 6);
    writeArgs(w, request.params);
    w.EndObject();
    out.finish();
    return json;
}

RpcRequest decodeRequest(std::string_view json)
{
    RpcRequest request;
    std::int64_t id = -1;
    bool inParams = false;
    try {
        JsonInput input(json, kRequestPrefix);
        ondemand::object root;
        if (auto e = input.document().get_object().get(root)) {
            if (e == simdjson::INCORRECT_TYPE)
                notAnObject(input.document(), kRequestPrefix);
            throwJsonError(e, kRequestPrefix, {});
        }
        bool hasVersion = false, hasId = false, hasMethod = false, hasParams = false;
        forEachMember(root, kRequestPrefix, {}, [&](std::string_view key, ondemand::value v) {
            if (key == "jsonrpc" && !hasVersion) {
                readVersion(v, kRequestPrefix);
                hasVersion = true;
            } else if (key == "id" && !hasId) {
                if (v.get_int64().get(request.id) || request.id < 0)
                    throwShape(kRequestPrefix, "\"id\" deve ser um inteiro não negativo");
                id = request.id;
                hasId = true;
            } else if (key == "method" && !hasMethod) {
                request.method = readString(v, kRequestPrefix, "\"method\"");
                if (request.method.empty())
                    throwShape(kRequestPrefix, "\"method\" está vazio");
                hasMethod = true;
            } else if (key == "params" && !hasParams) {
                inParams = true;
                request.params = readArgs(v, input, kRequestPrefix, "\"params\"");
                inParams = false;
                hasParams = true;
            } else {
                throwShape(kRequestPrefix, "chave inesperada ou repetida " + inQuotes(key));
            }
        });
        if (!hasVersion)
            throwShape(kRequestPrefix, "falta \"jsonrpc\"");
        if (!hasId)
            throwShape(kRequestPrefix, "falta \"id\"");
        if (!hasMethod)
            throwShape(kRequestPrefix, "falta \"method\"");
        input.expectEnd();
    } catch (const DecodeFailure& e) {
        const int code = e.syntax() ? kParseError : inParams ? kInvalidParams : kInvalidRequest;
        throw RpcDecodeError(code, e.what(), id);
    } catch (const WireError& e) {
        throw RpcDecodeError(inParams ? kInvalidParams : kInvalidRequest, e.what(), id);
    }
    return request;
}

std::string encodeResult(std::int64_t id, const std::vector<RpcArg>& refs,
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

std::string encodeResultAround(std::int64_t id, const std::vector<RpcArg>& refs,
                               std::string&& dataJson)
{
    if (dataJson.empty())
        return encodeResult(id, refs, {});
    // The envelope of an empty packet ends in the packet and the two objects it closes.
    constexpr std::string_view kEmptyEnd = "{}}}";
    std::string head = encodeResult(id, refs, "{}");
    if (head.size() < kEmptyEnd.size() ||
        std::string_view(head).substr(head.size() - kEmptyEnd.size()) != kEmptyEnd)
        return encodeResult(id, refs, dataJson);
    head.resize(head.size() - kEmptyEnd.size());
    dataJson.insert(0, head);
    dataJson += "}}";
    return std::move(dataJson);
}

namespace {

// An envelope whose one member after the id is an object of two members, the second a text.
template <class WriteFirst>
std::string encodeTwoMemberEnvelope(std::int64_t id, const char* member, unsigned memberLength,
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

} // namespace

std::string encodeFailure(std::int64_t id, std::string_view message)
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
    return encodeTwoMemberEnvelope(
        id, "error", 5,
        [code](JsonWriter& w) {
            w.Key("code", 4);
            w.Int(code);
        },
        "message", 7, message);
}

RpcResponse decodeResponse(std::string_view json)
{
    constexpr std::string_view p = kResponsePrefix;
    RpcResponse response;
    JsonInput input(json, p);
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

} // namespace cht::wire
