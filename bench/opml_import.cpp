// The memory of "quillbox import-opml": the host program's peak for OPML files of 1 MB and
// 8 MB, each of a deep folder chain with long titles and many feeds in its innermost folder
// (every feed's comment line names the whole chain), against the program's idle peak.
#include "support/PeakMemory.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

// An OPML document of about `bytes` bytes: half of it folder titles, 400 folders deep, the
// other half feeds inside the innermost folder.
std::string MakeOPML(std::size_t bytes)
{
    constexpr int kDepth = 400;
    const std::string title(bytes / 2 / kDepth, 't');
    std::string document = "<?xml version=\"1.0\"?><opml version=\"2.0\"><body>";
    for (int level = 0; level < kDepth; ++level)
        document += "<outline text=\"" + title + "\">";
    for (int feed = 0; document.size() < bytes; ++feed)
        document += "<outline xmlUrl=\"http://127.0.0.1/" + std::to_string(feed) + "\"/>";
    for (int level = 0; level < kDepth; ++level)
        document += "</outline>";
    return document + "</body></opml>";
}

} // namespace

int main(int /*argc*/, char** argv)
{
    const std::string program =
        (std::filesystem::absolute(argv[0]).parent_path() / ".." / "quillbox").string();
    std::random_device randomDevice;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("quillbox-opml-" + std::to_string(randomDevice()));
    std::filesystem::create_directories(folder);
    if (std::system((program + " --help >/dev/null").c_str()) != 0) {
        std::printf("opml_import: the host program %s did not run\n", program.c_str());
        return 1;
    }
    const long idle = ChildrenPeakMemoryKilobytes();
    for (const std::size_t megabytes : {1, 8}) {
        const auto file = folder / ("feeds-" + std::to_string(megabytes) + ".opml");
        const std::string document = MakeOPML(megabytes * 1024 * 1024);
        std::ofstream(file, std::ios::binary) << document;
        const int status =
            std::system((program + " import-opml " + file.string() + " >/dev/null 2>&1").c_str());
        std::printf("opml_import: %zu MB file: exit status %d; peak above the idle program "
                    "%ld MB, %.1f times the file (target a few times)\n",
                    megabytes, status, (ChildrenPeakMemoryKilobytes() - idle) / 1024,
                    static_cast<double>(ChildrenPeakMemoryKilobytes() - idle) * 1024.0 /
                        static_cast<double>(document.size()));
    }
    std::filesystem::remove_all(folder);
    return 0;
}
