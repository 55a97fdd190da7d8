#include "platform/Folder.h"

#include <shlobj.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>

namespace platform {

std::string UserCacheFolder()
{
    const char* localData = std::getenv("LOCALAPPDATA");
    if (localData != nullptr && localData[0] != '\0')
        return localData;
    char path[MAX_PATH];
    if (::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return std::string();
    return path;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

bool MakeFolders(const std::string& path)
{
    if (path.empty())
        return false;
    // Each parent in turn, from the top (a drive's root needs no creating).
    for (std::string::size_type separator = path.find_first_of("\\/", 3);;
         separator = path.find_first_of("\\/", separator + 1)) {
        const std::string part = path.substr(0, separator);
        if (!::CreateDirectoryA(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (separator == std::string::npos)
            break;
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<FolderFile> ListFiles(const std::string& folder, const std::string& suffix)
{
    std::vector<FolderFile> files;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*" + suffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    // FILETIME counts 100-nanosecond steps from 1601; 1970 is this many seconds later.
    constexpr std::chrono::seconds kFrom1601To1970{11644473600LL};
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::uint64_t written =
            (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
            found.ftLastWriteTime.dwLowDateTime;
        files.push_back(
            {name, (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
             WallTime(std::chrono::seconds(static_cast<long long>(written / 10000000u)) -
                      kFrom1601To1970)});
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return files;
}

} // namespace platform
