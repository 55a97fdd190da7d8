// URL resolution: the input's first line is a base URL, the rest a location or a reference
// read against it and against a fixed base. Whatever they hold, the resolved URLs read again
// as URLs, and a URL shown without its password names no password.
#include "http/URL.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void ReadBack(const std::string& url)
{
    const HTTPURL parsed = ParseHTTPURL(url);
    HostAndPort(parsed);
    const std::string shown = WithoutPassword(url);
    const HTTPURL shownParsed = ParseHTTPURL(shown);
    if (parsed.hasCredentials && !parsed.password.empty() && shownParsed.password != "***") {
        std::fprintf(stderr, "\"%s\" shown as \"%s\"\n", url.c_str(), shown.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string::size_type lineEnd = input.find('\n');
    const std::string base = input.substr(0, lineEnd);
    const std::string reference = lineEnd == std::string::npos ? input : input.substr(lineEnd + 1);
    ReadBack(input);
    for (const std::string& against : {base, std::string("https://u:p@[::1]:8443/a/b/c?q#f")}) {
        ReadBack(ResolveLocation(against, reference));
        ReadBack(ResolveReference(against, reference));
    }
    return 0;
}
