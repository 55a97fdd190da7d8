#include "platform/Settings.h"

#include "common/ByteString.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

// A stored value is never anywhere near this long; anything longer is no number.
constexpr DWORD kMaxValueBytes = 4096;

} // namespace

std::string UserSettingsFolder(const std::string& key)
{
    return "HKEY_CURRENT_USER\\" + key;
}

bool UserSettingsKeyExists(const std::string& key)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(opened);
    return true;
}

// The value's first four bytes, whatever its type, as the number they hold.
bool ReadUserNumber(const std::string& key, const std::string& name, std::uint32_t& value)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    std::vector<BYTE> data(kMaxValueBytes);
    DWORD size = kMaxValueBytes;
    const bool read = ::RegQueryValueExA(opened, name.c_str(), nullptr, nullptr, data.data(),
                                         &size) == ERROR_SUCCESS &&
                      size >= sizeof value;
    ::RegCloseKey(opened);
    if (read)
        std::memcpy(&value, data.data(), sizeof value);
    return read;
}

bool ReadUserText(const std::string& key, const std::string& name, std::string& value)
{
    std::vector<char> data(kMaxValueBytes + 1);
    DWORD size = static_cast<DWORD>(data.size());
    if (::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                       data.data(), &size) != ERROR_SUCCESS)
        return false;
    value = data.data();
    TrimLeft(value);
    TrimRight(value);
    return true;
}

bool WriteUserNumber(const std::string& key, const std::string& name, std::uint32_t value)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, &opened) != ERROR_SUCCESS)
        return false;
    const DWORD number = value;
    const bool written =
        ::RegSetValueExA(opened, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                         sizeof number) == ERROR_SUCCESS;
    ::RegCloseKey(opened);
    return written;
}

} // namespace platform
