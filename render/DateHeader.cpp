#include "render/DateHeader.h"

#include "common/ByteString.h"
#include "common/Calendar.h"
#include "render/ElementText.h"
#include "render/HeaderEncoding.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>

namespace {

bool IsDigit(char byte)
{
    return byte >= '0' && byte <= '9';
}

// Reads exactly `count` digits at `cursor` into `number` and moves past them.
bool ReadDigits(const char*& cursor, const char* end, int count, int& number)
{
    number = 0;
    for (int digit = 0; digit < count; ++digit, ++cursor) {
        if (cursor == end || !IsDigit(*cursor))
            return false;
        number = number * 10 + (*cursor - '0');
    }
    return true;
}

bool Skip(const char*& cursor, const char* end, char byte)
{
    if (cursor == end || *cursor != byte)
        return false;
    ++cursor;
    return true;
}

// Reads a zone ("Z", "+hh:mm", "+hhmm" or "+hh") into "+hhmm" form.
bool ReadZone(const char*& cursor, const char* end, std::string& zone)
{
    if (Skip(cursor, end, 'Z')) {
        zone = "+0000";
        return true;
    }
    if (cursor == end || (*cursor != '+' && *cursor != '-'))
        return false;
    const char sign = *cursor++;
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(cursor, end, 2, hours) || hours > 23)
        return false;
    if (cursor != end) {
        Skip(cursor, end, ':');
        if (!ReadDigits(cursor, end, 2, minutes) || minutes > 59)
            return false;
    }
    char text[6];
    std::snprintf(text, sizeof text, "%c%02d%02d", sign, hours, minutes);
    zone = text;
    return true;
}

const TiXmlElement* FindChild(const TiXmlElement* parent, const char* name)
{
    return parent ? parent->FirstChildElement(name) : nullptr;
}

std::string TextOf(const TiXmlElement* element)
{
    if (!element)
        return std::string();
    std::string text = ElementText(*element);
    TrimLeft(text);
    TrimRight(text);
    return text;
}

// The first date of `sources` that has one, as one header line's value.
template <std::size_t Count> std::string FirstDate(const TiXmlElement* const (&sources)[Count])
{
    for (const TiXmlElement* source : sources) {
        std::string date = TextOf(source);
        KeepOnHeaderLine(date, 0);
        if (!date.empty())
            return date;
    }
    return std::string();
}

// The first date the feed gives for an item without its own "pubDate".
std::string FallbackDate(const TiXmlElement& item, CChannelValues& channelValues)
{
    const TiXmlElement* const own[] = {FindChild(&item, "dc:date")};
    std::string date = FirstDate(own);
    if (!date.empty())
        return date;
    return channelValues.Date([&item] {
        const TiXmlNode* parent = item.Parent();
        const TiXmlElement* channel = parent ? parent->ToElement() : nullptr;
        const TiXmlElement* const sources[] = {
            FindChild(channel, "pubDate"),
            FindChild(channel, "lastBuildDate"),
            FindChild(channel, "dc:date"),
        };
        return FirstDate(sources);
    });
}

bool IsBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

// Whether the five bytes at `line` are "Date:", in any case, as field names are.
bool IsDateField(const char* line)
{
    static const char kName[] = "date:";
    for (int index = 0; index < 5; ++index) {
        const char byte = line[index];
        if ((byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte) != kName[index])
            return false;
    }
    return true;
}

// Appends `number`, which is not negative and has at most `width` digits, in exactly
// `width` decimal digits.
void AppendDigits(std::string& text, int number, int width)
{
    const std::size_t start = text.size();
    text.append(static_cast<std::size_t>(width), '0');
    for (std::size_t at = text.size(); at > start && number > 0; number /= 10)
        text[--at] = static_cast<char>('0' + number % 10);
}

} // namespace

std::string MailDateFromISO8601(const std::string& value)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* cursor = value.data();
    const char* const end = cursor + value.size();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(cursor, end, 4, year) || !Skip(cursor, end, '-') ||
        !ReadDigits(cursor, end, 2, month) || !Skip(cursor, end, '-') ||
        !ReadDigits(cursor, end, 2, day))
        return std::string();
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return std::string();
    std::string zone = "-0000";
    if (cursor != end) {
        if (!Skip(cursor, end, 'T') && !Skip(cursor, end, ' '))
            return std::string();
        if (!ReadDigits(cursor, end, 2, hour) || !Skip(cursor, end, ':') ||
            !ReadDigits(cursor, end, 2, minute) || hour > 23 || minute > 59)
            return std::string();
        if (Skip(cursor, end, ':')) {
            if (!ReadDigits(cursor, end, 2, second) || second > 60)
                return std::string();
            // Fractions of a second have no place in a mail date.
            if (Skip(cursor, end, '.') || Skip(cursor, end, ',')) {
                if (cursor == end || !IsDigit(*cursor))
                    return std::string();
                while (cursor != end && IsDigit(*cursor))
                    ++cursor;
            }
        }
        if (cursor != end && !ReadZone(cursor, end, zone))
            return std::string();
        if (cursor != end)
            return std::string();
    }
    // "Tue, 10 Jun 2003 04:00:00 +0000"
    std::string text = kDays[DayOfWeek(year, month, day)];
    text += ", ";
    AppendDigits(text, day, 2);
    text += ' ';
    text += kMonths[month - 1];
    text += ' ';
    AppendDigits(text, year, 4);
    text += ' ';
    AppendDigits(text, hour, 2);
    text += ':';
    AppendDigits(text, minute, 2);
    text += ':';
    AppendDigits(text, second, 2);
    text += ' ';
    text += zone;
    return text;
}

void CompleteDateHeader(std::string& message, std::size_t& bodyStart, const TiXmlElement& item,
                        CChannelValues& channelValues)
{
    for (std::size_t lineStart = 0; lineStart < bodyStart;) {
        std::size_t lineEnd = message.find('\n', lineStart);
        if (lineEnd == std::string::npos || lineEnd > bodyStart)
            lineEnd = bodyStart;
        const std::size_t next = lineEnd + 1;
        if (lineEnd != lineStart && message[lineEnd - 1] == '\r')
            --lineEnd;
        if (lineEnd - lineStart < 5 || !IsDateField(message.data() + lineStart)) {
            lineStart = next;
            continue;
        }
        std::size_t valueStart = lineStart + 5;
        while (valueStart != lineEnd && IsBlank(message[valueStart]))
            ++valueStart;
        std::size_t valueEnd = lineEnd;
        while (valueEnd != valueStart && IsBlank(message[valueEnd - 1]))
            --valueEnd;
        const std::string original = message.substr(valueStart, valueEnd - valueStart);
        std::string value = original.empty() ? FallbackDate(item, channelValues) : original;
        const std::string mailDate = MailDateFromISO8601(value);
        if (!mailDate.empty())
            value = mailDate;
        if (value == original)
            return;
        if (valueStart == lineStart + 5)
            value.insert(0, 1, ' ');
        message.replace(valueStart, original.size(), value);
        bodyStart = bodyStart + value.size() - original.size();
        return;
    }
}
