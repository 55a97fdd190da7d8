#include "http/HTTPResponse.h"

#include "common/ByteString.h"

std::string StatusCode(const std::string& headers)
{
    const std::string::size_type space = headers.find(' ');
    if (headers.compare(0, 5, "HTTP/") != 0 || space == std::string::npos ||
        space > headers.find('\n') || headers.size() < space + 4)
        return std::string();
    const std::string code = headers.substr(space + 1, 3);
    for (char digit : code) {
        if (digit < '0' || digit > '9')
            return std::string();
    }
    const std::string::size_type after = space + 4;
    if (after < headers.size() && std::string(" \r\n").find(headers[after]) == std::string::npos)
        return std::string();
    return code;
}

namespace {

void AddHeaderLine(HeaderMap& map, const std::string& line)
{
    const std::string::size_type colon = line.find(':');
    std::string name = ToLowerASCII(line.substr(0, colon));
    std::string value;
    if (colon != std::string::npos) {
        value = line.substr(colon + 1);
        TrimLeft(value);
        TrimRight(value);
    }
    map.emplace(std::move(name), std::move(value)); // keeps an earlier value of the same name
}

} // namespace

HeaderMap ParseHeaders(const std::string& headers)
{
    HeaderMap map;
    std::string::size_type start = 0;
    while (start < headers.size()) {
        std::string::size_type end = headers.find('\n', start);
        if (end == std::string::npos)
            end = headers.size();
        AddHeaderLine(map, headers.substr(start, end - start));
        start = end + 1;
    }
    return map;
}

std::string GetHeader(const std::string& headers, const std::string& name)
{
    const HeaderMap map = ParseHeaders(headers);
    const HeaderMap::const_iterator found = map.find(name);
    return found == map.end() ? std::string() : found->second;
}

bool IsRedirection(const std::string& status)
{
    return !status.empty() && status[0] == '3' && status != "304";
}
