#pragma once

#include <cstddef>
#include <string>

// Text that others chose (a server's status line or redirection target, a document's
// character set name or title, an error text quoting either) made safe to print on a
// terminal: no control character reaches it and what is printed is valid UTF-8. It is not
// made safe for JSON (quotes and backslashes stay as they are): the JSON of "check" escapes
// its strings itself (shell/host/CheckOutput.cpp), reading UTF-8 with Utf8CharacterLength.
// Stateless; safe on any thread.

// The length of the well-formed UTF-8 character at `index` of `text` (1 to 4), or 0 when
// the bytes there are none: a stray continuation byte, a cut sequence, an overlong form, a
// surrogate or a value past U+10FFFF.
std::size_t Utf8CharacterLength(const std::string& text, std::size_t index);

// `text` with every control character (C0, DEL and C1) written as "\xHH" (its code point, as
// two hexadecimal digits) and every byte outside well-formed UTF-8 written as "\xHH" too, so
// that no escape sequence of the text reaches the terminal and the result is valid UTF-8.
// Everything else, backslashes included, stays as it is.
std::string PrintableText(const std::string& text);
