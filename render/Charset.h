#pragma once

#include <map>
#include <string>

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

// Rewrites, in place, a feed document whose XML declaration names one of the known
// single-byte character sets as UTF-8, with a declaration that says so. Any other document
// is left byte for byte as it is. Only the declaration is parsed: a document that is not
// well-formed after its declaration is converted all the same, and fails when it is parsed.
// Returns whether the document was converted. Never fails; safe from several threads at once.
// `declaredCharset`, when given, gets the character set the declaration names, as written
// (left alone when there is no declaration).
bool ConvertToUtf8(std::string& document, std::string* declaredCharset = nullptr);
