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
//   quoted attribute values), which becomes CR LF: HTML reads a line end as the same white
//   space.
// Each break is made as close to the limit as a blank allows; a line without a suitable
// blank within the limit is broken at the first one after it, and a line without any stays
// whole. A message without long lines is left untouched, at the cost of one scan.
void LimitLineLengths(std::string& message, std::size_t bodyStart);
