// The plug-in module on POSIX systems: a shared object whose static objects are built when
// it is loaded and torn down when the process exits.

#include "shell/Module.h"

#include "shell/PluginShell.h"
#include "shell/SetupDialog.h"
#include "shell/TerminalDialog.h"

#include <cstdint>
#include <iostream>

CModuleHooks::CModuleHooks(CPluginShell& shell) : m_shell(shell)
{
    m_shell.Load();
}

CModuleHooks::~CModuleHooks()
{
    m_shell.Unload();
}

// The module is linked to stay loaded once loaded (-z nodelete), which is all this asks.
void KeepModuleLoaded() {}

void RunSetupDialog(CPluginShell& shell)
{
    // A failure of the terminal simply ends the dialog.
    try {
        CTerminalDialog dialog(std::cin, std::cout);
        dialog.Run(SetupDialogProc, reinterpret_cast<std::intptr_t>(&shell));
        // The dialog itself closes without a word, as on every platform; the terminal is
        // where the user learns that the port was refused.
        if (!shell.PortChangeNote().empty())
            std::cout << "\n" << shell.PortChangeNote() << std::endl;
    } catch (...) {
    }
}
