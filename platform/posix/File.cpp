#include "platform/File.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

bool ReplaceFile(const std::string& from, const std::string& to)
{
    // Without the flush a crash soon after the rename could leave `to` empty on some file
    // systems, which is the very loss the rename is there to prevent. Network file systems
    // may report a full disk only here. A file system that cannot flush at all is no reason
    // to give up.
    const int descriptor = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool flushed = fsync(descriptor) == 0 || errno == EINVAL || errno == ENOTSUP;
    close(descriptor);
    if (!flushed)
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace platform
