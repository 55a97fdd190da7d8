#include "support/TLSServerSession.h"

#include <cstdlib>
#include <string>

// The helper keeps the front for a server open as long as the server's control connection.
class CTLSServerContext::CState
{
public:
    explicit CState(std::string name) : m_name(std::move(name)) {}
    ~CState()
    {
        if (m_control != platform::kInvalidSocket)
            platform::CloseSocket(m_control);
    }
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;

    const std::string m_name;
    mutable platform::SocketHandle m_control = platform::kInvalidSocket;
};

// The helper finds the certificate and its key by the certificate's name, in its own folder.
CTLSServerContext::CTLSServerContext(const std::string& certificateFile, const std::string&)
{
    const std::size_t slash = certificateFile.find_last_of("/\\");
    const std::size_t dot = certificateFile.rfind('.');
    const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot < begin)
        return;
    m_state.reset(new CState(certificateFile.substr(begin, dot - begin)));
}

CTLSServerContext::~CTLSServerContext() = default;

std::uint16_t CTLSServerContext::ClientPort(std::uint16_t listenPort) const
{
    const char* helperPort = std::getenv("QUILLBOX_TLS_RELAY_PORT");
    std::uint32_t address = 0;
    if (helperPort == nullptr || !platform::ResolveIPv4("127.0.0.1", address))
        return 0;
    const platform::SocketHandle control = platform::CreateTcpSocket();
    if (control == platform::kInvalidSocket)
        return 0;
    const std::string request = m_state->m_name + " " + std::to_string(listenPort) + "\n";
    platform::SocketError error;
    std::string answer;
    if (platform::ConnectIPv4(control, address,
                              static_cast<std::uint16_t>(std::atoi(helperPort))) &&
        platform::SendBytes(control, request.data(), request.size(), error) ==
            static_cast<long>(request.size())) {
        char byte = 0;
        while (answer.size() < 8 &&
               platform::ReceiveBytes(control, &byte, 1, platform::Receive::Take, error) == 1 &&
               byte != '\n')
            answer += byte;
    }
    const int port = std::atoi(answer.c_str());
    if (port <= 0 || port > 65535) {
        platform::CloseSocket(control);
        return 0;
    }
    m_state->m_control = control;
    return static_cast<std::uint16_t>(port);
}

// The helper has run the handshake: what arrives here is plain.
class CTLSServerSession::CState
{
public:
    explicit CState(platform::SocketHandle socket) : m_socket(socket) {}
    const platform::SocketHandle m_socket;
};

CTLSServerSession::CTLSServerSession(const CTLSServerContext&, platform::SocketHandle socket)
    : m_state(new CState(socket))
{}

CTLSServerSession::~CTLSServerSession() = default;

bool CTLSServerSession::IsUsable() const
{
    return true;
}

long CTLSServerSession::Receive(char* buffer, std::size_t size)
{
    platform::SocketError error;
    return platform::ReceiveBytes(m_state->m_socket, buffer, size, platform::Receive::Take, error);
}

long CTLSServerSession::Send(const char* data, std::size_t size)
{
    platform::SocketError error;
    return platform::SendBytes(m_state->m_socket, data, size, error);
}
