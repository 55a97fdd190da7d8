// The plug-in module on Windows: a DLL. The C runtime builds the module's static objects
// before it calls DllMain for the process attach, and tears them down after DllMain's process
// detach, both under the system's loader lock, which every starting or ending thread of the
// process also needs: nothing here may wait for a thread.

#include "shell/Module.h"

#include "shell/PluginShell.h"
#include "shell/win32/ModuleInstance.h"

namespace {

HINSTANCE g_instance = nullptr;
// Named by the hooks object, the last static object built, just before DllMain runs.
CPluginShell* g_shell = nullptr;

} // namespace

CModuleHooks::CModuleHooks(CPluginShell& shell) : m_shell(shell)
{
    g_shell = &m_shell;
}

CModuleHooks::~CModuleHooks()
{
    g_shell = nullptr;
}

HINSTANCE ModuleInstance()
{
    return g_instance;
}

// Pinned through any address inside the module: the module then stays until the process
// ends, whatever FreeLibrary calls the host makes.
void KeepModuleLoaded()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCSTR>(&g_instance), &module);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_instance = instance;
        ::DisableThreadLibraryCalls(instance);
        // Without Windows Sockets the plug-in cannot serve: the load is refused.
        return g_shell != nullptr && g_shell->Load() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        // Either the process is ending, its other threads already gone, or the host lets go
        // of a module that never served (a server pins it). A server the host never stopped
        // with TBP_Finalize is abandoned, not waited for.
        if (g_shell != nullptr)
            g_shell->UnloadWithoutWaiting();
        return TRUE;
    default:
        return TRUE;
    }
}
