#pragma once

#include "platform/Socket.h"

#include <cstddef>
#include <memory>
#include <string>

// The client side of one TLS session over a connected socket, on the system's TLS library
// (OpenSSL on Linux, Schannel on Windows). The peer's certificate is verified against the
// system's trust store (on Linux OpenSSL's default paths, so the SSL_CERT_FILE and
// SSL_CERT_DIR variables apply; on Windows the current user's certificate stores) and must
// name the host: a DNS name is matched against the certificate's names and sent as SNI, an IP
// address against its IP entries. Verification is never switched off. Used by one thread at
// a time; the socket stays the caller's, and shutting it down from another thread makes any
// blocking call here fail.
class CTLSStream
{
public:
    // Does not own `socket`. Check IsValid: the session cannot be set up without memory.
    explicit CTLSStream(platform::SocketHandle socket);
    ~CTLSStream();
    CTLSStream(const CTLSStream&) = delete;
    CTLSStream& operator=(const CTLSStream&) = delete;

    bool IsValid() const { return m_session != nullptr; }

    // Runs the handshake and the verification for `host`; false when either fails.
    bool Handshake(const std::string& host);
    // After a failed Handshake, why, in a user's words: "certificate not valid for this
    // host", "certificate not trusted", "certificate expired", "certificate chain incomplete
    // (...)" when the server left out its intermediate certificates, "the server offers only
    // TLS versions older than 1.2", or "secure connection failed" for anything else. A
    // constant text.
    const char* HandshakeFailure() const;

    // Sends all bytes; false when the connection failed.
    bool SendAll(const char* data, std::size_t size);

    // Receives up to `size` bytes. Returns the count, or 0 once the stream ended, whether the
    // peer closed it properly, dropped the connection or failed.
    long Receive(char* buffer, std::size_t size);

private:
    // The TLS library's state of the session, defined beside the library's calls.
    class CSession;
    std::unique_ptr<CSession> m_session;
};
