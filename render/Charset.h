#pragma once

#include <string>

// Rewrites, in place, a feed document whose XML declaration names one of the known
// single-byte character sets as UTF-8, with a declaration that says so. Any other document
// is left byte for byte as it is. Never fails; safe from several threads at once.
void ConvertToUtf8(std::string& document);
