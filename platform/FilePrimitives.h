#pragma once

#include "platform/Folder.h"

#include <string>
#include <string_view>
#include <vector>

// The system calls behind WriteWholeFile (platform/File.h), one implementation per system.
// Used by platform/File.cpp only. Nothing here throws.
namespace platform {

// Whether users other than the process's own may replace the files of `folder` (empty: the
// current folder): it is writable for them and not marked so that only owners may remove
// files there. Windows folders guard their files by access lists: false there.
bool OthersMayReplaceFilesIn(const std::string& folder);

// Creates the file `path`, which must not exist yet, readable and writable by the process's
// own user alone, writes `pieces` into it one after the other, flushes it to the disk
// (unless `flush` is false) and closes it. False when any step fails; a file that was
// created stays.
bool WriteNewFlushedFile(const std::string& path, const std::vector<std::string_view>& pieces,
                         bool flush);

// Moves the file `from` over the file `to` in one step, replacing `to` if it exists; the
// file then has the permissions `to` had. Both names lie in the same folder.
bool MoveFileOver(const std::string& from, const std::string& to);

// RemoveFile comes from platform/Folder.h.

} // namespace platform
