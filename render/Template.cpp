#include "render/Template.h"

#include "render/DateHeader.h"
#include "render/ElementText.h"
#include "render/HeaderEncoding.h"
#include "render/LineLength.h"
#include "render/TemplateInternal.h"

#include <tinyxml.h>

#include <cstring>

const std::string kBuiltInTemplate = "Message-ID: <%+UIDL%>\n"
                                     "Date: %/pubDate%\n"
                                     "From: %E-/title% <feeds@quillbox.invalid>\n"
                                     "Subject: %E/title%\n"
                                     "MIME-Version: 1.0\n"
                                     "Content-Type: text/html; charset=\"utf-8\"\n"
                                     "Content-Transfer-Encoding: 8bit\n"
                                     "X-QUILLBOX: vorlenta\n"
                                     "\n"
                                     "<html>\n"
                                     "<head>\n"
                                     "<meta http-equiv=\"content-type\" content=\"text/html; "
                                     "charset=utf-8\">\n"
                                     "<base href=\"%--|xml:base%\" />\n"
                                     "</head>\n"
                                     "<body>\n"
                                     "<a href=\"%/link%\">%/title%</a>\n"
                                     "<hr>\n"
                                     "%/description%\n"
                                     "</body>\n"
                                     "</html>\n";

namespace {

bool IsNameDelimiter(char byte)
{
    return byte == '/' || byte == '|' || byte == '%';
}

// Names are compared as whole byte strings, so a name holding a NUL byte matches nothing.
const TiXmlElement* FindChildElement(const TiXmlElement& parent, const std::string& name)
{
    for (const TiXmlElement* child = parent.FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        if (child->ValueStr() == name)
            return child;
    }
    return nullptr;
}

const std::string* FindAttribute(const TiXmlElement& element, const std::string& name)
{
    for (const TiXmlAttribute* attribute = element.FirstAttribute(); attribute;
         attribute = attribute->Next()) {
        if (attribute->NameTStr() == name)
            return &attribute->ValueStr();
    }
    return nullptr;
}

const TiXmlElement* ParentElement(const TiXmlElement* element)
{
    if (!element)
        return nullptr;
    const TiXmlNode* parent = element->Parent();
    return parent ? parent->ToElement() : nullptr;
}

// Returns the position after the next "%", or `end` when there is none.
const char* SkipPastPercent(const char* cursor, const char* end)
{
    const char* percent = static_cast<const char*>(std::memchr(cursor, '%', end - cursor));
    return percent ? percent + 1 : end;
}

std::string ExpandVariable(const char*& cursor, const char* end, const TemplateVariables& variables)
{
    const std::string name = ReadPlaceholderName(cursor, end);
    cursor = SkipPastPercent(cursor, end);
    const TemplateVariables::const_iterator found = variables.find(name);
    return found == variables.end() ? std::string() : found->second;
}

// Returns where the template's header ends: at the LF of its first empty line (CR bytes
// ignored, placeholders never counting as empty). Returns nullptr for a template without an
// empty line, which has no header to protect.
const char* FindHeaderEnd(const char* cursor, const char* end)
{
    bool lineIsEmpty = true;
    while (cursor != end) {
        const char byte = *cursor++;
        if (byte == '\n') {
            if (lineIsEmpty)
                return cursor - 1;
            lineIsEmpty = true;
        } else if (byte == '%') {
            cursor = SkipPastPercent(cursor, end);
            lineIsEmpty = false;
        } else if (byte != '\r') {
            lineIsEmpty = false;
        }
    }
    return nullptr;
}

// Whether the placeholder that starts at `cursor` reads above the item: after its flags, it
// begins with a step up.
bool ReadsAboveTheItem(const char* cursor, const char* end)
{
    if (cursor != end && *cursor == 'E')
        ++cursor;
    if (cursor != end && *cursor == 'T')
        ++cursor;
    return cursor != end && *cursor == '-';
}

// Appends a value placed in the body with CR LF as its only line end: a CR LF pair stays,
// and a bare CR or a bare LF becomes CR LF. Mail clients that end lines at CR LF alone would
// otherwise run lines together, and undo the doubling of a dot at the start of a line
// differently from those that also end lines at LF.
void AppendWithCRLF(std::string& output, const std::string& value)
{
    if (!std::memchr(value.data(), '\n', value.size()) &&
        !std::memchr(value.data(), '\r', value.size())) {
        output += value;
        return;
    }
    const char* copied = value.data();
    const char* const end = copied + value.size();
    for (const char* at = copied; at != end; ++at) {
        if (*at != '\r' && *at != '\n')
            continue;
        output.append(copied, at);
        output += "\r\n";
        if (*at == '\r' && at + 1 != end && at[1] == '\n')
            ++at;
        copied = at + 1;
    }
    output.append(copied, end);
}

} // namespace

std::string ReadPlaceholderName(const char*& cursor, const char* end)
{
    const char* start = cursor;
    while (cursor != end && !IsNameDelimiter(*cursor))
        ++cursor;
    return std::string(start, cursor);
}

std::string ExpandPlaceholder(const char*& cursor, const char* end, const TiXmlElement& item,
                              const TemplateVariables& variables)
{
    // A placeholder cut off before its path begins yields nothing.
    if (cursor == end)
        return std::string();
    if (*cursor == '+') {
        ++cursor;
        return ExpandVariable(cursor, end, variables);
    }

    bool encode = false;
    if (*cursor == 'E') {
        encode = true;
        if (++cursor == end)
            return std::string();
    }
    if (*cursor == 'T') {
        if (++cursor == end)
            return std::string();
    }

    const TiXmlElement* current = &item;
    while (*cursor == '-') {
        current = ParentElement(current);
        if (++cursor == end)
            return std::string();
    }

    std::string value;
    while (cursor != end && *cursor != '%') {
        if (!current) {
            ++cursor;
            continue;
        }
        const char step = *cursor++;
        if (step == '/') {
            current = FindChildElement(*current, ReadPlaceholderName(cursor, end));
        } else if (step == '|') {
            if (const std::string* attribute =
                    FindAttribute(*current, ReadPlaceholderName(cursor, end)))
                value = *attribute;
            current = nullptr;
        } else {
            current = nullptr;
        }
    }
    if (cursor != end)
        ++cursor;

    if (current)
        value = ElementText(*current);
    return encode ? EncodeHeaderText(value) : value;
}

std::string ExpandTemplate(const std::string& templateText, const TiXmlElement& item,
                           const std::string& uid)
{
    CChannelValues channelValues;
    return ExpandTemplate(templateText, item, uid, channelValues);
}

std::string ExpandTemplate(const std::string& templateText, const TiXmlElement& item,
                           const std::string& uid, CChannelValues& channelValues)
{
    TemplateVariables variables;
    variables["BOUNDARY1"] = MakeBoundary();
    variables["BOUNDARY2"] = MakeBoundary();
    variables["UIDL"] = uid;

    std::string output;
    output.reserve(templateText.size() + templateText.size() / 2);
    const char* cursor = templateText.data();
    const char* const end = cursor + templateText.size();
    const char* const headerEnd = FindHeaderEnd(cursor, end);
    std::string::size_type bodyStart = 0;
    // Only a template line whose expansion is longer than a message line may be can give a
    // long line; most messages have none and need no further look.
    std::string::size_type lineStart = 0;
    bool mayHaveLongLines = false;
    while (cursor != end) {
        // Copy plain runs in one step; only LF, CR and "%" need attention.
        const char* run = cursor;
        while (cursor != end && *cursor != '\n' && *cursor != '\r' && *cursor != '%')
            ++cursor;
        output.append(run, cursor);
        if (cursor == end)
            break;
        const char byte = *cursor++;
        if (byte == '\n') {
            mayHaveLongLines = mayHaveLongLines || output.size() - lineStart > kMaxLineLength;
            output += "\r\n";
            lineStart = output.size();
            if (cursor - 1 == headerEnd)
                bodyStart = output.size();
        } else if (byte == '%') {
            const bool inHeader = headerEnd && cursor <= headerEnd;
            std::string ownValue;
            const std::string* value = &ownValue;
            if (ReadsAboveTheItem(cursor, end)) {
                const char* const placeholder = cursor;
                cursor = SkipPastPercent(cursor, end);
                value = &channelValues.Placeholder(std::string(placeholder, cursor), [&] {
                    const char* from = placeholder;
                    return ExpandPlaceholder(from, end, item, variables);
                });
            } else {
                ownValue = ExpandPlaceholder(cursor, end, item, variables);
            }
            if (inHeader) {
                const std::string::size_type valueStart = output.size();
                output += *value;
                KeepOnHeaderLine(output, valueStart);
            } else {
                AppendWithCRLF(output, *value);
            }
        }
    }
    if (headerEnd) {
        const std::string::size_type headerLength = bodyStart;
        CompleteDateHeader(output, bodyStart, item, channelValues);
        mayHaveLongLines = mayHaveLongLines || bodyStart != headerLength;
    }
    if (mayHaveLongLines || output.size() - lineStart > kMaxLineLength)
        LimitLineLengths(output, bodyStart);
    return output;
}
