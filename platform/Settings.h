#pragma once

#include <cstdint>
#include <string>

// The current user's stored settings. A key is named the way the Windows registry names it
// under the current user, "Software\Maker\Product"; each key holds named 32-bit numbers and
// texts. On Windows a key is that registry key and a value a REG_DWORD (read as the first
// four bytes of whatever the value holds) or a REG_SZ. On POSIX the key is the folder
// Maker/Product under the user's configuration folder ($XDG_CONFIG_HOME, or ~/.config when
// that is unset or not absolute) and a value is the file of its name in that folder, holding
// the number as decimal text, or the text.
// Keys are never created here: creating one is the installer's work. Nothing here throws.
namespace platform {

// Where a key lives, whether or not it exists: its folder on POSIX, empty when the user has
// no configuration folder (no usable $XDG_CONFIG_HOME and no $HOME); its full registry name
// on Windows.
std::string UserSettingsFolder(const std::string& key);

// Whether the key exists (its folder on POSIX), so that numbers can be stored in it.
bool UserSettingsKeyExists(const std::string& key);

// Reads a number. False, leaving `value` alone, when the key or value is missing, the value
// is not a regular file, or it does not hold a number from 0 to 4294967295 (on Windows:
// when it holds fewer than four bytes).
bool ReadUserNumber(const std::string& key, const std::string& name, std::uint32_t& value);

// Reads a text of at most 4096 bytes, without the blanks and line ends around it. False,
// leaving `value` alone, when the key or value is missing, is not a regular file (on Windows:
// not a string), or is longer.
bool ReadUserText(const std::string& key, const std::string& name, std::string& value);

// Stores a number in an existing key, replacing the old value whole (a reader sees the old
// or the new number, never a mix). False when the key does not exist or the write failed;
// then the old value stays.
bool WriteUserNumber(const std::string& key, const std::string& name, std::uint32_t value);

} // namespace platform
