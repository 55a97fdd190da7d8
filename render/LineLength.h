#pragma once

#include <cstddef>
#include <string>

// The longest line a mail message may hold, its CR LF not counted. Some mail clients damage
// or refuse longer lines.
constexpr std::size_t kMaxLineLength = 998;

// Shortens, in place, every line of `message` (lines end in CR LF) that is longer than
// kMaxLineLength, by breaking it at blanks (space or tab):
// - Header lines, before `bodyStart`, are folded: CR LF goes in before a blank inside the
//   value that follows other text and is followed by more, so the blank begins a
//   continuation line and the header keeps its value.
// - Body lines, from `bodyStart` on, are broken at a blank outside any HTML tag (and outside
//   quoted attribute values), else at a blank between the attributes of a tag, which becomes
//   CR LF: HTML reads a line end there as the same white space. Each break is made as close
//   to the limit as such a blank allows. A body that still has a longer line goes out
//   quoted-printable (EncodeLongLinedBodies).
// A header line without a suitable blank within the limit is folded at the first one after
// it, and one without any stays whole. A message without long lines is left untouched, at
// the cost of one scan.
void LimitLineLengths(std::string& message, std::size_t bodyStart);

// Whether a line of `text` that starts in [from, to) holds more than kMaxLineLength bytes
// before `to` or its CR LF.
bool HasLongLine(const std::string& text, std::size_t from, std::size_t to);
