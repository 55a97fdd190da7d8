#include "platform/Settings.h"

#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

// Anything longer than this cannot be a 32-bit number in decimal, blanks included.
constexpr std::size_t kMaxValueBytes = 64;

std::string ConfigurationFolder()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/')
        return configHome;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        return std::string();
    return std::string(home) + "/.config";
}

bool IsFolder(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// Decimal digits with optional blanks around them; nothing else.
bool ParseNumber(const std::string& text, std::uint32_t& value)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    if (begin == end)
        return false;
    std::uint64_t number = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(text[i] - '0');
        if (number > 0xFFFFFFFFu)
            return false;
    }
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool WriteAll(int descriptor, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace

std::string UserSettingsFolder(const std::string& key)
{
    const std::string base = ConfigurationFolder();
    if (base.empty())
        return base;
    // The registry's "Software" root is the configuration folder itself.
    std::string relative = key;
    const std::string root = "Software\\";
    if (relative.compare(0, root.size(), root) == 0)
        relative.erase(0, root.size());
    for (char& byte : relative) {
        if (byte == '\\')
            byte = '/';
    }
    return base + "/" + relative;
}

bool ReadUserNumber(const std::string& key, const std::string& name, std::uint32_t& value)
{
    const std::string folder = UserSettingsFolder(key);
    if (folder.empty())
        return false;
    // Opened without waiting, and read only when it is a regular file: a pipe in its place
    // would otherwise hold the host's thread until somebody wrote to it.
    const int descriptor = ::open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return false;
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return false;
    }
    // One byte more than a number can need tells an overlong value from a good one.
    char buffer[kMaxValueBytes + 1];
    std::size_t length = 0;
    while (length < sizeof buffer) {
        const ssize_t count = ::read(descriptor, buffer + length, sizeof buffer - length);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        length += static_cast<std::size_t>(count);
    }
    ::close(descriptor);
    if (length > kMaxValueBytes)
        return false;
    return ParseNumber(std::string(buffer, length), value);
}

bool WriteUserNumber(const std::string& key, const std::string& name, std::uint32_t value)
{
    const std::string folder = UserSettingsFolder(key);
    if (folder.empty() || !IsFolder(folder))
        return false;
    // Written beside the value and renamed over it, so the value is never seen half written.
    const std::string path = folder + "/" + name;
    const std::string temporary = path + ".new" + std::to_string(::getpid());
    const int descriptor =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return false;
    const bool written = WriteAll(descriptor, std::to_string(value) + "\n");
    const bool closed = ::close(descriptor) == 0;
    if (!written || !closed || !ReplaceFile(temporary, path)) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace platform
