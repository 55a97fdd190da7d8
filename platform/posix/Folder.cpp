#include "platform/Folder.h"

#include "platform/posix/UserFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace platform {

std::string UserBaseFolder(const char* variable, const char* underHome)
{
    const char* named = std::getenv(variable);
    if (named != nullptr && named[0] == '/')
        return named;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        return std::string();
    return std::string(home) + "/" + underHome;
}

std::string UserCacheFolder()
{
    return UserBaseFolder("XDG_CACHE_HOME", ".cache");
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder + "/" + name;
}

bool MakeFolders(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    // Each parent in turn, from the top; those that exist are left as they are.
    for (std::string::size_type slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<FolderFile> ListFiles(const std::string& folder, const std::string& suffix)
{
    std::vector<FolderFile> files;
    DIR* const listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return files;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        struct stat status;
        if (::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode))
            continue;
        files.push_back({name, static_cast<std::uint64_t>(status.st_size),
                         WallTime(std::chrono::seconds(status.st_mtime))});
    }
    ::closedir(listing);
    return files;
}

} // namespace platform
