// Certificates the tests make for themselves (no openssl command needed): a self-signed one is
// its own authority, so that the file a client trusts (--ca) is the certificate itself.
#pragma once

#include <string>
#include <vector>

namespace cht::testing {

struct TestCertificate {
    /// PEM texts.
    std::string certificate;
    std::string key;

    /// A self-signed P-256 certificate for these names (DNS names, or IP addresses given as
    /// such), valid from an hour ago for `days` days (negative: one that has expired).
    static TestCertificate selfSigned(const std::vector<std::string>& names, int days = 2);
    /// Writes both files; false when one cannot be written.
    bool write(const std::string& certificateFile, const std::string& keyFile) const;
};

} // namespace cht::testing
