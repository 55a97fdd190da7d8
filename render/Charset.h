#pragma once

#include <cstddef>
#include <string>

// Feed documents to UTF-8. The tables of the single-byte character sets behind it are in
// render/CharsetInternal.h, for the tests and benchmarks that look at them.

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

// The most memory ConvertToUtf8 holds beside a document while converting it, for each byte of
// the document: up to three bytes of UTF-8 for a byte of a single-byte set, or for a wide
// document a copy of it and an output that may grow to twice its size.
constexpr std::size_t kUtf8ConversionBytesPerByte = 4;

// Whether ConvertToUtf8 would try to convert `document` (which it may still decline); the
// document is lent for the look and left as it was.
bool NeedsUtf8Conversion(std::string& document);
