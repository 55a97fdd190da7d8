#pragma once

#include <string>

namespace platform {

// Converts `text`, written in the character set named `charset`, to UTF-8 in `utf8`. UTF-16
// and UTF-32 ("utf-16", "utf-16le", "utf-32be", ...; without an order in the name, a leading
// byte order mark gives it, else big-endian) are decoded by our own code; any other set by the
// operating system's converter: iconv on POSIX; on Windows MultiByteToWideChar with the code
// page of the name. Names are matched without regard to case, with the converter's common
// names and aliases ("windows-1252", "cp1252", "latin1", "koi8-r", "gb2312", "shift_jis",
// ...). A byte the set does not define, a sequence that the text cuts off, and a UTF-16 or
// UTF-32 unit that is no character each become one "?"; both systems give the same bytes.
// Returns false, with `utf8` empty, when the converter does not know the name; a name with
// blanks or "/" is none. Safe from several threads at once.
bool DecodeCharset(const std::string& text, const std::string& charset, std::string& utf8);

} // namespace platform
