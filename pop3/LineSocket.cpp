#include "pop3/LineSocket.h"

#include <chrono>
#include <thread>

using platform::SocketError;

namespace {

// At most this many bytes are looked at per pass, so no bytes of a later line are ever held
// here between reads: the socket's own receive buffer is the only buffer between lines.
constexpr std::size_t kReceiveBufferSize = 512;

// No client command comes near this; a peer that streams bytes without ever ending a line
// is cut off here instead of growing the line until the process runs out of memory.
constexpr std::size_t kMaximumLineLength = 1 << 20;

} // namespace

CLineSocket::CLineSocket(platform::SocketHandle socket, std::shared_ptr<platform::CEvent> endEvent)
    : m_socket(socket), m_endEvent(std::move(endEvent))
{
    try {
        m_socketEvent = std::make_unique<platform::CSocketEvent>(socket);
        if (m_socketEvent->IsValid() && m_endEvent)
            m_waitEvents = {*m_socketEvent, *m_endEvent};
    } catch (...) {
        Close();
        throw;
    }
    if (m_waitEvents.empty()) {
        Close();
        throw exception();
    }
    // Replies go out in several sends (RETR, TOP), and the client waits for the last one.
    platform::DisableSendDelay(m_socket);
}

CLineSocket::~CLineSocket()
{
    Close();
}

std::string CLineSocket::ReadLine()
{
    std::string line;
    char buffer[kReceiveBufferSize];
    for (;;) {
        // The socket comes first: input already waiting is still read after a stop.
        if (m_waitEvents.empty() || platform::WaitForAny(m_waitEvents) != 0)
            throw exception();
        m_socketEvent->Reset();

        SocketError error;
        const long peeked = platform::ReceiveBytes(m_socket, buffer, sizeof buffer, true, error);
        if (peeked == 0)
            throw exception();
        if (peeked < 0) {
            if (error == SocketError::WouldBlock)
                continue;
            throw exception();
        }

        // A CR that ended the previous pass was consumed (leaving it in the socket would keep
        // the socket readable and the wait spinning); a LF now completes the pair.
        std::size_t take;
        bool complete = true;
        const std::string_view looked(buffer, static_cast<std::size_t>(peeked));
        if (!line.empty() && line.back() == '\r' && looked.front() == '\n') {
            take = 1;
        } else {
            const std::size_t end = looked.find("\r\n");
            complete = end != std::string_view::npos;
            take = complete ? end + 2 : looked.size();
        }

        const long received = platform::ReceiveBytes(m_socket, buffer, take, false, error);
        if (received > 0)
            line.append(buffer, static_cast<std::size_t>(received));
        if (line.size() > kMaximumLineLength)
            throw exception();
        if (complete && received == static_cast<long>(take))
            return line;
    }
}

void CLineSocket::SendLine(std::string_view text)
{
    while (!text.empty()) {
        SocketError error;
        const long sent = platform::SendBytes(m_socket, text.data(), text.size(), error);
        if (sent < 0) {
            // A full send buffer drains as the client reads; one that never reads must not
            // keep the session alive after the server has stopped.
            if (error != SocketError::WouldBlock || m_endEvent->IsSet())
                throw exception();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
}

void CLineSocket::SendOnce(std::string_view text)
{
    SocketError error;
    platform::SendBytes(m_socket, text.data(), text.size(), error);
}

void CLineSocket::Close()
{
    if (m_socket == platform::kInvalidSocket)
        return;
    platform::ShutdownSocket(m_socket);
    platform::CloseSocket(m_socket);
    m_socket = platform::kInvalidSocket;
    m_waitEvents.clear();
    m_socketEvent.reset();
}
