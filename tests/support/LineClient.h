#pragma once

// A loopback client for tests and benchmarks that talk to a line-oriented server (POP3,
// HTTP): connects to 127.0.0.1, sends raw bytes and reads replies by line, by terminator,
// by count or up to the close of the connection. Every wait is bounded (10 s by default),
// so a server that hangs makes the test fail instead of blocking it; a read that times out
// or meets the end of the connection returns what it has and sets TimedOut() or IsClosed().
// Header-only so that bench/ programs can use it too. One thread per client.

#include "platform/Event.h"
#include "platform/Socket.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CLineClient
{
public:
    explicit CLineClient(std::uint16_t port,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10))
        : m_timeout(timeout)
    {
        m_socket = platform::CreateTcpSocket();
        std::uint32_t address = 0;
        if (m_socket == platform::kInvalidSocket || !platform::ResolveIPv4("127.0.0.1", address) ||
            !platform::ConnectIPv4(m_socket, address, port)) {
            Close();
            return;
        }
        // Makes the socket non-blocking; every read waits on it with a time-out.
        m_event = std::make_unique<platform::CSocketEvent>(m_socket);
    }
    ~CLineClient() { Close(); }
    CLineClient(const CLineClient&) = delete;
    CLineClient& operator=(const CLineClient&) = delete;

    bool IsConnected() const { return m_socket != platform::kInvalidSocket; }
    // The server closed the connection (or it failed) during a read.
    bool IsClosed() const { return m_closed; }
    // A read gave up waiting.
    bool TimedOut() const { return m_timedOut; }

    // Sends all of `bytes`; false when the connection failed or the server took no byte for
    // the time-out (TimedOut() tells).
    bool Send(std::string_view bytes)
    {
        while (!bytes.empty() && IsConnected()) {
            platform::SocketError error;
            const long sent = platform::SendBytes(m_socket, bytes.data(), bytes.size(), error);
            if (sent >= 0) {
                bytes.remove_prefix(static_cast<std::size_t>(sent));
                continue;
            }
            if (error != platform::SocketError::WouldBlock)
                return false;
            const int signalled =
                platform::WaitForAny({{*m_event, platform::SocketReadiness::Writable}}, m_timeout);
            if (signalled == platform::kWaitTimedOut)
                m_timedOut = true;
            if (signalled != 0)
                return false;
        }
        return bytes.empty();
    }

    // Everything up to and including the next `terminator`, or what arrived before the
    // connection closed or the wait timed out.
    std::string ReadUntil(std::string_view terminator)
    {
        std::size_t searchFrom = 0;
        for (;;) {
            const std::size_t found = m_buffer.find(terminator, searchFrom);
            if (found != std::string::npos)
                return Take(found + terminator.size());
            searchFrom =
                m_buffer.size() >= terminator.size() ? m_buffer.size() - terminator.size() + 1 : 0;
            if (!Receive())
                return Take(m_buffer.size());
        }
    }

    // One line with its CR LF.
    std::string ReadLine() { return ReadUntil("\r\n"); }

    // A multi-line POP3 reply whose status line is already known to be positive: everything
    // through the CR LF "." CR LF that ends it.
    std::string ReadMultiLine() { return ReadUntil("\r\n.\r\n"); }

    // Exactly `count` bytes, or fewer when the connection closed or the wait timed out.
    std::string ReadExactly(std::size_t count)
    {
        while (m_buffer.size() < count) {
            if (!Receive())
                break;
        }
        return Take(count < m_buffer.size() ? count : m_buffer.size());
    }

    // Everything until the server closes the connection; check IsClosed() afterwards.
    std::string ReadToClose()
    {
        while (Receive()) {
        }
        return Take(m_buffer.size());
    }

    // Sends one command line (the CR LF is added) and returns the first reply line.
    std::string Command(std::string_view line)
    {
        Send(std::string(line) + "\r\n");
        return ReadLine();
    }

    void Close()
    {
        m_event.reset();
        if (m_socket != platform::kInvalidSocket)
            platform::CloseSocket(m_socket);
        m_socket = platform::kInvalidSocket;
    }

private:
    // Appends what the socket holds after waiting for it; false at the end of the
    // connection, on failure or on a time-out.
    bool Receive()
    {
        if (!IsConnected() || m_closed)
            return false;
        for (;;) {
            const int signalled = platform::WaitForAny({*m_event}, m_timeout);
            if (signalled == platform::kWaitTimedOut) {
                m_timedOut = true;
                return false;
            }
            if (signalled != 0) {
                m_closed = true;
                return false;
            }
            // Re-armed before reading: where the signal is an event object it stays set until
            // then, and every later wait would return at once with nothing to read.
            m_event->Reset();
            char chunk[65536];
            platform::SocketError error;
            const long received = platform::ReceiveBytes(m_socket, chunk, sizeof chunk,
                                                         platform::Receive::Take, error);
            if (received > 0) {
                m_buffer.append(chunk, static_cast<std::size_t>(received));
                return true;
            }
            if (received < 0 && error == platform::SocketError::WouldBlock)
                continue;
            m_closed = true;
            return false;
        }
    }

    std::string Take(std::size_t count)
    {
        std::string taken = m_buffer.substr(0, count);
        m_buffer.erase(0, count);
        return taken;
    }

    platform::SocketHandle m_socket = platform::kInvalidSocket;
    std::unique_ptr<platform::CSocketEvent> m_event;
    std::string m_buffer;
    std::chrono::milliseconds m_timeout;
    bool m_closed = false;
    bool m_timedOut = false;
};
