// The plug-in module: its static objects, its load and unload hooks and the functions it
// exports. Only this file's TBP_ functions are visible outside the module.

#include "shell/Exports.h"

#include "pop3/POP3Server.h"
#include "provider/MessageProviderFactory.h"
#include "shell/HostBuffer.h"
#include "shell/PluginShell.h"
#include "shell/SetupDialog.h"
#include "shell/TerminalDialog.h"

#include <cstdint>
#include <iostream>

#define QUILLBOX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Constructed in this order when the module is loaded, destroyed in reverse when it is
// unloaded. The server only keeps the factory's address, and nothing here touches the
// static objects of other files (download lock, character-set tables, built-in template)
// before the host's first call, by which time loading has finished.
CMessageProviderFactory g_factory;
CPOP3Server g_server(&g_factory); // destruction stops it once more
CPluginShell g_shell(g_server);

// The load and unload hooks, run after the objects above are built and before they are
// torn down.
class CModuleHooks
{
public:
    CModuleHooks() { g_shell.Load(); }
    ~CModuleHooks() { g_shell.Unload(); }
};
CModuleHooks g_hooks;

} // namespace

QUILLBOX_EXPORT int TBP_Initialize()
{
    return g_shell.Initialize();
}

QUILLBOX_EXPORT int TBP_Finalize()
{
    g_shell.Finalize();
    return 0;
}

QUILLBOX_EXPORT int TBP_GetName(char* buffer, int size)
{
    return CopyToHostBuffer(kPluginName, buffer, size);
}

QUILLBOX_EXPORT int TBP_GetVersion(char* buffer, int size)
{
    return CopyToHostBuffer(kPluginVersion, buffer, size);
}

QUILLBOX_EXPORT int TBP_GetStatus()
{
    return g_shell.GetStatus();
}

QUILLBOX_EXPORT int TBP_NeedConfig()
{
    return 1;
}

QUILLBOX_EXPORT int TBP_Setup()
{
    // Nothing may reach the host: a failure of the terminal simply ends the dialog.
    try {
        CTerminalDialog dialog(std::cin, std::cout);
        dialog.Run(SetupDialogProc, reinterpret_cast<std::intptr_t>(&g_shell));
        // The dialog itself closes without a word, as on every platform; the terminal is
        // where the user learns that the port was refused.
        if (!g_shell.PortChangeNote().empty())
            std::cout << "\n" << g_shell.PortChangeNote() << std::endl;
    } catch (...) {
    }
    return 0;
}

QUILLBOX_EXPORT int TBP_NeedCOM()
{
    return 0;
}
