#pragma once

#include <string>

// The system's own converter behind DecodeCharset (platform/CharsetConversion.h), one
// implementation per system. Used by platform/CharsetConversion.cpp only.
namespace platform {

// Converts `text` from the character set `name` (lower case, no blanks, no "/") to UTF-8 in
// `utf8`, marking each undefined byte, and a sequence the text cuts off, with one "?".
// Returns false when the converter does not know the name. Safe from several threads.
bool ConvertWithSystemConverter(const std::string& text, const std::string& name,
                                std::string& utf8);

} // namespace platform
