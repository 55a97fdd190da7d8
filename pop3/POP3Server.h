#pragma once

#include "provider/MessageProvider.h"

#include <exception>

// The local POP3 server: listens on 127.0.0.1 at a given port, accepts connections on a
// listener thread of its own and runs one session thread per connection. Start and Stop are
// called from one thread (the host's); sessions are neither tracked nor waited for, and each
// ends at its next wait for a command once Stop has signalled the end event.
class CPOP3Server
{
public:
    class exception : public std::exception
    {
    public:
        explicit exception(const char* message) : m_message(message) {}
        const char* what() const noexcept override { return m_message; }

    private:
        const char* m_message;
    };

    // Does not own the factory, which must outlive every session. Starts nothing.
    explicit CPOP3Server(IMessageProviderFactory* factory);
    ~CPOP3Server(); // Stop

    // Listens on the port's low 16 bits. Callers stop a running server first. Throws
    // CPOP3Server::exception, leaving nothing open, when the listener cannot be set up.
    void Start(int port);
    // Ends the listener and signals every session to end; returns promptly. Harmless when
    // the server is not running, and when repeated.
    void Stop();
};
