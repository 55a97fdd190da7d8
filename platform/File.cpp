#include "platform/File.h"

#include "platform/FilePrimitives.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>

namespace platform {
namespace {

// A name in the folder of `path` that no other writer picks: a crashed writer's leftover or
// a second process writing the same file at the same moment must not meet ours. It is kept
// short, so that a file whose own name is near the length limit can still be replaced.
std::string TemporaryNameBeside(const std::string& path)
{
    static std::mutex generatorLock;
    static std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t suffix;
    {
        std::lock_guard<std::mutex> guard(generatorLock);
        suffix = generator();
    }
    char name[32];
    std::snprintf(name, sizeof name, ".quillbox-%016llX.tmp",
                  static_cast<unsigned long long>(suffix));
    const std::size_t separator = path.find_last_of("/\\");
    return (separator == std::string::npos ? std::string() : path.substr(0, separator + 1)) + name;
}

std::string WithTextLineEnds(const std::string& content)
{
    std::string text;
    text.reserve(content.size());
    for (const char byte : content) {
        if (byte == '\n')
            text += kTextLineEnd;
        else
            text += byte;
    }
    return text;
}

} // namespace

bool WriteWholeFile(const std::string& path, const std::string& content, LineEnds lineEnds)
{
    const std::string temporary = TemporaryNameBeside(path);
    const bool written = WriteNewFlushedFile(
        temporary, lineEnds == LineEnds::Text ? WithTextLineEnds(content) : content);
    if (written && MoveFileOver(temporary, path))
        return true;
    RemoveFile(temporary);
    return false;
}

} // namespace platform
