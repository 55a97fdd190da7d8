#pragma once

#include <cstdint>
#include <string>

// Helpers for the 8-bit byte strings that carry all text in the system.

// The bytes trimmed from lines, names and values throughout: space, tab, CR and LF.
extern const char kBlankBytes[];

// Removes, in place, the leading bytes of `text` that occur in `bytes`.
void TrimLeft(std::string& text, const char* bytes = kBlankBytes);

// Removes, in place, the trailing bytes of `text` that occur in `bytes`.
void TrimRight(std::string& text, const char* bytes = kBlankBytes);

// `text` without its leading and trailing blank bytes (kBlankBytes).
std::string Trimmed(std::string text);

// `text` with its ASCII letters lowered (raised); every other byte stays. Independent of the
// locale the host process has set, under which the C library may map "I" to another byte.
std::string ToLowerASCII(std::string text);
std::string ToUpperASCII(std::string text);

// The value of a hexadecimal digit ("0" to "9", "a" to "f" in either case), or -1 for any
// other byte.
int HexDigitValue(char digit);

// Appends to `text` the UTF-8 encoding (one to four bytes) of `character`, a Unicode scalar
// value: at most U+10FFFF and no surrogate. The callers replace any other value first, each
// in its own way.
void AppendUTF8(std::string& text, std::uint32_t character);

// `text` with every "%" and two hexadecimal digits replaced by the byte they name; any other
// "%" stays as it is.
std::string PercentDecoded(const std::string& text);
