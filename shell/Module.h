#pragma once

class CPluginShell;

// The plug-in module's ties to the system that loads it: its load and unload hooks, keeping
// its code loaded, and the drawing of the setup dialog. One implementation per system,
// chosen by the build (shell/posix, shell/win32). Everything here runs on the host's thread
// or in the system's loader.

// Built once, as the last of the module's static objects, so its life brackets the hooks:
// the shell's Load runs when the module is loaded, after every static object is built, and
// its unload when the module goes, before they are torn down. Does not own the shell.
class CModuleHooks
{
public:
    explicit CModuleHooks(CPluginShell& shell);
    ~CModuleHooks();
    CModuleHooks(const CModuleHooks&) = delete;
    CModuleHooks& operator=(const CModuleHooks&) = delete;

private:
    CPluginShell& m_shell;
};

// Keeps the module's code in the process until the process ends. Called once a server has
// started: its threads run that code, and a session may outlive the host's hold on the
// module. Harmless when repeated.
void KeepModuleLoaded();

// Runs the setup dialog for `shell` modally, drawn the way the system draws dialogs, and
// returns when the user has closed it. Nothing escapes.
void RunSetupDialog(CPluginShell& shell);
