// The server's certificate and private key for HTTPS, loaded and checked once at start.
#pragma once

#include <memory>
#include <string>

namespace boost::asio::ssl {
class context;
}

namespace cht::server {

/// An OpenSSL server context over one certificate chain and its key: TLS 1.2 and later, no
/// renegotiation, no compression. Shared by every connection of the listener.
class TlsContext {
public:
    /// Loads the certificate chain (PEM, the server's certificate first) and its private key
    /// (PEM, not protected by a password). Throws std::runtime_error with a Portuguese message
    /// naming the file when one is missing, unreadable, not PEM, or when the key is not the
    /// certificate's.
    static std::shared_ptr<TlsContext> load(const std::string& certificateFile,
                                            const std::string& keyFile);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    boost::asio::ssl::context& context() { return *m_context; }

private:
    TlsContext();
    std::unique_ptr<boost::asio::ssl::context> m_context;
};

} // namespace cht::server
