#include "platform/File.h"

#include "platform/FilePrimitives.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace platform {
namespace {

// The largest piece one ReadFile or WriteFile call is given.
constexpr DWORD kMaxPiece = 1u << 30;

// Another program (a virus scanner, a search indexer) may hold the file open for a moment
// without letting it be read or replaced; the open and the move are tried again for about
// half a second.
constexpr int kMoveAttempts = 10;
constexpr std::chrono::milliseconds kMoveRetry{50};

// The system's wide form of a path given in the ANSI code page. A long one is made absolute
// and marked as such ("\\?\"), which lifts the limit of MAX_PATH characters: without
// it a store whose path is near the limit could be written but not read back, and every
// commit would lose the uids before it.
std::wstring WidePath(const std::string& path)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    if (wide.size() < MAX_PATH - 12 || wide.compare(0, 4, L"\\\\?\\") == 0)
        return wide;
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring absolute(needed, L'\0');
    absolute.resize(::GetFullPathNameW(wide.c_str(), needed, &absolute[0], nullptr));
    if (absolute.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

// How a read treats a name that is a reparse point (a symbolic link, a junction).
enum class Links
{
    Follow,
    Refuse,
};

OwnFile ReadFile(const std::string& path, std::string& content, std::size_t maxBytes,
                 TooLong tooLong, Links links)
{
    content.clear();
    if (path.find('\0') != std::string::npos)
        return OwnFile::Missing;
    // Others may go on reading, writing, and replacing the file (a seen store being
    // replaced while a login reads it). A folder does not open this way; a device or a pipe
    // opens without waiting and is turned away by its type.
    const std::wstring widePath = WidePath(path);
    HANDLE file;
    for (int attempt = 1;; ++attempt) {
        file = ::CreateFileW(
            widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING,
            links == Links::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            break;
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return OwnFile::Missing;
        if (attempt == kMoveAttempts ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION))
            return OwnFile::Refused;
        ::Sleep(static_cast<DWORD>(kMoveRetry.count()));
    }
    BY_HANDLE_FILE_INFORMATION information;
    bool good = ::GetFileType(file) == FILE_TYPE_DISK &&
                (links == Links::Follow ||
                 (::GetFileInformationByHandle(file, &information) &&
                  (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0));
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
    return good ? OwnFile::Read : OwnFile::Refused;
}

} // namespace

bool ReadRegularFile(const std::string& path, std::string& content, std::size_t maxBytes,
                     TooLong tooLong)
{
    return ReadFile(path, content, maxBytes, tooLong, Links::Follow) == OwnFile::Read;
}

bool ReadTrustedFile(const std::string& path, std::string& content, std::size_t maxBytes,
                     TooLong tooLong)
{
    return ReadRegularFile(path, content, maxBytes, tooLong);
}

Distrust WhyDistrusted(const std::string& /*path*/)
{
    return Distrust::None;
}

OwnFile ReadOwnFile(const std::string& path, std::string& content)
{
    return ReadFile(path, content, static_cast<std::size_t>(-1), TooLong::Fail, Links::Refuse);
}

bool OthersMayReplaceFilesIn(const std::string& /*folder*/)
{
    return false;
}

bool WriteNewFlushedFile(const std::string& path, const std::vector<std::string_view>& pieces,
                         bool flush)
{
    const HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool good = true;
    for (const std::string_view content : pieces) {
        std::size_t written = 0;
        while (good && written < content.size()) {
            const DWORD piece =
                static_cast<DWORD>(std::min<std::size_t>(content.size() - written, kMaxPiece));
            DWORD count = 0;
            good = ::WriteFile(file, content.data() + written, piece, &count, nullptr) && count > 0;
            written += count;
        }
    }
    // Without the flush a crash soon after the move could leave the file empty, which is the
    // very loss the move is there to prevent.
    good = good && (!flush || ::FlushFileBuffers(file));
    return ::CloseHandle(file) && good;
}

bool MoveFileOver(const std::string& from, const std::string& to)
{
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if (attempt == kMoveAttempts ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
             error != ERROR_LOCK_VIOLATION))
            return false;
        ::Sleep(static_cast<DWORD>(kMoveRetry.count()));
    }
}

void RemoveFile(const std::string& path)
{
    ::DeleteFileW(WidePath(path).c_str());
}

} // namespace platform
