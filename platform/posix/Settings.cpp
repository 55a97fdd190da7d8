#include "platform/Settings.h"

#include "platform/File.h"
#include "platform/posix/UserFolder.h"

#include <sys/stat.h>

#include <cstdlib>

namespace platform {
namespace {

// Anything longer than this cannot be a 32-bit number in decimal, blanks included.
constexpr std::size_t kMaxValueBytes = 64;

std::string ConfigurationFolder()
{
    return UserBaseFolder("XDG_CONFIG_HOME", ".config");
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
    std::string text;
    return !folder.empty() && ReadRegularFile(folder + "/" + name, text, kMaxValueBytes) &&
           ParseNumber(text, value);
}

bool UserSettingsKeyExists(const std::string& key)
{
    const std::string folder = UserSettingsFolder(key);
    return !folder.empty() && IsFolder(folder);
}

bool WriteUserNumber(const std::string& key, const std::string& name, std::uint32_t value)
{
    const std::string folder = UserSettingsFolder(key);
    return UserSettingsKeyExists(key) &&
           WriteWholeFile(folder + "/" + name, std::to_string(value) + "\n");
}

} // namespace platform
