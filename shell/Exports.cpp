// The plug-in module: its static objects and the functions it exports. Only this file's
// TBP_ functions are visible outside the module.

#include "shell/Exports.h"

#include "pop3/POP3Server.h"
#include "provider/MessageProviderFactory.h"
#include "shell/HostBuffer.h"
#include "shell/Module.h"
#include "shell/PluginShell.h"

namespace {

// Constructed in this order when the module is loaded, destroyed in reverse when it is
// unloaded. The server only keeps the factory's address, and nothing here touches the
// static objects of other files (download lock, character-set tables, built-in template)
// before the host's first call, by which time loading has finished.
CMessageProviderFactory g_factory;
CPOP3Server g_server(&g_factory); // destruction stops it once more
CPluginShell g_shell(g_server);
CModuleHooks g_hooks(g_shell);

// Once a server has run, its session threads may still run the module's code after the
// host lets go of the module, so from then on the module stays.
void KeepLoadedWhenServing()
{
    if (g_server.GetPort() != 0)
        KeepModuleLoaded();
}

} // namespace

PLUGIN_EXPORT int PLUGIN_CALL TBP_Initialize()
{
    const int status = g_shell.Initialize();
    KeepLoadedWhenServing();
    return status;
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_Finalize()
{
    g_shell.Finalize();
    return 0;
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_GetName(char* buffer, int size)
{
    return CopyToHostBuffer(kPluginName, buffer, size);
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_GetVersion(char* buffer, int size)
{
    return CopyToHostBuffer(kPluginVersion, buffer, size);
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_GetStatus()
{
    return g_shell.GetStatus();
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_NeedConfig()
{
    return 1;
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_Setup()
{
    RunSetupDialog(g_shell);
    KeepLoadedWhenServing();
    return 0;
}

PLUGIN_EXPORT int PLUGIN_CALL TBP_NeedCOM()
{
    return 0;
}
