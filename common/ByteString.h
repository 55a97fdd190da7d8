#pragma once

#include <string>

// Helpers for the 8-bit byte strings that carry all text in the system.

// The bytes trimmed from lines, names and values throughout: space, tab, CR and LF.
extern const char kBlankBytes[];

// Removes, in place, the leading bytes of `text` that occur in `bytes`.
void TrimLeft(std::string& text, const char* bytes = kBlankBytes);

// Removes, in place, the trailing bytes of `text` that occur in `bytes`.
void TrimRight(std::string& text, const char* bytes = kBlankBytes);
