// The POP3 server of this build with the real provider factory, in a process of its own, for
// mail clients that cannot share a process with it: the Linux suite's end-to-end tests run
// their Linux clients against the Windows build under Wine (tests/support/MailServerUnderTest.h).
//
// Prints "POP3_PORT CONTROL_PORT" and takes one connection on the control port. Each line
// "wait SECONDS" there waits at most that long for every session to end (the seen-store
// commit after QUIT included) and is answered "ended" or "busy"; the end of the control
// connection stops the server and ends the program.
//
// Wine sets the local application data folder of its own accord: the copies of feeds go to
// the folder $QUILLBOX_TEST_LOCALAPPDATA names instead, when it is set, so that no copy of
// one run serves another.
#include "platform/Network.h"
#include "platform/Socket.h"
#include "pop3/POP3Server.h"
#include "provider/MessageProviderFactory.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The next line of the control connection without its line end; false when it closed.
bool ReadControlLine(platform::SocketHandle control, std::string& line)
{
    line.clear();
    platform::SocketError error;
    for (char byte = 0;
         platform::ReceiveBytes(control, &byte, 1, platform::Receive::Take, error) == 1;) {
        if (byte == '\n')
            return true;
        if (byte != '\r')
            line += byte;
    }
    return false;
}

void Answer(platform::SocketHandle control, const std::string& text)
{
    const std::string line = text + "\r\n";
    platform::SocketError error;
    platform::SendBytes(control, line.data(), line.size(), error);
}

// Prints both ports and takes the control connection.
platform::SocketHandle AcceptControlConnection(std::uint16_t pop3Port)
{
    const platform::SocketHandle listener = platform::CreateTcpSocket();
    if (listener == platform::kInvalidSocket)
        return listener;
    platform::SocketHandle control = platform::kInvalidSocket;
    platform::SocketError error;
    if (platform::BindLoopback(listener, 0) && platform::ListenOn(listener, 1)) {
        std::printf("%u %u\n", static_cast<unsigned>(pop3Port),
                    static_cast<unsigned>(platform::LocalPort(listener)));
        std::fflush(stdout);
        control = platform::AcceptConnection(listener, error);
    }
    platform::CloseSocket(listener);
    return control;
}

} // namespace

int main()
{
    const char* cache = std::getenv("QUILLBOX_TEST_LOCALAPPDATA");
    if (cache != nullptr && _putenv_s("LOCALAPPDATA", cache) != 0)
        return 1;
    if (!platform::StartNetwork())
        return 1;
    CMessageProviderFactory factory;
    CPOP3Server server(&factory);
    try {
        server.Start(0);
    } catch (const CPOP3Server::exception& error) {
        std::printf("cannot serve POP3: %s\n", error.what());
        return 1;
    }
    const platform::SocketHandle control = AcceptControlConnection(server.GetPort());
    if (control == platform::kInvalidSocket)
        return 1;
    for (std::string line; ReadControlLine(control, line);) {
        if (line.rfind("wait ", 0) == 0)
            Answer(control,
                   server.WaitForSessions(std::chrono::seconds(std::atoi(line.c_str() + 5)))
                       ? "ended"
                       : "busy");
    }
    platform::CloseSocket(control);
    server.Stop();
    server.WaitForSessions(CPOP3Server::kCommitWait);
    platform::StopNetwork();
    return 0;
}
