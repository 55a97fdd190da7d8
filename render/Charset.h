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

// Rewrites, in place, a feed document as UTF-8 with a declaration that says so, when it can
// tell the document's encoding: UTF-16 or UTF-32 by a byte order mark or by how the document
// begins, or a declared character set other than UTF-8. The known single-byte sets are
// decoded by their tables; any other name goes to the operating system's converter, which may
// decline it. A document without a declaration, one declared UTF-8, and one in a set nothing
// can name is left byte for byte as it is. Only the declaration is parsed: a document that is
// not well-formed after its declaration is converted all the same, and fails when it is
// parsed. Returns whether the document was converted. Never fails; safe from several threads
// at once. `declaredCharset`, when given, gets the character set the declaration names, as
// written (left alone when there is no declaration).
bool ConvertToUtf8(std::string& document, std::string* declaredCharset = nullptr);

// Whether `document` is to be parsed as UTF-8 explicitly: it has no XML declaration, which
// makes it UTF-8 by the XML rules, and its bytes are UTF-8 indeed. Left to itself, the XML
// library reads such a document as single bytes and turns character references above 0xFF
// into wrong bytes; told to read UTF-8 where the bytes are not, it could take markup after
// a stray byte for part of a character, so any other document is left to the library.
bool IsUndeclaredUtf8(const std::string& document);
