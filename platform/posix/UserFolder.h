#pragma once

#include <string>

// The POSIX side's one reading of the XDG base folders, shared by its settings and its
// cache. Nothing here throws except on exhaustion of memory.
namespace platform {

// The folder the environment variable `variable` names when it holds an absolute path,
// else `underHome` (".config", ".cache") in the home folder; empty without a home folder.
std::string UserBaseFolder(const char* variable, const char* underHome);

} // namespace platform
