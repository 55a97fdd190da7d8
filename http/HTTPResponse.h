#pragma once

#include <map>
#include <string>

// Helpers that read the header block of an HTTP response: the status line, the header lines
// and the empty line, exactly as received. All are stateless and safe on any thread.

// Header name (lower case) to value (surrounding blanks removed).
using HeaderMap = std::map<std::string, std::string>;

// The three digits of the status line ("HTTP/1.1 301 Moved" gives "301"), or empty when the
// block does not begin with such a line.
std::string StatusCode(const std::string& headers);

// Reads every line of the block (the status line and the final empty line included) as
// "name: value". Names are lower-cased and kept untrimmed; a line without ":" is all name.
// When a name occurs twice its first value is kept.
HeaderMap ParseHeaders(const std::string& headers);

// The value stored under `name` (lower case) in the block's header map, or empty.
std::string GetHeader(const std::string& headers, const std::string& name);

// Whether a status code is a redirection to follow: every "3xx" but "304 Not Modified".
bool IsRedirection(const std::string& status);
