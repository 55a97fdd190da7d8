#pragma once

#include <random>
#include <string>

// Feed documents for the benchmarks: `items` items with HTML descriptions of about 1 KB each.
// Every third feed (by `feed` number) is declared in a single-byte character set and carries
// high bytes in its text; the others are UTF-8. The same numbers and random state give the
// same bytes.
std::string MakeBenchFeed(int feed, int items, std::mt19937& random);
