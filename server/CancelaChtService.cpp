#include "CancelaChtService.h"
#include "SqlTransaction.h"

#include "Audit.h"
#include "ChtRepository.h"
#include "ParamError.h"
#include "RuleError.h"

#include "platform/wire/ChtListColumns.h"
#include "platform/wire/KeyList.h"
#include "platform/wire/OleDate.h"
#include "platform/wire/Utf8.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <map>
#include <set>
#include <stdexcept>

namespace cht::server {

using wire::RpcArg;

namespace {

constexpr std::size_t kMaxJustification = 2000;
// GetCHT's texts: a key list, a mark, the status set, the operator. Arguments are short where the
// method knows their sizes, so that no request holds or sends back more than it needs.
constexpr std::size_t kMaxKeyList = 256 * 1024;
constexpr std::size_t kMaxMark = 1;
constexpr std::size_t kMaxStatusSet = 32;
constexpr std::size_t kMaxOperator = 64;

const std::array<std::string_view, 7> kMethods = {
    "GetCHT", "CancelaCHT", "ConfirmaCHT", "SetCHT", "GetConsultaCSA", "GetParcVenc", "GetData",
};

const std::array<const char*, 6> kKeyFields = {
    "NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV", "NRSERVCONT", "NRSEQUCHT", "CDFUNC",
};

bool sameName(std::string_view a, std::string_view b)
{
    return wire::sameFieldName(a, b);
}

void expectCount(std::string_view method, const std::vector<RpcArg>& params, std::size_t n)
{
    if (params.size() != n) {
        throw ParamError("O método " + std::string(method) + " espera " + std::to_string(n) +
                         (n == 1 ? " argumento" : " argumentos") + ", mas recebeu " +
                         std::to_string(params.size()) + ".");
    }
}

std::string argName(std::string_view method, std::size_t i, std::string_view name)
{
    return "O argumento " + std::to_string(i + 1) + " (" + std::string(name) + ") de " +
           std::string(method);
}

const std::string& textArg(std::string_view method, const std::vector<RpcArg>& params,
                           std::size_t i, std::string_view name, std::size_t maxChars)
{
    if (params[i].kind != RpcArg::Kind::Text)
        throw ParamError(argName(method, i, name) + " deve ser um texto.");
    const std::string& text = params[i].text;
    // A character takes at most four bytes: most texts need no count.
    if (text.size() > maxChars && (text.size() > 4 * maxChars || wire::charCount(text) > maxChars))
        throw ParamError(argName(method, i, name) + " passa de " + std::to_string(maxChars) +
                         (maxChars == 1 ? " caractere." : " caracteres."));
    return text;
}

// The size of a text column of the CHT list, by its name.
std::size_t listColumnSize(std::string_view name)
{
    return wire::kChtListColumns[wire::chtListColumnIndex(name)].size;
}

double dateArg(std::string_view method, const std::vector<RpcArg>& params, std::size_t i,
               std::string_view name)
{
    if (params[i].kind != RpcArg::Kind::Number)
        throw ParamError(argName(method, i, name) + " deve ser uma data (número de dias).");
    return params[i].number;
}

std::vector<std::string> listArg(const std::string& text, const char* what)
{
    std::vector<std::string> keys;
    try {
        keys = wire::decodeKeyList(text);
    } catch (const wire::WireError& e) {
        throw RuleError(std::string("A lista de ") + what +
                        " não está no formato esperado: " + e.what());
    }
    for (const auto& k : keys)
        if (k.find('\0') != std::string::npos)
            throw RuleError(std::string("A lista de ") + what + " contém um código inválido.");
    return keys;
}

std::int64_t dayArg(double ole, const char* what)
{
    if (!wire::isOleInRange(ole))
        throw RuleError(std::string("A ") + what + " está fora do intervalo de datas aceito.");
    return wire::oleDayNumber(ole);
}

// One cell of a change, before and after: for texts null and the empty text are the same; numbers
// compare by value.
bool sameCell(const wire::ColumnTable& olds, const wire::ColumnTable& news, std::size_t change,
              std::size_t col)
{
    if (olds.fields()[col].type == wire::FieldType::Text)
        return olds.text(change, col) == news.text(change, col);
    const bool oldNull = olds.isNull(change, col);
    if (oldNull || news.isNull(change, col))
        return oldNull == news.isNull(change, col);
    if (olds.fields()[col].type == wire::FieldType::Integer)
        return olds.integer(change, col) == news.integer(change, col);
    return olds.number(change, col) == news.number(change, col);
}

// Blank: nothing but white space, control characters and invisible marks (no-break and
// zero-width spaces, the byte-order mark), which a reader of the justification would not see.
bool isBlank(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c <= 0x20 || c == 0x7F) {
            ++i;
            continue;
        }
        // Decode one code point of (valid) UTF-8.
        std::uint32_t cp = 0;
        std::size_t n = 1;
        if (c >= 0xF0) {
            cp = c & 0x07u;
            n = 4;
        } else if (c >= 0xE0) {
            cp = c & 0x0Fu;
            n = 3;
        } else if (c >= 0xC0) {
            cp = c & 0x1Fu;
            n = 2;
        } else {
            return false;
        }
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
        const bool invisible = (cp >= 0x80 && cp <= 0xA0) || cp == 0x1680 ||
                               (cp >= 0x2000 && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202F) ||
                               (cp >= 0x205F && cp <= 0x2064) || cp == 0x3000 || cp == 0xFEFF;
        if (!invisible)
            return false;
        i += n;
    }
    return true;
}

// What a field of a delta is to SetCHT.
enum class DeltaField { Tick, Signed, ClientOk, Status, Justification, Other };

DeltaField deltaField(std::string_view name)
{
    if (name == "IDCHECK")
        return DeltaField::Tick;
    if (name == "IDCHTASSINADA")
        return DeltaField::Signed;
    if (name == "IDCHTPGTOOK")
        return DeltaField::ClientOk;
    if (name == "IDSTATUSCHT")
        return DeltaField::Status;
    if (name == "DSALTERACAOCHT")
        return DeltaField::Justification;
    return DeltaField::Other;
}

// The stored value of a changeable field.
std::string& storedValue(ChtState& s, DeltaField field)
{
    switch (field) {
    case DeltaField::Status:
        return s.idStatusCht;
    case DeltaField::ClientOk:
        return s.idChtPgtoOk;
    case DeltaField::Signed:
        return s.idChtAssinada;
    default:
        return s.dsAlteracaoCht;
    }
}

std::optional<std::string>& newValue(ChtChange& c, DeltaField field)
{
    switch (field) {
    case DeltaField::Status:
        return c.idStatusCht;
    case DeltaField::ClientOk:
        return c.idChtPgtoOk;
    case DeltaField::Signed:
        return c.idChtAssinada;
    default:
        return c.dsAlteracaoCht;
    }
}

std::string conflict(const ChtKey& key)
{
    // The same log would be refused again at every save: the operator must reload it.
    return "A " + key.describe() +
           " foi alterada por outro usuário. Recarregue a lista com Verificar (F5) e refaça a"
           " alteração; as alterações desta lista ainda não gravadas serão descartadas.";
}

std::string gone(const ChtKey& key)
{
    return "A " + key.describe() + " não existe mais: foi excluída por outro usuário.";
}

} // namespace

CancelaChtService::CancelaChtService(Store& store, Clock clock)
    : m_store(store), m_clock(clock ? std::move(clock) : Clock(&CancelaChtService::localNow))
{}

std::string_view CancelaChtService::findMethod(std::string_view name)
{
    for (std::string_view m : kMethods)
        if (sameName(m, name))
            return m;
    return {};
}

CallResult CancelaChtService::call(std::string_view method, std::vector<RpcArg> params,
                                   const Caller& caller)
{
    std::string_view m = findMethod(method);
    if (m == "GetCHT")
        return getCht(std::move(params), caller);
    if (m == "CancelaCHT")
        return cancelaCht(std::move(params), caller);
    if (m == "ConfirmaCHT")
        return confirmaCht(std::move(params), caller);
    if (m == "SetCHT")
        return setCht(std::move(params), caller);
    if (m == "GetConsultaCSA")
        return getConsultaCsa(std::move(params));
    if (m == "GetParcVenc")
        return getParcVenc(std::move(params));
    if (m == "GetData")
        return getData(std::move(params));
    throw ParamError("Método desconhecido: \"" + std::string(method) + "\".");
}

double CancelaChtService::localNow()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    wire::CivilDateTime c;
    c.year = local.tm_year + 1900;
    c.month = local.tm_mon + 1;
    c.day = local.tm_mday;
    c.hour = local.tm_hour;
    c.minute = local.tm_min;
    c.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    c.msec = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return wire::oleFromCivil(c);
}

CallResult CancelaChtService::getCht(std::vector<RpcArg> params, const Caller& caller)
{
    constexpr std::string_view m = "GetCHT";
    expectCount(m, params, 8);
    const std::string& clientes = textArg(m, params, 0, "Clientes", kMaxKeyList);
    const std::string& todosClientes = textArg(m, params, 1, "TodosClientes", kMaxMark);
    const std::string& funcs = textArg(m, params, 2, "Funcs", kMaxKeyList);
    const std::string& todosFuncs = textArg(m, params, 3, "TodosFuncs", kMaxMark);
    double dataIni = dateArg(m, params, 4, "DataIni");
    double dataFin = dateArg(m, params, 5, "DataFin");
    const std::string& situacao = textArg(m, params, 6, "Situacao", kMaxStatusSet);
    const std::string& operador = textArg(m, params, 7, "Operador", kMaxOperator);
    // The list tells which rows the operator may tick: it is for the one signed in only.
    if (!wire::sameFieldName(operador, caller.operador)) {
        throw RuleError("A lista de CHTs só pode ser pedida para o operador da sessão (" +
                        caller.operador + ").");
    }

    ChtFilter filter;
    filter.allClients = todosClientes == "T";
    if (!filter.allClients)
        filter.clients = listArg(clientes, "clientes");
    filter.allFuncs = todosFuncs == "T";
    if (!filter.allFuncs)
        filter.funcs = listArg(funcs, "funcionários");
    filter.firstDay = dayArg(dataIni, "data inicial");
    filter.lastDay = dayArg(dataFin, "data final");
    filter.situacao = situacao;

    CallResult result;
    {
        wire::PacketWriter writer(result.dataJson, &result.dataApart);
        result.rows = ChtListReader::write(m_store, filter, writer, m_listSplit);
    }
    // Only GetCHT takes arguments by reference: the seven criteria come back as they are, the
    // operator (by value) as null. The other methods send nothing back of theirs (a key set or a
    // delta of 100,000 rows would travel twice).
    result.refs = std::move(params);
    result.refs[7] = RpcArg{};
    return result;
}

std::vector<ChtKey> CancelaChtService::keysOf(const wire::ColumnTable& packet) const
{
    std::array<std::size_t, 6> columns{};
    for (std::size_t i = 0; i < kKeyFields.size(); ++i) {
        int c = packet.indexOf(kKeyFields[i]);
        if (c < 0) {
            throw ParamError(std::string("O pacote de chaves não traz o campo ") + kKeyFields[i] +
                             ".");
        }
        if (packet.fields()[static_cast<std::size_t>(c)].type != wire::FieldType::Text) {
            throw ParamError(std::string("O campo ") + kKeyFields[i] +
                             " do pacote de chaves deve ser um texto.");
        }
        columns[i] = static_cast<std::size_t>(c);
    }
    if (packet.rowCount() == 0)
        throw RuleError("Nenhuma CHT foi informada.");
    std::vector<ChtKey> keys;
    std::set<ChtKey> seen;
    for (std::size_t r = 0; r < packet.rowCount(); ++r) {
        ChtKey k{std::string(packet.text(r, columns[0])), std::string(packet.text(r, columns[1])),
                 std::string(packet.text(r, columns[2])), std::string(packet.text(r, columns[3])),
                 std::string(packet.text(r, columns[4])), std::string(packet.text(r, columns[5]))};
        if (seen.insert(k).second)
            keys.push_back(std::move(k));
    }
    return keys;
}

CallResult CancelaChtService::forEachUnbilled(std::string_view method, std::vector<RpcArg> params,
                                              std::string_view verb, const Caller& caller,
                                              const KeySetAction& action)
{
    expectCount(method, params, 1);
    if (params[0].kind != RpcArg::Kind::Data)
        throw ParamError(argName(method, 0, "chaves") + " deve ser um pacote de dados.");
    const std::vector<ChtKey> keys = keysOf(params[0].data);
    auto lease = m_store.acquire();
    SqlTransaction tx(*lease);
    const auto stored = ChtRepository::findAll(*lease, keys);
    auto first = [&stored](auto&& refused) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < stored.size(); ++i)
            if (refused(stored[i]))
                return i;
        return std::nullopt;
    };
    // All or nothing: a key that is gone, then a billed CHT, then one of another manager refuses
    // the whole set, naming the first.
    if (const auto gonePos = first([](const auto& s) { return !s; }))
        throw RuleError(gone(keys.at(*gonePos)));
    if (const auto billedPos = first([](const auto& s) { return s->idStatusCht == "R"; })) {
        throw RuleError("A " + keys.at(*billedPos).describe() + " já foi faturada e não pode ser " +
                        std::string(verb) + ".");
    }
    if (const auto otherPos =
            first([&caller](const auto& s) { return s->manager != caller.operador; })) {
        throw RuleError("A " + keys.at(*otherPos).describe() +
                        " é de um cliente de outro gerente e não pode ser " + std::string(verb) +
                        " por " + caller.operador + ". Nenhuma CHT foi alterada.");
    }
    action(*lease, keys, stored);
    tx.commit();
    CallResult result;
    result.rows = keys.size();
    return result;
}

CallResult CancelaChtService::confirmaCht(std::vector<RpcArg> params, const Caller& caller)
{
    return forEachUnbilled(
        "ConfirmaCHT", std::move(params), "aprovada", caller,
        [&caller](SqlConnection& c, const std::vector<ChtKey>& keys,
                  const std::vector<std::optional<ChtState>>& stored) {
            // Those approved already are left alone.
            const std::string approved = "A";
            std::vector<AuditChange> audit;
            std::vector<ChtChange> changes;
            audit.reserve(keys.size());
            changes.reserve(keys.size());
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (stored[i]->idStatusCht == approved)
                    continue;
                audit.push_back(
                    {Audit::keyText(keys[i]), "IDSTATUSCHT", stored[i]->idStatusCht, approved});
                ChtChange& change = changes.emplace_back();
                change.key = keys[i];
                change.row = stored[i]->row;
                change.idStatusCht = approved;
            }
            Audit::recordAll(c, caller, "ConfirmaCHT", audit);
            ChtRepository::updateAll(c, changes);
        });
}

CallResult CancelaChtService::cancelaCht(std::vector<RpcArg> params, const Caller& caller)
{
    return forEachUnbilled(
        "CancelaCHT", std::move(params), "excluída", caller,
        [&caller](SqlConnection& c, const std::vector<ChtKey>& keys,
                  const std::vector<std::optional<ChtState>>& stored) {
            std::vector<AuditChange> audit;
            audit.reserve(keys.size());
            for (std::size_t i = 0; i < keys.size(); ++i)
                audit.push_back(
                    {Audit::keyText(keys[i]), "IDSTATUSCHT", stored[i]->idStatusCht, std::nullopt});
            Audit::recordAll(c, caller, "CancelaCHT", audit);
            ChtRepository::removeAll(c, keys);
        });
}

CallResult CancelaChtService::setCht(std::vector<RpcArg> params, const Caller& caller)
{
    constexpr std::string_view m = "SetCHT";
    expectCount(m, params, 1);
    if (params[0].kind != RpcArg::Kind::Delta)
        throw ParamError(argName(m, 0, "alterações") + " deve ser um pacote de alterações.");
    const wire::DeltaPacket& delta = params[0].delta;
    const wire::ColumnTable& olds = delta.before();
    const wire::ColumnTable& news = delta.after();

    // Each field of the delta by its own name; anything that is not a CHT list field is refused.
    const auto& known = wire::chtListFields();
    std::vector<std::string> names;
    std::vector<DeltaField> kinds;
    std::vector<bool> isText;
    for (const auto& f : delta.fields()) {
        std::string canonical;
        for (const auto& k : known)
            if (sameName(k.name, f.name))
                canonical = k.name;
        if (canonical.empty())
            throw RuleError("O campo " + f.name + " não pertence à lista de CHTs.");
        kinds.push_back(deltaField(canonical));
        names.push_back(std::move(canonical));
        isText.push_back(f.type == wire::FieldType::Text);
    }
    std::array<std::size_t, 6> keyIndex{};
    for (std::size_t i = 0; i < kKeyFields.size(); ++i) {
        int c = delta.indexOf(kKeyFields[i]);
        if (c < 0) {
            throw RuleError(std::string("O pacote de alterações não traz o campo de chave ") +
                            kKeyFields[i] + ".");
        }
        keyIndex[i] = static_cast<std::size_t>(c);
        if (!isText[keyIndex[i]]) {
            throw RuleError(std::string("O campo de chave ") + kKeyFields[i] +
                            " deve ser um texto.");
        }
    }
    const int justIndex = delta.indexOf("DSALTERACAOCHT");

    auto keyOf = [&keyIndex, &olds](std::size_t change) {
        const auto part = [&](std::size_t i) {
            return std::string(olds.text(change, keyIndex[i]));
        };
        return ChtKey{part(0), part(1), part(2), part(3), part(4), part(5)};
    };
    auto changesStored = [&](std::size_t change) {
        for (std::size_t i = 0; i < kinds.size(); ++i)
            if (kinds[i] != DeltaField::Tick && !sameCell(olds, news, change, i))
                return true;
        return false;
    };

    // Only the CHTs whose stored fields change are read: the rows of a tick-all change nothing
    // but the screen's selection, and pass every rule as they are. Each CHT once, whatever
    // number of changes it has.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    constexpr std::size_t kQuiet = static_cast<std::size_t>(-2);
    std::vector<ChtKey> keys;
    std::vector<std::size_t> slotOf(delta.size(), kNone);
    {
        std::map<ChtKey, std::size_t> slots;
        for (std::size_t c = 0; c < delta.size(); ++c) {
            if (delta.op(c) != wire::ChangeOp::Update)
                continue;
            if (!changesStored(c)) {
                slotOf[c] = kQuiet;
                continue;
            }
            auto [at, added] = slots.emplace(keyOf(c), keys.size());
            if (added)
                keys.push_back(at->first);
            slotOf[c] = at->second;
        }
    }

    auto lease = m_store.acquire();
    SqlTransaction tx(*lease);
    // Read (and locked) at once; each change is checked against the values the earlier changes
    // of this delta left, and nothing is written before every change has passed.
    std::vector<std::optional<ChtState>> stored = ChtRepository::findAll(*lease, keys);
    std::vector<std::optional<ChtChange>> writes(keys.size());
    std::vector<AuditChange> audit;
    struct Set {
        std::size_t field;
        std::string value;
    };
    std::vector<Set> sets;
    std::vector<std::pair<DeltaField, std::string>> expected;
    std::size_t applied = 0;
    for (std::size_t c = 0; c < delta.size(); ++c) {
        if (slotOf[c] == kQuiet)
            continue;
        if (delta.op(c) == wire::ChangeOp::Insert)
            throw RuleError("Não é permitido incluir CHTs.");
        if (delta.op(c) == wire::ChangeOp::Delete)
            throw RuleError("CHTs não são excluídas por alteração: use o comando Excluir CHT.");
        // Named only by messages and by the rows that change something.
        std::optional<ChtKey> named;
        auto key = [&]() -> const ChtKey& {
            if (!named)
                named = keyOf(c);
            return *named;
        };

        sets.clear();
        expected.clear();
        bool statusChanged = false;
        bool justChanged = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (sameCell(olds, news, c, i))
                continue;
            const std::string& name = names[i];
            if (kinds[i] == DeltaField::Tick)
                continue; // the screen's selection: not stored
            if (kinds[i] == DeltaField::Other) {
                throw RuleError("O campo " + name + " não pode ser alterado (" + key().describe() +
                                ").");
            }
            if (!isText[i])
                throw RuleError("Valor inválido no campo " + name + " da " + key().describe() +
                                ".");
            const std::string_view next = news.text(c, i);
            if (kinds[i] == DeltaField::Signed || kinds[i] == DeltaField::ClientOk) {
                if (next != "S" && next != "N") {
                    throw RuleError("O campo " + name + " da " + key().describe() +
                                    " aceita apenas \"S\" ou \"N\".");
                }
            } else if (kinds[i] == DeltaField::Status) {
                const std::string_view previous = olds.text(c, i);
                if (next != "N") {
                    throw RuleError("A situação da " + key().describe() +
                                    " só pode ser alterada para \"N\" (Não faturar) por esta via.");
                }
                if (previous == "R") {
                    throw RuleError("A " + key().describe() +
                                    " já foi faturada e não pode ser marcada para não faturar.");
                }
                if (previous != "P" && previous != "A")
                    throw RuleError(conflict(key()));
                statusChanged = true;
            } else {
                justChanged = true;
            }
            sets.push_back({i, std::string(next)});
            expected.emplace_back(kinds[i], std::string(olds.text(c, i)));
        }
        if (sets.empty())
            continue;
        const std::size_t slot = slotOf[c];
        if (slot >= keys.size())
            throw std::logic_error("SetCHT: alteração sem a leitura da CHT");
        if (!stored[slot])
            throw RuleError(gone(key()));
        ChtState& now = *stored[slot];
        if (statusChanged || justChanged) {
            // A delta carries the key and the fields changed in some row: a status change whose
            // justification is already the stored one may come without it.
            std::string justification =
                justIndex >= 0 && isText[static_cast<std::size_t>(justIndex)]
                    ? std::string(news.text(c, static_cast<std::size_t>(justIndex)))
                    : now.dsAlteracaoCht;
            if (isBlank(justification)) {
                throw RuleError("Informe a justificativa para marcar a " + key().describe() +
                                " para não faturar.");
            }
            if (wire::charCount(justification) > kMaxJustification) {
                throw RuleError("A justificativa da " + key().describe() + " passa de " +
                                std::to_string(kMaxJustification) + " caracteres.");
            }
            if (!justChanged) {
                // The justification travels unchanged: it must still be the stored one.
                expected.emplace_back(DeltaField::Justification, std::move(justification));
            }
        }
        for (const auto& e : expected)
            if (storedValue(now, e.first) != e.second)
                throw RuleError(conflict(key()));
        if (justChanged && !statusChanged && now.idStatusCht != "N") {
            throw RuleError("A justificativa só pode ser alterada em CHT marcada para não "
                            "faturar (" +
                            key().describe() + ").");
        }
        // Not to bill is the manager's decision, as on the screen; the marks are anyone's.
        if ((statusChanged || justChanged) && now.manager != caller.operador) {
            throw RuleError("A " + key().describe() +
                            " é de um cliente de outro gerente: só ele pode marcá-la para não "
                            "faturar. Nenhuma alteração foi gravada.");
        }
        const std::string keyText = Audit::keyText(key());
        if (!writes[slot]) {
            writes[slot].emplace();
            writes[slot]->key = key();
            writes[slot]->row = now.row;
        }
        for (Set& set : sets) {
            std::string& value = storedValue(now, kinds[set.field]);
            audit.push_back({keyText, names[set.field],
                             value.empty() ? std::nullopt : std::optional<std::string>(value),
                             set.value});
            value = set.value;
            newValue(*writes[slot], kinds[set.field]) = std::move(set.value);
        }
        ++applied;
    }
    std::vector<ChtChange> changes;
    changes.reserve(writes.size());
    for (auto& w : writes)
        if (w)
            changes.push_back(std::move(*w));
    Audit::recordAll(*lease, caller, "SetCHT", audit);
    ChtRepository::updateAll(*lease, changes);
    tx.commit();
    CallResult result;
    result.rows = applied;
    return result;
}

template <std::size_t N, class Write>
CallResult CancelaChtService::textArgsQuery(std::string_view method, std::vector<RpcArg> params,
                                            const std::array<const char*, N>& names, Write write)
{
    expectCount(method, params, names.size());
    std::vector<std::string> args;
    for (std::size_t i = 0; i < names.size(); ++i)
        args.push_back(textArg(method, params, i, names[i], listColumnSize(names[i])));
    CallResult result;
    {
        auto lease = m_store.acquire();
        wire::PacketWriter writer(result.dataJson);
        result.rows = write(*lease, args, writer);
    }
    return result;
}

CallResult CancelaChtService::getConsultaCsa(std::vector<RpcArg> params)
{
    static const std::array<const char*, 8> names = {
        "CDCLIENTE",    "CDFUNC",    "CDTIPOSERV", "NRPROPOSFAS",
        "NRVERPROPFAS", "NRSEQUCHT", "CDEMPRESA",  "NRSERVCONT",
    };
    return textArgsQuery("GetConsultaCSA", std::move(params), names, &ChtRepository::writeCdas);
}

CallResult CancelaChtService::getParcVenc(std::vector<RpcArg> params)
{
    static const std::array<const char*, 3> names = {"CDCLIENTE", "NRPROPOSFAS", "NRVERPROPFAS"};
    return textArgsQuery("GetParcVenc", std::move(params), names, &ChtRepository::writeParcels);
}

CallResult CancelaChtService::getData(std::vector<RpcArg> params)
{
    expectCount("GetData", params, 0);
    CallResult result;
    wire::PacketWriter writer(result.dataJson);
    writer.begin({{"SYSDATE", wire::FieldType::DateTime, 0}});
    writer.beginRow();
    writer.number(m_clock());
    writer.endRow();
    writer.end();
    result.rows = 1;
    return result;
}

} // namespace cht::server
