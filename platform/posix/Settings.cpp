#include "platform/Settings.h"

#include "common/ByteString.h"
#include "platform/File.h"
#include "platform/posix/UserFolder.h"

#include <sys/stat.h>

#include <cstdlib>

namespace platform {
namespace {

// Anything longer than this cannot be a 32-bit number in decimal, blanks included.
constexpr std::size_t kMaxValueBytes = 64;
constexpr std::size_t kMaxTextBytes = 4096;

std::string ConfigurationFolder()
{
    return UserBaseFolder("XDG_CONFIG_HOME", ".config");
}

bool IsFolder(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string Trimmed(std::string text)
{
    TrimLeft(text);
    TrimRight(text);
    return text;
}

// Decimal digits with optional blanks around them; nothing else.
bool ParseNumber(const std::string& text, std::uint32_t& value)
{
    const std::string digits = Trimmed(text);
    if (digits.empty())
        return false;
    std::uint64_t number = 0;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(digit - '0');
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

// Only a file no other user may have written: the setting decides where requests go.
bool ReadUserText(const std::string& key, const std::string& name, std::string& value)
{
    const std::string folder = UserSettingsFolder(key);
    std::string text;
    if (folder.empty() || !ReadTrustedFile(folder + "/" + name, text, kMaxTextBytes))
        return false;
    value = Trimmed(text);
    return true;
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
