#pragma once

#include <cstddef>
#include <string>

// Quoted-printable for the message bodies whose lines no break can bring within the length
// mail allows (a long run of markup or a data: URL without any blank). Pure functions of
// their arguments; any thread.

// Rewrites, in place, every body of `message` (lines end in CR LF; its body starts at
// `bodyStart`, after the empty line that ends its header) that has a line longer than
// kMaxLineLength as quoted-printable, and declares it so in the header above it, whose
// Content-Transfer-Encoding field gets the value "quoted-printable" (the field is added at
// the end of a header that has none). A multipart message (its Content-Type is multipart/*
// with a boundary) is not encoded as a whole, which mail forbids: each of its parts is
// treated as a message of its own, for the first 64 parts with long lines (a multipart part
// beyond them is encoded whole, and so is a multipart body whose long line lies outside its
// parts). A message without a header
// (`bodyStart` below 2) is left as it is.
void EncodeLongLinedBodies(std::string& message, std::size_t bodyStart);

// `size` bytes from `data` as quoted-printable: CR LF stays the line end, every byte but the
// printable ASCII other than "=" (and but blanks that do not end a line) is written "=XX",
// and lines are kept within 76 characters by soft line breaks ("=" before CR LF).
std::string QuotedPrintable(const char* data, std::size_t size);
