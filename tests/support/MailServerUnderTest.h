#pragma once

// The POP3 server that the end-to-end tests' real mail clients talk to. By default it is the
// server of this build, in this process. When QUILLBOX_WINDOWS_BUILD names a Windows build
// folder and QUILLBOX_WINE the Wine loader (tools/run-windows-plugin-tests.sh sets both), it
// is the same server of the Windows build instead, run under Wine by quillbox_pop3_server.exe
// (tests/compare/ServePOP3.cpp): the Linux clients and what this build expects then check
// the Windows build byte for byte. Used on one thread.

#include "pop3/POP3Server.h"
#include "provider/MessageProviderFactory.h"
#include "support/ChildProcess.h"
#include "support/LineClient.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

// The value of an environment variable, empty when it is not set.
inline std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

// The name Windows programs under Wine give a Linux file: on drive Z:, which is "/".
inline std::string WindowsPathUnderWine(const std::string& path)
{
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

// A POP3 URL for curl that logs `user` in with any password. curl takes the user name of
// --user up to its first colon, and a Windows path has one: the name goes into the URL,
// percent-encoded, instead.
inline std::string POP3Url(int port, const std::string& user, const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char byte : user) {
        if (std::isalnum(byte) || byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            encoded += static_cast<char>(byte);
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return "pop3://" + encoded + ":x@127.0.0.1:" + std::to_string(port) + path;
}

class CMailServerUnderTest
{
public:
    // Wine starts slowly on a busy machine.
    static constexpr int kWinePatience = 90000;

    CMailServerUnderTest()
        : m_windowsBuild(EnvironmentValue("QUILLBOX_WINDOWS_BUILD")),
          m_wine(EnvironmentValue("QUILLBOX_WINE"))
    {
        if (!RunsUnderWine()) {
            m_server = std::make_unique<CPOP3Server>(&m_factory);
            m_server->Start(0);
            m_port = m_server->GetPort();
            return;
        }
        std::string ports;
        // The copies of feeds go where this process keeps its own, as Windows names it.
        const std::string cache = EnvironmentValue("XDG_CACHE_HOME");
        if (!m_process.Start({m_wine, m_windowsBuild + "/tests/quillbox_pop3_server.exe"},
                             {{"QUILLBOX_TEST_LOCALAPPDATA",
                               cache.empty() ? "" : WindowsPathUnderWine(cache)}}) ||
            !m_process.ReadLine(ports, kWinePatience))
            return;
        unsigned pop3Port = 0, controlPort = 0;
        std::istringstream(ports) >> pop3Port >> controlPort;
        m_control = std::make_unique<CLineClient>(static_cast<std::uint16_t>(controlPort),
                                                  std::chrono::milliseconds(kWinePatience));
        if (pop3Port != 0 && m_control->IsConnected())
            m_port = static_cast<std::uint16_t>(pop3Port);
    }
    ~CMailServerUnderTest()
    {
        if (m_server) {
            m_server->Stop();
            m_server->WaitForSessions(std::chrono::seconds(20));
            return;
        }
        // The end of the control connection ends the program.
        m_control.reset();
        int exitCode = -1;
        m_process.Wait(kWinePatience, exitCode);
    }
    CMailServerUnderTest(const CMailServerUnderTest&) = delete;
    CMailServerUnderTest& operator=(const CMailServerUnderTest&) = delete;

    bool RunsUnderWine() const { return !m_windowsBuild.empty() && !m_wine.empty(); }
    // 0 when the server could not be started.
    std::uint16_t GetPort() const { return m_port; }

    // The name the server knows the file at `path` by: clients log in with a feed list's.
    std::string FileName(const std::string& path) const
    {
        return RunsUnderWine() ? WindowsPathUnderWine(path) : path;
    }

    // Waits until every session has ended, its seen-store commit after QUIT included;
    // false when one is left after `timeout`.
    bool WaitForSessions(std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        if (m_server)
            return m_server->WaitForSessions(timeout);
        return m_control && m_control->Send("wait " + std::to_string(timeout.count()) + "\r\n") &&
               m_control->ReadLine() == "ended\r\n";
    }

private:
    const std::string m_windowsBuild;
    const std::string m_wine;
    // This process's server...
    CMessageProviderFactory m_factory;
    std::unique_ptr<CPOP3Server> m_server;
    // ...or the Windows build's, with its control connection.
    CChildProcess m_process;
    std::unique_ptr<CLineClient> m_control;
    std::uint16_t m_port = 0;
};
