#pragma once

#include <string>

// Why the file a user named on the command line cannot be read, in the user's words
// ("not found", "a folder, not a file", ...); empty when it can be read. A path starting
// with "~" is named as such when it is not found: programs that take a path from a mail
// client or a configuration file see it without the shell's expansion.
std::string WhyUnreadable(const std::string& path);
