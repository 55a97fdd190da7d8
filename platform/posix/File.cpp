#include "platform/File.h"

#include "platform/FilePrimitives.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

namespace {

// Whose files a read accepts.
enum class Writers
{
    Anybody,
    UserOrAdministrator, // files the process's own user or the administrator owns
    UserAlone,           // files the process's own user owns, not reached through a link
};

// The file systems whose files the kernel makes up as they are read (the processes and the
// devices of /proc and /sys, say). Their owners say nothing about who chose the content:
// a file of root's under /proc/<process> holds what the process's own user put there.
bool IsMadeUpBySystem(int descriptor)
{
    static const unsigned long kMadeUp[] = {
        PROC_SUPER_MAGIC, SYSFS_MAGIC,        DEBUGFS_MAGIC,       TRACEFS_MAGIC,
        SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, DEVPTS_SUPER_MAGIC,
        BPF_FS_MAGIC,     PSTOREFS_MAGIC,     EFIVARFS_MAGIC,      SELINUX_MAGIC,
        SMACK_MAGIC,      BINFMTFS_MAGIC,     NSFS_MAGIC,          USBDEVICE_SUPER_MAGIC,
        0x62656570, // configfs
        0x65735543, // fusectl
    };
    struct statfs system;
    if (::fstatfs(descriptor, &system) != 0)
        return true;
    for (const unsigned long magic : kMadeUp)
        if (static_cast<unsigned long>(system.f_type) == magic)
            return true;
    return false;
}

// Whether a file of this status could have been written by others than `writers`.
bool OthersMayHaveWritten(const struct stat& status, Writers writers)
{
    switch (writers) {
    case Writers::Anybody:
        return false;
    case Writers::UserOrAdministrator:
        if (status.st_uid != ::geteuid() && status.st_uid != 0)
            return true;
        break;
    case Writers::UserAlone:
        if (status.st_uid != ::geteuid())
            return true;
        break;
    }
    return (status.st_mode & S_IWOTH) != 0;
}

// Why a read for `writers` refuses the open file of this status.
Distrust Examine(int descriptor, const struct stat& status, Writers writers)
{
    if (writers == Writers::Anybody)
        return Distrust::None;
    if (IsMadeUpBySystem(descriptor))
        return Distrust::MadeUpBySystem;
    return OthersMayHaveWritten(status, writers) ? Distrust::OthersMayWrite : Distrust::None;
}

// Reads as the callers below say; `why`, when given, learns why a regular file was refused.
OwnFile ReadFile(const std::string& path, std::string& content, std::size_t maxBytes,
                 TooLong tooLong, Writers writers, Distrust* why = nullptr)
{
    content.clear();
    if (path.find('\0') != std::string::npos)
        return OwnFile::Missing;
    // Opened without waiting, and read only when it is a regular file.
    const int descriptor =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK |
                                 (writers == Writers::UserAlone ? O_NOFOLLOW : 0));
    if (descriptor < 0)
        return errno == ENOENT || errno == ENOTDIR ? OwnFile::Missing : OwnFile::Refused;
    struct stat status;
    bool good = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    if (good) {
        const Distrust distrust = Examine(descriptor, status, writers);
        good = distrust == Distrust::None;
        if (why != nullptr)
            *why = distrust;
    }
    char buffer[16384];
    while (good) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            good = count == 0;
            break;
        }
        if (static_cast<std::size_t>(count) > maxBytes - content.size()) {
            good = tooLong == TooLong::KeepStart;
            if (good)
                content.append(buffer, maxBytes - content.size());
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(descriptor);
    if (!good)
        content.clear();
    return good ? OwnFile::Read : OwnFile::Refused;
}

} // namespace

bool ReadRegularFile(const std::string& path, std::string& content, std::size_t maxBytes,
                     TooLong tooLong)
{
    return ReadFile(path, content, maxBytes, tooLong, Writers::Anybody) == OwnFile::Read;
}

bool ReadTrustedFile(const std::string& path, std::string& content, std::size_t maxBytes,
                     TooLong tooLong)
{
    return ReadFile(path, content, maxBytes, tooLong, Writers::UserOrAdministrator) ==
           OwnFile::Read;
}

Distrust WhyDistrusted(const std::string& path)
{
    std::string start;
    Distrust why = Distrust::None;
    ReadFile(path, start, 0, TooLong::KeepStart, Writers::UserOrAdministrator, &why);
    return why;
}

OwnFile ReadOwnFile(const std::string& path, std::string& content)
{
    return ReadFile(path, content, static_cast<std::size_t>(-1), TooLong::Fail, Writers::UserAlone);
}

bool OthersMayReplaceFilesIn(const std::string& folder)
{
    struct stat status;
    if (::stat(folder.empty() ? "." : folder.c_str(), &status) != 0)
        return false;
    return (status.st_mode & S_IWOTH) != 0 && (status.st_mode & S_ISVTX) == 0;
}

bool WriteNewFlushedFile(const std::string& path, const std::vector<std::string_view>& pieces,
                         bool flush)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    bool good = true;
    for (const std::string_view content : pieces) {
        std::size_t written = 0;
        while (good && written < content.size()) {
            const ssize_t count =
                ::write(descriptor, content.data() + written, content.size() - written);
            if (count < 0 && errno == EINTR)
                continue;
            good = count > 0;
            if (good)
                written += static_cast<std::size_t>(count);
        }
    }
    // Without the flush a crash soon after the move could leave the file empty on some file
    // systems, which is the very loss the move is there to prevent. Network file systems may
    // report a full disk only here. A file system that cannot flush at all is no reason to
    // give up.
    good = good && (!flush || ::fsync(descriptor) == 0 || errno == EINVAL || errno == ENOTSUP);
    return ::close(descriptor) == 0 && good;
}

bool MoveFileOver(const std::string& from, const std::string& to)
{
    struct stat replaced;
    if (::lstat(to.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode) &&
        ::chmod(from.c_str(), replaced.st_mode & 07777) != 0)
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path)
{
    ::unlink(path.c_str());
}

} // namespace platform
