#include "platform/File.h"

#include "platform/FilePrimitives.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

// The largest piece one ReadFile or WriteFile call is given.
constexpr DWORD kMaxPiece = 1u << 30;

} // namespace

const char kTextLineEnd[] = "\r\n";

bool ReadRegularFile(const std::string& path, std::string& content, std::size_t maxBytes,
                     TooLong tooLong)
{
    content.clear();
    // Others may go on reading, writing, and replacing the file (a seen store being
    // replaced while a login reads it). A folder does not open this way; a device or a pipe
    // opens without waiting and is turned away by its type.
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool good = ::GetFileType(file) == FILE_TYPE_DISK;
    char buffer[16384];
    while (good) {
        DWORD count = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &count, nullptr)) {
            good = false;
            break;
        }
        if (count == 0)
            break;
        if (count > maxBytes - content.size()) {
            good = tooLong == TooLong::KeepStart;
            if (good)
                content.append(buffer, maxBytes - content.size());
            break;
        }
        content.append(buffer, count);
    }
    ::CloseHandle(file);
    if (!good)
        content.clear();
    return good;
}

bool WriteNewFlushedFile(const std::string& path, const std::string& content)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool good = true;
    std::size_t written = 0;
    while (good && written < content.size()) {
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - written, kMaxPiece));
        DWORD count = 0;
        good = ::WriteFile(file, content.data() + written, piece, &count, nullptr) && count > 0;
        written += count;
    }
    // Without the flush a crash soon after the move could leave the file empty, which is the
    // very loss the move is there to prevent.
    good = good && ::FlushFileBuffers(file);
    return ::CloseHandle(file) && good;
}

bool MoveFileOver(const std::string& from, const std::string& to)
{
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFile(const std::string& path)
{
    ::DeleteFileA(path.c_str());
}

} // namespace platform
