#pragma once

#include <string>

// Conversions between plain text and HTML for feed values that are given in the other form.
// Pure functions of their argument; any thread.

// The text that HTML shows: tags (and comments) dropped, character references decoded to
// UTF-8 (numeric ones, and the named ones feeds use; an unknown name stays as written),
// blanks as they stand.
std::string PlainTextOfHtml(const std::string& html);

// Plain text as HTML that shows it: "&", "<", ">" and '"' escaped, and every line break
// kept visible as "<br>" before it.
std::string HtmlOfText(const std::string& text);
