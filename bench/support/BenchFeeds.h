#pragma once

#include <random>
#include <string>

// The kinds of document the benchmarks make.
enum class BenchFormat
{
    RSS,  // RSS 2.0
    Atom, // Atom 1.0, with the same items as entries
};

// Feed documents for the benchmarks: `items` items with HTML descriptions of about 1 KB each.
// Every third feed (by `feed` number) is declared in a single-byte character set and carries
// high bytes in its text; the others are UTF-8. The same numbers and random state give the
// same bytes; an Atom document holds the same texts as the RSS document would.
std::string MakeBenchFeed(int feed, int items, std::mt19937& random,
                          BenchFormat format = BenchFormat::RSS);
