#pragma once

#include <string>

// Helpers for the 8-bit byte strings that carry all text in the system.

// The bytes trimmed from lines, names and values throughout: space, tab, CR and LF.
extern const char kBlankBytes[];

// Removes, in place, the leading bytes of `text` that occur in `bytes`.
void TrimLeft(std::string& text, const char* bytes = kBlankBytes);

// Removes, in place, the trailing bytes of `text` that occur in `bytes`.
void TrimRight(std::string& text, const char* bytes = kBlankBytes);

// `text` with its ASCII letters lowered (raised); every other byte stays. Independent of the
// locale the host process has set, under which the C library may map "I" to another byte.
std::string ToLowerASCII(std::string text);
std::string ToUpperASCII(std::string text);

// `text` with every "%" and two hexadecimal digits replaced by the byte they name; any other
// "%" stays as it is.
std::string PercentDecoded(const std::string& text);

// `bytes` in Base64 (the standard alphabet, with "=" padding), as HTTP's Basic
// authentication writes "user:password".
std::string Base64(const std::string& bytes);
