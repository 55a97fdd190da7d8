#pragma once

#include <map>
#include <string>

// The single-byte character-set tables behind ConvertToUtf8 (render/Charset.h), and the
// steps that use them, open to the tests and benchmarks that check them one by one. The rest
// of the system converts documents through render/Charset.h alone.

// How one single-byte character set maps to UTF-8. Entry b holds the UTF-8 encoding (one to
// three bytes) of the character the set assigns to byte b, padded with zero bytes, or "?"
// where the set assigns none. Entries 0x00 to 0x7F are ASCII and never consulted.
struct CharsetTable
{
    char entries[256][4];
};

// The known character sets by lower-case name ("iso-8859-2", "windows-1251", ...). Built on
// first use from constant data and only read afterwards; safe from several threads.
using CharsetTableMap = std::map<std::string, CharsetTable>;
const CharsetTableMap& CharsetTables();

// Whether `name`, compared byte for byte, is a key of CharsetTables().
bool IsKnownCharset(const std::string& name);

// Returns `text` decoded with `table` into UTF-8: bytes below 0x80 are copied, every other
// byte becomes its table entry.
std::string DecodeWithTable(const std::string& text, const CharsetTable& table);

// Returns `text` decoded with the table of the character set `name`, or `text` unchanged when
// there is no such table.
std::string ConvertCharset(const std::string& text, const std::string& name);
