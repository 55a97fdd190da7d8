// quillbox: a small host for the plug-in. It loads the plug-in file and drives it only
// through its exported functions, as a mail client would: initialise, serve until asked
// to stop, finalise, unload; or run the plug-in's setup dialog.

#include "platform/DynamicLibrary.h"
#include "platform/Settings.h"
#include "platform/Termination.h"
#include "shell/LocalPort.h"
#include "shell/host/HostTexts.h"
#include "shell/host/PluginLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char kPluginFileName[] = "QUILLBOX.vorlenta.tbp";

// The port as the server binds it: the low 16 bits of the stored number.
int BoundPort(int port)
{
    return port & 0xFFFF;
}

int Serve(CPluginLibrary& plugin, const std::string& pluginPath)
{
    // Before the plug-in starts any thread, so that only the wait below takes the signals.
    platform::CTerminationWait termination;
    plugin.Load(pluginPath);
    const std::string title = CPluginLibrary::ReadText(plugin.GetName) + " " +
                              CPluginLibrary::ReadText(plugin.GetVersion);
    const int status = plugin.Initialize();
    const int port = BoundPort(ReadLocalPort());
    if (status != 0 || plugin.GetStatus() != 0) {
        plugin.Finalize();
        std::cerr << "quillbox: " << title << " cannot serve POP3 on 127.0.0.1:" << port
                  << ": the port is most likely in use by another program (another quillbox?).\n"
                  << "Stop that program, or choose another port with \"quillbox setup\".\n";
        return 1;
    }
    std::cout << title << " serves POP3 on 127.0.0.1:" << port
              << " (user name: the path of a feed list file; Ctrl+C stops)" << std::endl;
    termination.Wait();
    plugin.Finalize();
    std::cout << title << " stopped." << std::endl;
    return 0;
}

int Setup(CPluginLibrary& plugin, const std::string& pluginPath)
{
    plugin.Load(pluginPath);
    plugin.Setup();
    plugin.Finalize();
    const std::string folder = platform::UserSettingsFolder(kSettingsKey);
    std::cout << "\nStored port: " << ReadLocalPort() << "\n";
    std::uint32_t stored = 0;
    if (!platform::ReadUserNumber(kSettingsKey, kLocalPortName, stored))
        std::cout << "(the default: no port is stored in " << folder << kNoStoredPortHint << ")\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string pluginPath;
    bool setup = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (argument == "--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (argument.compare(0, 9, "--plugin=") == 0) {
            pluginPath = argument.substr(9);
        } else if (argument == "setup") {
            setup = true;
        } else {
            std::cerr << "quillbox: unknown argument \"" << argument << "\"\n\n" << kUsage;
            return 2;
        }
    }
    if (pluginPath.empty()) {
        const std::string folder = platform::ExecutableFolder();
        pluginPath = (folder.empty() ? std::string(".") : folder) + "/" + kPluginFileName;
    }
    int exitCode = 1;
    {
        CPluginLibrary plugin;
        try {
            exitCode = setup ? Setup(plugin, pluginPath) : Serve(plugin, pluginPath);
        } catch (const CPluginLibrary::exception& error) {
            std::cerr << "quillbox: " << error.what() << " " << pluginPath << ": "
                      << plugin.GetError() << "\n";
        }
    }
    // A session that was still busy (downloading feeds, say) when the plug-in was finalised
    // may run on for a while; ending without the static teardown of the plug-in's objects
    // keeps it from meeting them destroyed. The process takes its resources with it.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
