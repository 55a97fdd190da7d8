#include "platform/File.h"

#include "platform/FilePrimitives.h"
#include "platform/Thread.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

namespace platform {
namespace {

// Left by a writer that has not finished after this long, a temporary file is a crashed
// writer's: a whole rewrite takes milliseconds.
constexpr std::chrono::minutes kStaleAfter{1};

// A name in the folder of `path` that no other writer picks: a crashed writer's leftover or
// a second process writing the same file at the same moment must not meet ours. It is kept
// short, so that a file whose own name is near the length limit can still be replaced.
std::string TemporaryNameBeside(const std::string& path)
{
    // Never destroyed, so that a thread still writing while the process ends finds it.
    static CLock& generatorLock = *new CLock;
    static std::mt19937_64 generator GUARDED_BY(generatorLock){std::random_device{}()};
    std::uint64_t suffix;
    {
        CLockHolder holder(generatorLock);
        suffix = generator();
    }
    char name[24];
    std::snprintf(name, sizeof name, "%016llX.tmp", static_cast<unsigned long long>(suffix));
    return TemporaryFilePrefix(path) + name;
}

// Where the file name of `path` begins: after its folder part, if any.
std::size_t FileNameStart(const std::string& path)
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
}

// Removes the temporary files for `path` that writers killed while writing left behind;
// those of other files, and fresh ones, stay.
void RemoveStaleTemporaries(const std::string& path)
{
    const std::filesystem::path prefix = TemporaryFilePrefix(path);
    const std::string start = prefix.filename().string();
    const std::filesystem::path folder =
        prefix.has_parent_path() ? prefix.parent_path() : std::filesystem::path(".");
    const auto now = std::filesystem::file_time_type::clock::now();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() < start.size() + 4 || name.compare(0, start.size(), start) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        std::error_code ignored;
        const auto written = std::filesystem::last_write_time(entry->path(), ignored);
        if (!ignored && now - written > kStaleAfter)
            RemoveFile(entry->path().string());
    }
}

} // namespace

std::string TemporaryFilePrefix(const std::string& path)
{
    const std::size_t nameStart = FileNameStart(path);
    std::uint32_t digest = 2166136261u;
    for (std::size_t index = nameStart; index < path.size(); ++index) {
        digest ^= static_cast<unsigned char>(path[index]);
        digest *= 16777619u;
    }
    char start[24];
    std::snprintf(start, sizeof start, ".quillbox-%08X-", static_cast<unsigned>(digest));
    return path.substr(0, nameStart) + start;
}

bool WriteWholeFile(const std::string& path, const std::string& content, Durability durability)
{
    CFileReplacement replacement;
    return replacement.Write(path, {content}, durability) && replacement.Commit();
}

CFileReplacement::~CFileReplacement()
{
    Abandon();
}

CFileReplacement::CFileReplacement(CFileReplacement&& other) noexcept
    : m_path(std::move(other.m_path)), m_temporary(std::move(other.m_temporary))
{
    other.m_temporary.clear();
}

CFileReplacement& CFileReplacement::operator=(CFileReplacement&& other) noexcept
{
    if (this != &other) {
        Abandon();
        m_path = std::move(other.m_path);
        m_temporary = std::move(other.m_temporary);
        other.m_temporary.clear();
    }
    return *this;
}

bool CFileReplacement::Write(const std::string& path, const std::vector<std::string_view>& pieces,
                             Durability durability)
{
    if (IsWritten() || OthersMayReplaceFilesIn(path.substr(0, FileNameStart(path))))
        return false;
    RemoveStaleTemporaries(path);
    std::string temporary = TemporaryNameBeside(path);
    if (!WriteNewFlushedFile(temporary, pieces, durability == Durability::Flushed)) {
        RemoveFile(temporary);
        return false;
    }
    m_path = path;
    m_temporary = std::move(temporary);
    return true;
}

bool CFileReplacement::Commit()
{
    if (!IsWritten() || !MoveFileOver(m_temporary, m_path)) {
        Abandon();
        return false;
    }
    m_temporary.clear();
    return true;
}

void CFileReplacement::Abandon()
{
    if (IsWritten())
        RemoveFile(m_temporary);
    m_temporary.clear();
}

} // namespace platform
