#pragma once

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The server side of TLS for the tests' HTTP server: a context holding one certificate chain
// with its key, and the sessions it runs over accepted connections. One implementation per
// system. On Linux the sessions run on OpenSSL in the server itself. On Windows, where the
// suite runs under Wine and Wine's Schannel has no server side, a helper on the Linux side
// (tools/tls-relay.py, started by tools/run-windows-tests.sh, which passes its port in
// QUILLBOX_TLS_RELAY_PORT) runs them in front of the server and passes the plain bytes on.
// A context is shared by the threads of all sessions; a session is used by one thread.
class CTLSServerContext
{
public:
    // Loads the certificate chain and the private key (PEM files). Check IsValid.
    CTLSServerContext(const std::string& certificateFile, const std::string& keyFile);
    ~CTLSServerContext();
    CTLSServerContext(const CTLSServerContext&) = delete;
    CTLSServerContext& operator=(const CTLSServerContext&) = delete;

    bool IsValid() const { return m_state != nullptr; }

    // The port TLS clients reach a server at that listens at `listenPort`: that port itself,
    // or the port of the helper in front of it. 0 when the helper cannot be had.
    std::uint16_t ClientPort(std::uint16_t listenPort) const;

    // The TLS library's state, defined beside the library's calls.
    class CState;
    const CState& State() const { return *m_state; }

private:
    std::unique_ptr<CState> m_state;
};

class CTLSServerSession
{
public:
    // Runs the server's handshake over `socket`, which stays the caller's; check IsUsable.
    CTLSServerSession(const CTLSServerContext& context, platform::SocketHandle socket);
    // Sends the closing alert after a handshake that succeeded.
    ~CTLSServerSession();
    CTLSServerSession(const CTLSServerSession&) = delete;
    CTLSServerSession& operator=(const CTLSServerSession&) = delete;

    bool IsUsable() const;
    // As the socket calls: a count, or 0 or less once the session ended or failed.
    long Receive(char* buffer, std::size_t size);
    long Send(const char* data, std::size_t size);

private:
    class CState;
    std::unique_ptr<CState> m_state;
};
