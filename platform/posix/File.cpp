#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
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

bool ReadTrustedFile(const std::string& path, std::string& content)
{
    content.clear();
    if (path.find('\0') != std::string::npos)
        return false;
    // A device is not even opened: opening some has effects of its own. The name may change
    // hands between this look and the opening, so the opened file is examined again.
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    // Without O_NONBLOCK a pipe swapped in after the look would block the opening for good.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool trusted = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                         (status.st_uid == geteuid() || status.st_uid == 0) &&
                         (status.st_mode & S_IWOTH) == 0;
    bool complete = false;
    if (trusted) {
        // Read until the end rather than trusting the size: the file may change meanwhile.
        char buffer[16384];
        for (;;) {
            const ssize_t count = read(descriptor, buffer, sizeof buffer);
            if (count > 0) {
                content.append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0) {
                complete = true;
                break;
            } else if (errno != EINTR) {
                break;
            }
        }
    }
    close(descriptor);
    if (!complete)
        content.clear();
    return complete;
}

} // namespace platform
