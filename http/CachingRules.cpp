#include "http/CachingRules.h"

#include "common/ByteString.h"
#include "common/Calendar.h"
#include "http/HTTPResponse.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                               "jul", "aug", "sep", "oct", "nov", "dec"};

bool IsDigits(const std::string& text)
{
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(),
                       [](char byte) { return std::isdigit(static_cast<unsigned char>(byte)); });
}

std::vector<std::string> Tokens(const std::string& text)
{
    std::vector<std::string> tokens;
    std::string token;
    for (char byte : text + " ") {
        if (byte == ' ' || byte == ',' || byte == '-' || byte == '\t') {
            if (!token.empty())
                tokens.push_back(ToLowerASCII(token));
            token.clear();
        } else {
            token += byte;
        }
    }
    return tokens;
}

bool ParseClock(const std::string& text, int& hour, int& minute, int& second)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return false;
    const std::string parts[] = {text.substr(0, 2), text.substr(3, 2), text.substr(6, 2)};
    for (const std::string& part : parts) {
        if (!IsDigits(part))
            return false;
    }
    hour = std::stoi(parts[0]);
    minute = std::stoi(parts[1]);
    second = std::stoi(parts[2]);
    return hour < 24 && minute < 60 && second <= 60;
}

// The number of seconds a "max-age=N" directive of a Cache-Control value names; false when
// there is none.
bool MaxAge(const std::string& cacheControl, std::chrono::seconds& age)
{
    const std::string value = ToLowerASCII(cacheControl);
    if (value.find("no-cache") != std::string::npos || value.find("no-store") != std::string::npos)
        return false;
    std::string::size_type start = 0;
    while (start < value.size()) {
        std::string::size_type end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        std::string directive = value.substr(start, end - start);
        TrimLeft(directive);
        TrimRight(directive);
        start = end + 1;
        if (directive.compare(0, 8, "max-age=") != 0)
            continue;
        std::string number = directive.substr(8);
        if (number.size() >= 2 && number.front() == '"' && number.back() == '"')
            number = number.substr(1, number.size() - 2);
        if (!IsDigits(number))
            return false;
        age = std::chrono::seconds(std::stoll(number));
        return true;
    }
    return false;
}

} // namespace

bool ParseHTTPDate(const std::string& text, platform::WallTime& time)
{
    int day = 0, month = 0, hour = -1, minute = 0, second = 0;
    std::int64_t year = -1;
    for (const std::string& token : Tokens(text)) {
        const std::string start = token.substr(0, 3);
        const auto named = std::find(std::begin(kMonths), std::end(kMonths), start);
        if (month == 0 && named != std::end(kMonths) && token.size() == 3) {
            month = static_cast<int>(named - std::begin(kMonths)) + 1;
        } else if (hour < 0 && token.find(':') != std::string::npos) {
            if (!ParseClock(token, hour, minute, second))
                return false;
        } else if (IsDigits(token) && token.size() <= 2 && day == 0) {
            day = std::stoi(token);
        } else if (IsDigits(token) && year < 0) {
            year = std::stoll(token);
            // Two-digit years of the obsolete form: 70 to 99 are the 1900s.
            if (token.size() == 2)
                year += year >= 70 ? 1900 : 2000;
        }
    }
    if (day < 1 || day > 31 || month == 0 || hour < 0 || year < 1970)
        return false;
    time = platform::WallTime(std::chrono::seconds(DaysFrom1970(year, month, day) * 86400 +
                                                   hour * 3600 + minute * 60 + second));
    return true;
}

platform::WallTime QuietUntil(const std::string& headers, platform::WallTime now)
{
    const std::string status = StatusCode(headers);
    if (status == "429" || status == "503") {
        std::string value = GetHeader(headers, "retry-after");
        platform::WallTime until = now;
        if (IsDigits(value))
            until = now + std::chrono::seconds(std::stoll(value));
        else if (!ParseHTTPDate(value, until))
            return now;
        return std::clamp(until, now, now + kMaxRetryAfter);
    }
    std::chrono::seconds age{0};
    if ((status == "200" || status == "304") && MaxAge(GetHeader(headers, "cache-control"), age))
        return now + std::min<std::chrono::seconds>(age, kMaxFreshAge);
    return now;
}
