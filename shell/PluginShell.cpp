#include "shell/PluginShell.h"

#include "platform/Network.h"
#include "pop3/POP3Server.h"
#include "shell/LocalPort.h"

#include <exception>

const char kPluginName[] = "QUILLBOX.vorlenta";
const char kPluginVersion[] = "0.17 beta";

bool CPluginShell::Load()
{
    m_networkStarted = platform::StartNetwork();
    return m_networkStarted;
}

void CPluginShell::Unload()
{
    if (m_networkStarted)
        platform::StopNetwork();
    m_networkStarted = false;
}

int CPluginShell::Initialize()
{
    const bool started = m_networkStarted && StartServer(ReadLocalPort());
    m_status = started ? 0 : 1;
    return m_status;
}

void CPluginShell::Finalize()
{
    m_server.Stop();
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
    if (StartServer(port))
        WriteLocalPort(port);
    else
        StartServer(ReadLocalPort());
}
