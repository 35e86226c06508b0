#include "Credentials.h"

#include <sodium.h>

#include <array>
#include <stdexcept>

namespace cht::server {

namespace {

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium não pôde ser iniciada");
}

std::string hex(const unsigned char* bytes, std::size_t n)
{
    std::string out(n * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes, n);
    out.pop_back();
    return out;
}

} // namespace

std::string Credentials::hashPassword(std::string_view password, HashCost cost)
{
    ensureSodium();
    const bool minimal = cost == HashCost::Minimal;
    std::array<char, crypto_pwhash_STRBYTES> out{};
    if (crypto_pwhash_str_alg(
            out.data(), password.data(), password.size(),
            minimal ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
            minimal ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE,
            crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("memória insuficiente para calcular o hash da senha");
    return std::string(out.data());
}

bool Credentials::verifyPassword(const std::string& hash, std::string_view password)
{
    ensureSodium();
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string Credentials::newToken()
{
    ensureSodium();
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    return hex(bytes.data(), bytes.size());
}

std::string Credentials::tokenHash(std::string_view token)
{
    ensureSodium();
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(token.data()),
                       token.size());
    return hex(digest.data(), digest.size());
}

} // namespace cht::server
