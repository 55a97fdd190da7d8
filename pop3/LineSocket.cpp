#include "pop3/LineSocket.h"

using platform::SocketError;
using Clock = std::chrono::steady_clock;

namespace {

// At most this many bytes are looked at per pass, so no bytes of a later line are ever held
// here between reads: the socket's own receive buffer is the only buffer between lines.
constexpr std::size_t kReceiveBufferSize = 512;

// No client command comes near this; a peer that streams bytes without ever ending a line
// is cut off here instead of growing the line until the process runs out of memory.
constexpr std::size_t kMaximumLineLength = 1 << 20;

} // namespace

CLineSocket::CLineSocket(platform::SocketHandle socket, std::shared_ptr<platform::CEvent> endEvent,
                         std::chrono::milliseconds idleTimeout)
    : m_socket(socket), m_endEvent(std::move(endEvent)), m_idleTimeout(idleTimeout)
{
    try {
        m_socketEvent = std::make_unique<platform::CSocketEvent>(socket);
        if (m_socketEvent->IsValid() && m_endEvent) {
            m_waitEvents = {*m_socketEvent, *m_endEvent};
            m_sendWaitEvents = {*m_endEvent, {*m_socketEvent, platform::SocketReadiness::Writable}};
        }
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

int CLineSocket::WaitNoLongerThanIdle(const std::vector<platform::WaitTarget>& targets,
                                      Clock::time_point lastProgress) const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        lastProgress + m_idleTimeout - Clock::now());
    if (left.count() <= 0)
        return platform::kWaitTimedOut;
    return platform::WaitForAny(targets, left);
}

std::string CLineSocket::ReadLine()
{
    std::string line;
    char buffer[kReceiveBufferSize];
    Clock::time_point lastProgress = Clock::now();
    for (;;) {
        // The socket comes first: input already waiting is still read after a stop.
        if (m_waitEvents.empty() || WaitNoLongerThanIdle(m_waitEvents, lastProgress) != 0)
            throw exception();
        m_socketEvent->Reset();

        SocketError error;
        const long peeked =
            platform::ReceiveBytes(m_socket, buffer, sizeof buffer, platform::Receive::Peek, error);
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

        const long received =
            platform::ReceiveBytes(m_socket, buffer, take, platform::Receive::Take, error);
        if (received > 0) {
            line.append(buffer, static_cast<std::size_t>(received));
            lastProgress = Clock::now();
        }
        if (line.size() > kMaximumLineLength)
            throw exception();
        if (complete && received == static_cast<long>(take))
            return line;
    }
}

void CLineSocket::SendLine(std::string_view text)
{
    SendLines({text});
}

void CLineSocket::SendLines(std::initializer_list<std::string_view> pieces)
{
    const std::string_view* next = pieces.begin();
    std::size_t sentOfNext = 0;
    Clock::time_point lastProgress = Clock::now();
    for (;;) {
        // Up to four pieces a send, the first without what has gone already.
        std::string_view batch[4];
        std::size_t count = 0;
        for (const std::string_view* piece = next; piece != pieces.end() && count < 4; ++piece)
            batch[count++] = piece->substr(piece == next ? sentOfNext : 0);
        if (count == 0)
            return;
        SocketError error;
        long sent = platform::SendPieces(m_socket, batch, count, error);
        if (sent >= 0) {
            sentOfNext += static_cast<std::size_t>(sent);
            while (next != pieces.end() && sentOfNext >= next->size()) {
                sentOfNext -= next->size();
                ++next;
            }
            lastProgress = Clock::now();
            continue;
        }
        // A full send buffer drains as the client reads; one that never reads must not keep
        // the session, and the text it holds, once the server stops or the client is idle.
        if (error != SocketError::WouldBlock || m_sendWaitEvents.empty() ||
            WaitNoLongerThanIdle(m_sendWaitEvents, lastProgress) != 1)
            throw exception();
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
    m_sendWaitEvents.clear();
    m_socketEvent.reset();
}
