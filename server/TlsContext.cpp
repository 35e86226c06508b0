#include "TlsContext.h"

#include <boost/asio/ssl/context.hpp>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace cht::server {

namespace asio = boost::asio;

namespace {

// A certificate chain or a key is a few kilobytes; anything this big is not one.
constexpr std::uintmax_t kMaxPemBytes = 1024 * 1024;

[[noreturn]] void fail(const std::string& message)
{
    throw std::runtime_error(message);
}

// The whole file, or a message that names it and says why not (`what` is "o certificado TLS" or
// "a chave privada TLS").
std::string readPem(const std::string& path, const std::string& what)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        fail("Não foi possível abrir " + what + " \"" + path + "\": o arquivo não existe.");
    if (!std::filesystem::is_regular_file(status))
        fail("Não foi possível abrir " + what + " \"" + path + "\": não é um arquivo comum.");
    if (std::filesystem::file_size(path, ec) > kMaxPemBytes)
        fail("O arquivo \"" + path + "\" é grande demais para ser " + what + ".");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("Não foi possível ler " + what + " \"" + path + "\": " +
             (errno == EACCES ? "sem permissão de leitura." : "o arquivo não pôde ser aberto."));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        fail("Não foi possível ler " + what + " \"" + path + "\".");
    return text;
}

// Never asks for a password: a key that needs one is refused rather than waiting on a terminal.
int noPassword(char*, int, int, void*)
{
    return 0;
}

} // namespace

TlsContext::TlsContext()
    : m_context(std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server))
{}

TlsContext::~TlsContext() = default;

std::shared_ptr<TlsContext> TlsContext::load(const std::string& certificateFile,
                                             const std::string& keyFile)
{
    const std::string certificatePem = readPem(certificateFile, "o certificado TLS");
    const std::string keyPem = readPem(keyFile, "a chave privada TLS");

    std::shared_ptr<TlsContext> tls(new TlsContext);
    asio::ssl::context& ctx = *tls->m_context;
    SSL_CTX* native = ctx.native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    ctx.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_compression |
                    asio::ssl::context::single_dh_use);
    // A client may not make the server redo the handshake's costly part on an open connection.
    SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    // Idle connections give their buffers back: a thousand of them would otherwise hold 34 KiB
    // each.
    SSL_CTX_set_mode(native, SSL_MODE_RELEASE_BUFFERS);

    boost::system::error_code ec;
    ctx.use_certificate_chain(asio::buffer(certificatePem), ec);
    X509* certificate = SSL_CTX_get0_certificate(native);
    if (ec || certificate == nullptr)
        fail("O arquivo \"" + certificateFile +
             "\" não contém um certificado no formato PEM (--tls-cert).");

    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size())), BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassword, nullptr) : nullptr,
        EVP_PKEY_free);
    if (!key)
        fail("O arquivo \"" + keyFile +
             "\" não contém uma chave privada no formato PEM sem senha (--tls-key).");
    if (X509_check_private_key(certificate, key.get()) != 1)
        fail("A chave privada \"" + keyFile + "\" não corresponde ao certificado \"" +
             certificateFile + "\".");
    if (SSL_CTX_use_PrivateKey(native, key.get()) != 1)
        fail("A chave privada \"" + keyFile + "\" não pôde ser usada.");
    ERR_clear_error();
    return tls;
}

} // namespace cht::server
