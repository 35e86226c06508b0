#include "tests/support/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>

namespace cht::testing {

namespace {

template <class T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

void addExtension(X509* cert, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

std::string pemOf(const std::function<int(BIO*)>& write)
{
    Bio bio(BIO_new(BIO_s_mem()));
    check(bio && write(bio.get()) == 1, "PEM");
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

bool isAddress(const std::string& name)
{
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, name.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

} // namespace

TestCertificate TestCertificate::selfSigned(const std::vector<std::string>& names, int days)
{
    check(!names.empty(), "no name");
    Key key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key");
    Certificate cert(X509_new());
    check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial) == 1, "serial");
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    // Expired: it ended a day ago.
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), days < 0 ? (days - 1) * 86400L : -3600L);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 86400L);
    X509_NAME* subject = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("CHT testes"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(names.front().c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(cert.get(), subject);
    X509_set_pubkey(cert.get(), key.get());
    std::string alternatives;
    for (const std::string& name : names)
        alternatives += (alternatives.empty() ? "" : ",") +
                        std::string(isAddress(name) ? "IP:" : "DNS:") + name;
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    addExtension(cert.get(), NID_subject_alt_name, alternatives);
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "sign");

    TestCertificate out;
    out.certificate = pemOf([&](BIO* b) { return PEM_write_bio_X509(b, cert.get()); });
    out.key = pemOf([&](BIO* b) {
        return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return out;
}

bool TestCertificate::write(const std::string& certificateFile, const std::string& keyFile) const
{
    std::ofstream c(certificateFile, std::ios::binary | std::ios::trunc);
    c << certificate;
    std::ofstream k(keyFile, std::ios::binary | std::ios::trunc);
    k << key;
    c.close();
    k.close();
    return c.good() && k.good();
}

} // namespace cht::testing
