#include "SessionService.h"

#include "Audit.h"
#include "Credentials.h"
#include "RuleError.h"
#include "SqlTransaction.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace cht::server {

namespace {

constexpr std::int64_t kMinute = 60'000;
// Longer texts are not operator codes or passwords anybody types: refused like a wrong one.
constexpr std::size_t kMaxCode = 64;
constexpr std::size_t kMaxPassword = 1024;

std::int64_t epochNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t ms(std::chrono::minutes m)
{
    return static_cast<std::int64_t>(m.count()) * kMinute;
}

bool isToken(std::string_view token)
{
    return token.size() == 64 &&
           std::all_of(
               token.begin(), token.end(),
               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

struct OperatorRow {
    std::string name;
    bool active = false;
    std::string hash; // empty: no password set
};

std::optional<OperatorRow> findOperator(SqlConnection& c, const std::string& code)
{
    SqlStatement& st =
        c.cached("SELECT NMOPERADOR, IDATIVO, DSSENHAHASH FROM OPERADOR WHERE CDOPERADOR = ?");
    st.bindText(1, code);
    std::optional<OperatorRow> row;
    if (st.step())
        row = OperatorRow{std::string(st.text(0)), st.text(1) == "S",
                          st.isNull(2) ? std::string() : std::string(st.text(2))};
    st.reset();
    return row;
}

// Times of the refused sign-ins of a code (or an address) since `from`, oldest first.
std::vector<std::int64_t> refusals(SqlConnection& c, bool byAddress, const std::string& value,
                                   std::int64_t from)
{
    static const std::string byCode = SessionService::refusalsSql(false);
    static const std::string byPlace = SessionService::refusalsSql(true);
    SqlStatement& st = c.cached(byAddress ? byPlace : byCode);
    st.bindText(1, value);
    st.bindInt(2, from);
    std::vector<std::int64_t> out;
    while (st.step())
        out.push_back(st.integer(0));
    st.reset();
    return out;
}

} // namespace

SessionService::SessionService(Store& store, SessionLimits limits, EpochClock clock)
    : m_store(store), m_limits(limits), m_clock(clock ? std::move(clock) : EpochClock(epochNow)),
      m_decoyHash(Credentials::hashPassword(Credentials::newToken()))
{}

std::string SessionService::normalizedCode(std::string_view text)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    std::string out(text.substr(b, e - b));
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The literal method name lets both databases read the partial indexes that hold those rows only.
std::string SessionService::refusalsSql(bool byAddress)
{
    return std::string("SELECT DTEVENTO FROM AUDITORIA WHERE NMMETODO = 'EntrarRecusado' AND ") +
           (byAddress ? "DSENDERECO" : "CDOPERADOR") +
           " = ? AND DTEVENTO >= CAST(? AS BIGINT) ORDER BY DTEVENTO";
}

std::int64_t SessionService::lockedFor(SqlConnection& c, const std::string& code,
                                       const std::string& address)
{
    const std::int64_t at = now();
    const std::int64_t window = ms(m_limits.window);
    const std::int64_t lockout = ms(m_limits.lockout);
    const auto needed = static_cast<std::size_t>(std::max(m_limits.maxFailures, 1));
    std::int64_t until = 0;
    // Locked from the refusal that made `needed` of them within the window, for `lockout`.
    for (auto [byAddress, value] : {std::pair{false, code}, std::pair{true, address}}) {
        const auto times = refusals(c, byAddress, value, at - window - lockout);
        for (std::size_t i = needed - 1; i < times.size(); ++i)
            if (times[i] - times[i - (needed - 1)] <= window)
                until = std::max(until, times[i] + lockout);
    }
    return until > at ? until - at : 0;
}

SessionService::SignedIn SessionService::signIn(std::string_view operador,
                                                std::string_view password,
                                                const std::string& address)
{
    std::string code = normalizedCode(operador);
    const bool oversized = code.size() > kMaxCode || password.size() > kMaxPassword;
    if (code.size() > kMaxCode)
        code.resize(kMaxCode);
    Caller attempt{code, 0, address, now()};
    std::optional<OperatorRow> row;
    {
        auto lease = m_store.acquire();
        if (const std::int64_t wait = lockedFor(*lease, code, address); wait > 0) {
            Audit::record(*lease, attempt, "EntrarBloqueado", std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt);
            const std::int64_t minutes = (wait + kMinute - 1) / kMinute;
            throw RuleError("Entrada bloqueada por excesso de tentativas sem sucesso. Tente "
                            "novamente em " +
                            std::to_string(minutes) + (minutes == 1 ? " minuto." : " minutos."));
        }
        if (!oversized)
            row = findOperator(*lease, code);
    }
    // The same work whatever the reason of a refusal: a decoy hash stands in for a missing one.
    const bool usable = row && row->active && !row->hash.empty();
    bool matches = false;
    {
        m_hashing.acquire();
        struct Release {
            std::counting_semaphore<2>& s;
            ~Release() { s.release(); }
        } release{m_hashing};
        matches = Credentials::verifyPassword(usable ? row->hash : m_decoyHash, password);
    }
    auto lease = m_store.acquire();
    SqlTransaction tx(*lease);
    if (!usable || !matches || password.empty()) {
        const char* reason = !row                ? "operador desconhecido"
                             : !row->active      ? "operador desativado"
                             : row->hash.empty() ? "operador sem senha"
                                                 : "senha incorreta";
        Audit::record(*lease, attempt, "EntrarRecusado", std::nullopt, std::nullopt, std::nullopt,
                      std::string(reason));
        tx.commit();
        throw RuleError(std::string(kRefused));
    }
    SignedIn out;
    out.token = Credentials::newToken();
    out.operador = code;
    out.name = row->name;
    {
        SqlStatement& st = lease->cached(
            "INSERT INTO SESSAO (DSTOKENHASH, CDOPERADOR, DSENDERECO, DTCRIACAO, DTULTIMOUSO,"
            " DTEXPIRA) VALUES (?, ?, ?, CAST(? AS BIGINT), CAST(? AS BIGINT), CAST(? AS BIGINT))"
            " RETURNING NRSESSAO");
        st.bindText(1, Credentials::tokenHash(out.token));
        st.bindText(2, code);
        st.bindText(3, address);
        st.bindInt(4, attempt.at);
        st.bindInt(5, attempt.at);
        st.bindInt(6, attempt.at + ms(m_limits.absolute));
        if (st.step())
            out.session = st.integer(0);
        st.reset();
    }
    attempt.session = out.session;
    Audit::record(*lease, attempt, "Entrar", std::nullopt, std::nullopt, std::nullopt,
                  std::nullopt);
    tx.commit();
    return out;
}

std::optional<Caller> SessionService::check(std::string_view token, const std::string& address)
{
    if (!isToken(token))
        return std::nullopt;
    const std::int64_t at = now();
    auto lease = m_store.acquire();
    SqlStatement& st =
        lease->cached("SELECT S.NRSESSAO, S.CDOPERADOR, S.DTULTIMOUSO, S.DTEXPIRA FROM SESSAO S"
                      " JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR"
                      " WHERE S.DSTOKENHASH = ? AND S.IDREVOGADA = 'N' AND O.IDATIVO = 'S'");
    st.bindText(1, Credentials::tokenHash(token));
    if (!st.step()) {
        st.reset();
        return std::nullopt;
    }
    Caller caller{std::string(st.text(1)), st.integer(0), address, at};
    const std::int64_t lastUse = st.integer(2);
    const std::int64_t expires = st.integer(3);
    st.reset();
    if (at >= expires || at - lastUse >= ms(m_limits.idle))
        return std::nullopt;
    // The idle limit counts in minutes: writing every call's time would make each read a write.
    if (at - lastUse >= std::min<std::int64_t>(kMinute, ms(m_limits.idle) / 10)) {
        SqlStatement& touch = lease->cached("UPDATE SESSAO SET DTULTIMOUSO = CAST(? AS BIGINT)"
                                            " WHERE NRSESSAO = CAST(? AS BIGINT)"
                                            " AND DTULTIMOUSO < CAST(? AS BIGINT)");
        touch.bindInt(1, at);
        touch.bindInt(2, caller.session);
        touch.bindInt(3, at);
        touch.run();
    }
    return caller;
}

std::optional<std::string> SessionService::signOut(std::string_view token,
                                                   const std::string& address)
{
    const std::optional<Caller> caller = check(token, address);
    if (!caller)
        return std::nullopt;
    auto lease = m_store.acquire();
    SqlTransaction tx(*lease);
    SqlStatement& st =
        lease->cached("UPDATE SESSAO SET IDREVOGADA = 'S' WHERE NRSESSAO = CAST(? AS BIGINT)");
    st.bindInt(1, caller->session);
    st.run();
    Audit::record(*lease, *caller, "Sair", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    tx.commit();
    return caller->operador;
}

} // namespace cht::server
