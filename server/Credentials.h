// Password hashes and session tokens (libsodium).
#pragma once

#include <string>
#include <string_view>

namespace cht::server {

/// How much work a new password hash costs. Verifying costs what the hash was made with.
enum class HashCost {
    /// Argon2id at libsodium's interactive limits: what operators' passwords get.
    Interactive,
    /// The least Argon2id allows: for test databases only, where hundreds of sign-ins run.
    Minimal,
};

class Credentials {
public:
    /// An Argon2id hash in libsodium's self-describing text form (salt and limits included).
    static std::string hashPassword(std::string_view password,
                                    HashCost cost = HashCost::Interactive);
    /// True when the password matches the hash; false for a malformed hash too.
    static bool verifyPassword(const std::string& hash, std::string_view password);
    /// A new session token: 256 random bits as 64 hex digits.
    static std::string newToken();
    /// What the database keeps of a token: its SHA-256 as 64 hex digits. Tokens are random, so
    /// a fast hash is enough; the clear token never reaches the database.
    static std::string tokenHash(std::string_view token);
};

} // namespace cht::server
