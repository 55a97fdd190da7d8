#pragma once

#include <string>

namespace platform {

// Converts `text`, written in the character set named `charset`, to UTF-8 in `utf8`, through
// the operating system's converter: iconv on POSIX; on Windows MultiByteToWideChar with the
// code page of the name, then WideCharToMultiByte to UTF-8. Names are matched without regard
// to case, with the converter's common names and aliases ("windows-1252", "cp1252",
// "latin1", "koi8-r", "gb2312", "shift_jis", "utf-16le", ...). A byte sequence that the set
// does not define, or that the text cuts off, becomes "?". Returns false, with `utf8` empty,
// when the converter does not know the name; a name with blanks or "/" is none. Safe from
// several threads at once.
bool ConvertToUTF8(const std::string& text, const std::string& charset, std::string& utf8);

} // namespace platform
