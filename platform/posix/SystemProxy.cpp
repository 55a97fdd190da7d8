#include "platform/SystemProxy.h"

#include <cstdlib>
#include <initializer_list>

namespace platform {
namespace {

// The first of `names` that is set and not empty: its value, and its name as the origin.
bool ReadFirst(std::initializer_list<const char*> names, std::string& value, std::string* origin)
{
    for (const char* name : names) {
        const char* found = std::getenv(name);
        if (found != nullptr && *found != '\0') {
            value = found;
            if (origin != nullptr)
                *origin = name;
            return true;
        }
    }
    return false;
}

} // namespace

// curl's rules: http_proxy only in lower case (a CGI program gets a request's "Proxy:" header
// as HTTP_PROXY), the others in either case, the lower first.
SystemProxy SystemProxyFor(const std::string&, const std::string&, bool secure)
{
    SystemProxy settings;
    if (!ReadFirst(secure ? std::initializer_list<const char*>{"https_proxy", "HTTPS_PROXY"}
                          : std::initializer_list<const char*>{"http_proxy"},
                   settings.proxy, &settings.origin))
        ReadFirst({"all_proxy", "ALL_PROXY"}, settings.proxy, &settings.origin);
    ReadFirst({"no_proxy", "NO_PROXY"}, settings.bypass, nullptr);
    return settings;
}

} // namespace platform
