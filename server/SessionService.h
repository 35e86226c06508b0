// Operators signing in and out, and the sessions that every call of the remote object needs.
#pragma once

#include "Caller.h"
#include "Store.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>

namespace cht::server {

struct SessionLimits {
    /// A session unused this long ends.
    std::chrono::minutes idle{60};
    /// A session ends this long after it began, used or not.
    std::chrono::minutes absolute{12 * 60};
    /// This many refused sign-ins of one operator code, or from one address, within `window`
    /// refuse the next ones for `lockout`.
    int maxFailures = 5;
    std::chrono::minutes window{15};
    std::chrono::minutes lockout{15};
};

/// Sessions live in the database (only a hash of each token), so that several servers over one
/// PostgreSQL share them and a restart signs nobody out.
class SessionService {
public:
    /// Milliseconds since 1970 (UTC); tests inject their own.
    using EpochClock = std::function<std::int64_t()>;
    static constexpr std::string_view kObjectName = "Sessao";
    /// What every refused sign-in hears, whatever the reason (unknown, disabled, wrong password).
    static constexpr std::string_view kRefused = "Operador ou senha inválidos.";

    explicit SessionService(Store& store, SessionLimits limits = {}, EpochClock clock = {});

    struct SignedIn {
        std::string token;
        std::string operador;
        std::string name;
        std::int64_t session = 0;
    };
    /// Checks the password and opens a session; throws RuleError with kRefused (or the lockout
    /// message) otherwise. Every attempt is recorded in the audit trail.
    SignedIn signIn(std::string_view operador, std::string_view password,
                    const std::string& address);
    /// The caller a token stands for, or nothing when it is unknown, expired, revoked or its
    /// operator disabled. One indexed read; the last use is written at most once a minute.
    std::optional<Caller> check(std::string_view token, const std::string& address);
    /// Revokes the token's session; returns its operator, or nothing when it was not a valid one.
    std::optional<std::string> signOut(std::string_view token, const std::string& address);

    std::int64_t now() const { return m_clock(); }
    Store& store() const { return m_store; }
    const SessionLimits& limits() const { return m_limits; }

    /// An operator code as sessions and the audit trail keep it: trimmed, upper case.
    static std::string normalizedCode(std::string_view text);
    /// The query of the refused sign-ins of an operator code (or of an address), since a time,
    /// which throttling runs at every sign-in: two parameters, the code (address) and the time.
    static std::string refusalsSql(bool byAddress);

private:
    /// Milliseconds until sign-in is possible again for the code or the address; 0: now.
    std::int64_t lockedFor(SqlConnection& c, const std::string& code, const std::string& address);

    Store& m_store;
    SessionLimits m_limits;
    EpochClock m_clock;
    /// Verified against for unknown or disabled operators, so that they take as long as a wrong
    /// password.
    std::string m_decoyHash;
    /// Argon2id takes 64 MiB a verification: a few at a time.
    std::counting_semaphore<2> m_hashing{2};
};

} // namespace cht::server
