#include "http/HTTPResponse.h"

#include "common/ByteString.h"

std::string StatusCode(const std::string& headers)
{
    const std::string::size_type first = headers.find(' ');
    if (first == std::string::npos)
        return std::string();
    const std::string::size_type second = headers.find(' ', first + 1);
    if (second == std::string::npos)
        return std::string();
    return headers.substr(first + 1, second - first - 1);
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
