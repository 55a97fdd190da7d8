#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

// Folders that the system keeps files of its own in (the copies of feeds), and what it does
// with the files in them beyond reading and writing (platform/File.h). Safe from several
// threads at once; nothing here throws except on exhaustion of memory.
namespace platform {

// The user's folder for data that can be made again: $XDG_CACHE_HOME when it is an absolute
// path, else ~/.cache on POSIX; the local application data folder on Windows (%LOCALAPPDATA% when
// it is set). Empty when the user has none.
std::string UserCacheFolder();

// The path of `name` inside `folder`, joined by the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Creates the folder `path` and the parents it lacks; on POSIX the folders created are the
// user's alone (0700). True when `path` is a folder afterwards.
bool MakeFolders(const std::string& path);

// A regular file of a folder: its name (without the folder), its size, and when it was last
// written.
struct FolderFile
{
    std::string name;
    std::uint64_t bytes = 0;
    WallTime modified;
};

// The regular files of `folder` whose names end with `suffix`, in no particular order; none
// when the folder cannot be read.
std::vector<FolderFile> ListFiles(const std::string& folder, const std::string& suffix);

// Removes the file at `path`; nothing happens when it cannot be removed.
void RemoveFile(const std::string& path);

} // namespace platform
