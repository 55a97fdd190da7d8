// The plug-in shell from the host's side: how long loading the plug-in and starting its
// server takes, how long a port change from the setup dialog takes, and how long the host
// program needs from its start to serving and from SIGTERM to its end.
#include "platform/DynamicLibrary.h"
#include "shell/host/PluginLibrary.h"
#include "support/ChildProcess.h"
#include "support/LoopbackPorts.h"
#include "support/PeakMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const int kRounds = 20;

double Milliseconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Figures
{
    void Add(double value) { values.push_back(value); }
    void Print(const char* what)
    {
        std::sort(values.begin(), values.end());
        std::printf("  %-46s median %7.2f ms, worst %7.2f ms (%zu runs)\n", what,
                    values[values.size() / 2], values.back(), values.size());
    }
    std::vector<double> values;
};

} // namespace

int main()
{
    const std::string buildFolder = platform::ExecutableFolder() + "/..";
    const std::string plugin = buildFolder + "/QUILLBOX.vorlenta.tbp";
    const std::string host = buildFolder + "/quillbox";

    // A private settings key holding a free port, so that nothing of the user's is touched.
    std::random_device random;
    const auto config = std::filesystem::temp_directory_path() /
                        ("quillbox-bench-" + std::to_string(random()) + std::to_string(random()));
    const auto key = config / "vorlenta.software" / "QUILLBOX";
    std::filesystem::create_directories(key);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const int port = shelltest::FreePort();
    std::ofstream(key / "LocalPort") << port << "\n";

    std::printf("host: plug-in shell and host program\n");
    Figures load;
    Figures initialize;
    Figures finalize;
    // The module stays loaded once loaded, so every round loads a copy of its own.
    for (int round = 0; round < kRounds; ++round) {
        const auto copy = config / ("plugin" + std::to_string(round) + ".tbp");
        std::filesystem::copy_file(plugin, copy);
        CPluginLibrary library;
        auto start = std::chrono::steady_clock::now();
        library.Load(copy.string());
        load.Add(Milliseconds(start));
        start = std::chrono::steady_clock::now();
        if (library.Initialize() != 0) {
            std::printf("  the plug-in could not start on port %d\n", port);
            return 1;
        }
        initialize.Add(Milliseconds(start));
        start = std::chrono::steady_clock::now();
        library.Finalize();
        finalize.Add(Milliseconds(start));
    }
    load.Print("loading the plug-in");
    initialize.Print("TBP_Initialize (server listening)");
    finalize.Print("TBP_Finalize (server stopped)");

    Figures ready;
    Figures stop;
    for (int round = 0; round < kRounds / 2; ++round) {
        CChildProcess process;
        auto start = std::chrono::steady_clock::now();
        std::string line;
        if (!process.Start({host}) || !process.ReadLine(line, 20000)) {
            std::printf("  the host program did not start\n");
            return 1;
        }
        ready.Add(Milliseconds(start));
        start = std::chrono::steady_clock::now();
        process.RequestTermination();
        int exitCode = 0;
        process.Wait(20000, exitCode);
        stop.Add(Milliseconds(start));
    }
    ready.Print("quillbox: start to serving");
    stop.Print("quillbox: SIGTERM to exit");
    std::printf("  peak memory %ld KB\n", PeakMemoryKilobytes());

    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
    return 0;
}
