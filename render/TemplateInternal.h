#pragma once

#include "render/Template.h"

#include <string>

// The steps of ExpandTemplate (render/Template.h) that read one placeholder, open to the
// tests that check them one by one.

// Returns the value of the placeholder that starts at `cursor` (the byte after its opening
// "%") and moves `cursor` past the closing "%", or to `end` when there is none. Never reads
// at or beyond `end`.
std::string ExpandPlaceholder(const char*& cursor, const char* end, const TiXmlElement& item,
                              const TemplateVariables& variables);

// Returns the bytes from `cursor` up to the first "/", "|" or "%", or up to `end`, and
// leaves `cursor` on that delimiter (or at `end`).
std::string ReadPlaceholderName(const char*& cursor, const char* end);
