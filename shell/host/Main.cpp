// quillbox: a small host for the plug-in. It loads the plug-in file and drives it only
// through its exported functions, as a mail client would: initialise, serve until asked
// to stop, finalise, unload; or run the plug-in's setup dialog. Beside that it checks a
// feed list the way a login uses it, and turns an OPML subscription list into a feed list:
// those two commands run an in-process copy of the core (the provider and its downloads,
// linked into this program), not the loaded plug-in.

#include "common/PrintableText.h"
#include "common/ReadableFile.h"
#include "platform/DynamicLibrary.h"
#include "platform/File.h"
#include "platform/Settings.h"
#include "platform/Terminal.h"
#include "platform/Termination.h"
#include "provider/FeedListReport.h"
#include "shell/LocalPort.h"
#include "shell/host/CheckOutput.h"
#include "shell/host/HostTexts.h"
#include "shell/host/OPMLImport.h"
#include "shell/host/PluginLibrary.h"
#include "shell/host/ProgressLine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

const char kPluginFileName[] = "QUILLBOX.vorlenta.tbp";
// Where an installed plug-in lives, seen from the folder of the installed program.
const char kInstalledPluginFolder[] = "../lib/quillbox";

// The --help text.
std::string Usage()
{
    return std::string(
               "Usage: quillbox [--plugin PATH] [setup]\n"
               "       quillbox check [--json] LISTFILE\n"
               "       quillbox import-opml FILE.opml\n"
               "\n"
               "  quillbox          Loads the plug-in and serves POP3 for RSS on 127.0.0.1 at the\n"
               "                    stored port (11100 unless changed) until ") +
           kStopRequest +
           ".\n"
           "                    In a mail client, make a POP3 account for server 127.0.0.1 at\n"
           "                    that port whose user name is the full path of a feed list file\n"
           "                    and whose password is anything.\n" +
           kSetupHelp +
           "  quillbox check LISTFILE\n"
           "                    Tells what a mail client logging in with LISTFILE as user name\n"
           "                    gets, feed by feed, and why a feed gives no messages: downloads\n"
           "                    every feed as a login does (the seen store is read, not written).\n"
           "                    Exit status 0 when every feed gives messages, 1 when some give\n"
           "                    none, 2 when the list cannot be read. --json prints the same as\n"
           "                    JSON.\n"
           "  quillbox import-opml FILE.opml\n"
           "                    Prints a feed list made from an OPML file, the subscription list\n"
           "                    most feed readers export: each feed's URL after a comment with\n"
           "                    its title. Save it with, for example,\n"
           "                    quillbox import-opml subscriptions.opml > " +
           kExampleListPath +
           "\n"
           "\n"
           "  --plugin PATH     Load the plug-in from PATH instead of QUILLBOX.vorlenta.tbp\n"
           "                    beside the quillbox program" +
           kOtherPluginPlace +
           ".\n"
           "  --help            Show this text.\n";
}

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
    if (platform::ReadUserNumber(kSettingsKey, kLocalPortName, stored))
        return 0;
    if (platform::UserSettingsKeyExists(kSettingsKey))
        std::cout << "(the default: no port is stored in " << folder << " yet)\n";
    else
        std::cout << "(the default: a port is kept only when " << kSettingsPlace << " " << folder
                  << " exists; " << kCreateSettingsHint << ")\n";
    return 0;
}

int Check(const std::string& listFile, bool json)
{
    std::unique_ptr<CProgressLine> progress;
    if (platform::StandardOutputIsTerminal())
        progress.reset(
            new CProgressLine(std::cout, "downloading the feeds of " + listFile +
                                             " as a login would (it waits at most 45 s):"));
    const CFeedListReport report = CFeedListReport::Run(listFile);
    progress.reset();
    if (json)
        WriteReportJSON(report, std::cout);
    else
        WriteReportText(report, std::cout);
    return report.ExitStatus();
}

int ImportOPMLFile(const std::string& path)
{
    const std::string problem = WhyUnreadable(path);
    if (!problem.empty()) {
        std::cerr << "quillbox: cannot read " << path << ": " << problem << "\n";
        return 2;
    }
    // Read at its size, and handed over rather than copied: the file may be large.
    std::string document;
    if (!platform::ReadRegularFile(path, document)) {
        std::cerr << "quillbox: cannot read " << path << "\n";
        return 2;
    }
    std::vector<std::string> warnings;
    try {
        const std::size_t count = ImportOPML(std::move(document), std::cout, warnings);
        std::cout.flush();
        // The warnings quote the file's own text.
        for (const std::string& warning : warnings)
            std::cerr << "quillbox: " << PrintableText(warning) << "\n";
        std::cerr << "quillbox: " << count << " feeds from " << path << "\n";
    } catch (const std::exception& error) {
        std::cerr << "quillbox: " << path << ": " << PrintableText(error.what()) << "\n";
        return 2;
    }
    return 0;
}

// The plug-in beside the program, or where the installation puts it.
std::string DefaultPluginPath()
{
    std::string folder = platform::ExecutableFolder();
    if (folder.empty())
        folder = ".";
    const std::string beside = folder + "/" + kPluginFileName;
    const std::string installed = folder + "/" + kInstalledPluginFolder + "/" + kPluginFileName;
    std::error_code error;
    if (!std::filesystem::exists(beside, error) && std::filesystem::exists(installed, error))
        return installed;
    return beside;
}

} // namespace

int main(int argc, char** argv)
{
    // A feed list printed by import-opml and saved with a redirection is the same file on
    // every system.
    platform::WriteStandardOutputAsBytes();
    std::string pluginPath;
    enum class Command
    {
        Serve,
        Setup,
        Check,
        ImportOPML
    } command = Command::Serve;
    std::string operand;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << Usage();
            return 0;
        } else if (argument == "--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (argument.compare(0, 9, "--plugin=") == 0) {
            pluginPath = argument.substr(9);
        } else if (argument == "--json" && command == Command::Check) {
            json = true;
        } else if (command == Command::Serve && argument == "setup") {
            command = Command::Setup;
        } else if (command == Command::Serve &&
                   (argument == "check" || argument == "import-opml")) {
            command = argument == "check" ? Command::Check : Command::ImportOPML;
        } else if ((command == Command::Check || command == Command::ImportOPML) &&
                   operand.empty() && !argument.empty()) {
            operand = argument;
        } else {
            std::cerr << "quillbox: unknown argument \"" << argument << "\"\n\n" << Usage();
            return 2;
        }
    }
    if ((command == Command::Check || command == Command::ImportOPML) && operand.empty()) {
        std::cerr << "quillbox: name the file to read\n\n" << Usage();
        return 2;
    }
    if (pluginPath.empty())
        pluginPath = DefaultPluginPath();
    int exitCode = 1;
    if (command == Command::Check) {
        exitCode = Check(operand, json);
    } else if (command == Command::ImportOPML) {
        exitCode = ImportOPMLFile(operand);
    } else {
        CPluginLibrary plugin;
        try {
            exitCode =
                command == Command::Setup ? Setup(plugin, pluginPath) : Serve(plugin, pluginPath);
        } catch (const CPluginLibrary::exception& error) {
            std::cerr << "quillbox: " << error.what() << " " << pluginPath << ": "
                      << plugin.GetError() << "\n";
        }
    }
    // A session that was still busy (downloading feeds, say) when the plug-in was finalised
    // may run on for a while, and so may a download of "check" that was left behind; ending
    // without the static teardown keeps them from meeting destroyed objects. The process
    // takes its resources with it; the finalisation has already waited for the seen-store
    // commits of answered QUITs.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
