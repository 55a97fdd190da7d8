#include "shell/PluginShell.h"

#include "platform/Network.h"
#include "pop3/POP3Server.h"
#include "shell/LocalPort.h"

#include <chrono>
#include <exception>

const char kPluginName[] = "QUILLBOX.vorlenta";
const char kPluginVersion[] = "0.17 beta";

namespace {

constexpr std::chrono::milliseconds kUnloadWait(500);

} // namespace

bool CPluginShell::Load()
{
    m_networkStarted = platform::StartNetwork();
    return m_networkStarted;
}

void CPluginShell::Unload()
{
    // Sessions still running would use the network, and the module's code and constants,
    // after they are gone; a session busy downloading is given a little while to finish.
    m_server.Stop();
    m_server.WaitForSessions(kUnloadWait);
    StopNetwork();
}

void CPluginShell::UnloadWithoutWaiting()
{
    m_server.Abandon();
    StopNetwork();
}

void CPluginShell::StopNetwork()
{
    if (m_networkStarted)
        platform::StopNetwork();
    m_networkStarted = false;
}

int CPluginShell::Initialize()
{
    bool started = false;
    // Nothing may escape to the host, not even running out of memory while reading the port.
    try {
        started = m_networkStarted && StartServer(ReadLocalPort());
    } catch (...) {
    }
    m_status = started ? 0 : 1;
    return m_status;
}

void CPluginShell::Finalize()
{
    // The host unloads the module, or ends its process, after this. Stop lets the commits of
    // QUITs in progress finish, so an answered QUIT's deletes are kept; other sessions that
    // are just finishing get a moment to do so while everything they use is still there.
    m_server.Stop();
    m_server.WaitForSessions(kUnloadWait);
}

bool CPluginShell::StartServer(int port)
{
    try {
        m_server.Start(port);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void CPluginShell::ChangePort(int port)
{
    m_server.Stop();
    m_portChangeNote.clear();
    if (StartServer(port)) {
        WriteLocalPort(port);
        return;
    }
    const int stored = ReadLocalPort();
    StartServer(stored);
    m_portChangeNote = "port " + std::to_string(port & 0xFFFF) + " is in use; QUILLBOX stays on " +
                       std::to_string(stored & 0xFFFF);
}
