#pragma once

#include "common/TextException.h"
#include "platform/Event.h"
#include "platform/Socket.h"
#include "pop3/LineChannel.h"

#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One accepted, connected TCP socket carrying a text protocol whose lines end in CR LF.
// Reads exactly one line at a time and leaves every later byte in the socket for the next
// read; sends whole texts. Every read also waits on the server's end event and gives up once
// it is signalled and no input is waiting. A connection on which nothing moves for the idle
// time-out is given up too (the autologout timer), so a client that went away without
// closing does not keep its session for good. Used by its own session thread only.
class CLineSocket : public ILineChannel
{
public:
    // The one failure of this class: the connection failed or closed, or the server stops.
    class exception : public CTextException
    {
    public:
        exception() noexcept : CTextException("CLineSocket::exception") {}
    };

    // How long a read or a send waits without any byte moving before it gives up.
    static constexpr std::chrono::minutes kIdleTimeout{10};

    // Takes ownership of `socket` (closed even when construction throws) and makes it
    // non-blocking. Shares ownership of `endEvent`, which only the server ever sets.
    // Throws CLineSocket::exception when the socket cannot be watched.
    CLineSocket(platform::SocketHandle socket, std::shared_ptr<platform::CEvent> endEvent,
                std::chrono::milliseconds idleTimeout = kIdleTimeout);
    ~CLineSocket() override; // Close
    CLineSocket(const CLineSocket&) = delete;
    CLineSocket& operator=(const CLineSocket&) = delete;

    // Returns the next line including its CR LF; only CR LF ends a line (a bare LF is an
    // ordinary byte). Throws CLineSocket::exception when the peer closed the connection, the
    // connection failed or was closed here, the end event is set while no input is waiting,
    // no byte arrived for the idle time-out, or the line grows beyond 1 MB. Bytes of a
    // partial line are lost with the exception.
    std::string ReadLine() override;

    // Sends all of `text`, which carries its own line ends. While the socket's send buffer is
    // full it waits for room, giving up once the end event is set or the peer has taken no
    // byte for the idle time-out. Throws CLineSocket::exception on failure.
    void SendLine(std::string_view text) override;

    // Sends `pieces` one after another as SendLine sends one text, in as few sends as the
    // socket takes them: a reply made of a few pieces costs one send, not one each.
    void SendLines(std::initializer_list<std::string_view> pieces) override;

    // One plain send of `text` whose result is not examined; for a last word before closing.
    void SendOnce(std::string_view text);

    // Shuts the connection down in both directions and closes it. Safe to repeat.
    void Close();

private:
    // WaitForAny on `targets` for at most the idle time-out from `lastProgress`.
    int WaitNoLongerThanIdle(const std::vector<platform::WaitTarget>& targets,
                             std::chrono::steady_clock::time_point lastProgress) const;

    platform::SocketHandle m_socket;
    std::unique_ptr<platform::CSocketEvent> m_socketEvent;
    std::shared_ptr<platform::CEvent> m_endEvent;
    // {m_socketEvent, m_endEvent} in that order: the set every read waits on. Empty once
    // closed.
    std::vector<platform::WaitTarget> m_waitEvents;
    // {m_endEvent, m_socketEvent for room to send}: the set a send with a full buffer waits
    // on, the end event first so that a stop ends it even while the peer reads. Empty once
    // closed.
    std::vector<platform::WaitTarget> m_sendWaitEvents;
    std::chrono::milliseconds m_idleTimeout;
};
