#pragma once

#include <functional>
#include <string>

// Conversions between plain text and HTML for feed values that are given in the other form.
// Pure functions of their argument; any thread.

// The text that HTML shows: tags (a "<" before a letter, "/", "!" or "?"; any other "<" is
// text) and comments dropped, character references decoded to UTF-8 (numeric ones, and the
// named ones feeds use; an unknown name stays as written), blanks as they stand.
std::string PlainTextOfHtml(const std::string& html);

// Plain text as HTML that shows it: "&", "<", ">" and '"' escaped, and every line break
// kept visible as "<br>" before it.
std::string HtmlOfText(const std::string& text);

// `html` with the value of every "href" and "src" attribute of its start tags replaced by
// `replace(value)`, where the value is given as written (references not decoded) and is not
// empty. Comments are passed over; everything else stays byte for byte.
std::string ReplaceLinks(const std::string& html,
                         const std::function<std::string(const std::string&)>& replace);
