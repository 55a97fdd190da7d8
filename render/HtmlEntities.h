#pragma once

#include <string_view>

// The named character references of HTML ("nbsp", "rsquo", "copy", ...), which feeds write
// into XML that knows only its own five names.

// The numeric reference ("&#160;") that stands for the characters HTML names `name` (without
// "&" and ";"; case matters), one or two of them; empty when HTML has no such name. The text
// is static. Safe from several threads at once.
std::string_view HtmlEntityReference(std::string_view name);
