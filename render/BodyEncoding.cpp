#include "render/BodyEncoding.h"

#include "common/ByteString.h"
#include "render/LineLength.h"

#include <cstring>

namespace {

const std::size_t npos = std::string::npos;

const char kHexDigits[] = "0123456789ABCDEF";
// Encoded lines hold at most 76 characters, a soft line break's "=" included.
constexpr std::size_t kMaxEncodedLineLength = 76;

// Templates nest multipart entities two deep, with the two boundaries they are offered, and
// hold a few parts. Values from feeds can make a body look like any number of parts in
// parts; each part encoded moves the rest of the message, so only so many are looked into.
constexpr int kMaxParts = 64;

const char kEncodingField[] = "Content-Transfer-Encoding";
const char kEncodingLine[] = "Content-Transfer-Encoding: quoted-printable\r\n";

// A header field's value: from after its colon to the CR LF that ends its last line.
struct FieldValue
{
    std::size_t start = npos;
    std::size_t end = npos;
};

// The value of the first field named `name` (in any case) of the header [start, end) of
// `message`, whose lines end in CR LF; its start is npos when there is none.
FieldValue FindField(const std::string& message, std::size_t start, std::size_t end,
                     const char* name)
{
    const std::size_t length = std::strlen(name);
    for (std::size_t line = start; line < end;) {
        std::size_t lineEnd = message.find("\r\n", line);
        if (lineEnd == npos || lineEnd > end)
            lineEnd = end;
        if (lineEnd - line > length && message[line + length] == ':' &&
            ToLowerASCII(message.substr(line, length)) == ToLowerASCII(name)) {
            // Continuation lines begin with a blank.
            while (lineEnd + 2 < end &&
                   (message[lineEnd + 2] == ' ' || message[lineEnd + 2] == '\t'))
                lineEnd = std::min(message.find("\r\n", lineEnd + 2), end);
            return {line + length + 1, lineEnd};
        }
        line = lineEnd + 2;
    }
    return {};
}

// The boundary of a multipart entity whose header is [start, end); empty for any other.
std::string BoundaryOf(const std::string& message, std::size_t start, std::size_t end)
{
    const FieldValue type = FindField(message, start, end, "Content-Type");
    if (type.start == npos)
        return std::string();
    std::string value = message.substr(type.start, type.end - type.start);
    TrimLeft(value);
    const std::string lower = ToLowerASCII(value);
    const std::size_t parameter = lower.find("boundary=");
    if (lower.compare(0, 10, "multipart/") != 0 || parameter == npos)
        return std::string();
    std::size_t first = parameter + 9;
    std::size_t last;
    if (first < value.size() && value[first] == '"') {
        ++first;
        last = value.find('"', first);
    } else {
        last = value.find_first_of("; \t\r\n", first);
    }
    return value.substr(first, (last == npos ? value.size() : last) - first);
}

// Declares the body after the header [start, end) quoted-printable; returns the bytes that
// the header grew by (or shrank by, below zero).
std::ptrdiff_t DeclareQuotedPrintable(std::string& message, std::size_t start, std::size_t end)
{
    const FieldValue field = FindField(message, start, end, kEncodingField);
    if (field.start == npos) {
        message.insert(end, kEncodingLine);
        return static_cast<std::ptrdiff_t>(sizeof kEncodingLine - 1);
    }
    const std::string value = " quoted-printable";
    message.replace(field.start, field.end - field.start, value);
    return static_cast<std::ptrdiff_t>(value.size()) -
           static_cast<std::ptrdiff_t>(field.end - field.start);
}

// Encodes the body [bodyStart, end) of `message` whole and declares it so in its header
// [headerStart, headerEnd); returns the bytes the entity grew by.
std::ptrdiff_t EncodeWhole(std::string& message, std::size_t headerStart, std::size_t headerEnd,
                           std::size_t bodyStart, std::size_t end)
{
    const std::string encoded = QuotedPrintable(message.data() + bodyStart, end - bodyStart);
    message.replace(bodyStart, end - bodyStart, encoded);
    return static_cast<std::ptrdiff_t>(encoded.size() - (end - bodyStart)) +
           DeclareQuotedPrintable(message, headerStart, headerEnd);
}

// Encodes the entity of `message` whose header is [headerStart, headerEnd) (its lines with
// their CR LF, before the empty line) and whose body is [bodyStart, end) where a line of it
// is too long; returns the bytes the entity grew by. `partsLeft` counts down the entities
// with long lines that may still be looked into (kMaxParts); once none are left, what is not
// done yet is encoded whole. So is a multipart body whose long line lies outside its parts,
// for no line may pass the limit.
std::ptrdiff_t EncodeEntity(std::string& message, std::size_t headerStart, std::size_t headerEnd,
                            std::size_t bodyStart, std::size_t end, int& partsLeft)
{
    if (!HasLongLine(message, bodyStart, end))
        return 0;
    const std::string boundary =
        partsLeft-- > 0 ? BoundaryOf(message, headerStart, headerEnd) : std::string();
    if (boundary.empty())
        return EncodeWhole(message, headerStart, headerEnd, bodyStart, end);
    // The parts lie between the lines that begin with "--" and the boundary; the last of
    // them ends in "--" too, or the body does.
    const std::string delimiter = "\r\n--" + boundary;
    std::ptrdiff_t growth = 0;
    std::size_t line = message.compare(bodyStart, delimiter.size() - 2, delimiter, 2, npos) == 0
                           ? bodyStart - 2
                           : message.find(delimiter, bodyStart);
    while (line != npos && line + delimiter.size() <= end && partsLeft > 0) {
        const std::size_t lineEnd = message.find("\r\n", line + delimiter.size());
        if (message.compare(line + delimiter.size(), 2, "--") == 0 || lineEnd == npos ||
            lineEnd >= end)
            break;
        const std::size_t partStart = lineEnd + 2;
        std::size_t next = message.find(delimiter, lineEnd);
        if (next == npos || next > end)
            next = end;
        // A part's header ends at its first empty line; a part that starts with one has none.
        std::size_t partHeaderEnd = message.compare(partStart, 2, "\r\n") == 0
                                        ? partStart
                                        : message.find("\r\n\r\n", partStart);
        if (partHeaderEnd == npos || partHeaderEnd >= next)
            partHeaderEnd = next;
        else if (partHeaderEnd != partStart)
            partHeaderEnd += 2;
        const std::size_t partBodyStart = std::min(partHeaderEnd + 2, next);
        const std::ptrdiff_t grown =
            EncodeEntity(message, partStart, partHeaderEnd, partBodyStart, next, partsLeft);
        growth += grown;
        end += grown;
        line = message.find(delimiter, next + grown);
    }
    if (HasLongLine(message, bodyStart, end))
        growth += EncodeWhole(message, headerStart, headerEnd, bodyStart, end);
    return growth;
}

} // namespace

std::string QuotedPrintable(const char* data, std::size_t size)
{
    std::string encoded;
    encoded.reserve(size + size / 4);
    std::size_t lineLength = 0;
    for (std::size_t at = 0; at < size; ++at) {
        const unsigned char byte = static_cast<unsigned char>(data[at]);
        if (byte == '\r' && at + 1 < size && data[at + 1] == '\n') {
            encoded += "\r\n";
            lineLength = 0;
            ++at;
            continue;
        }
        const bool endsLine =
            at + 1 == size || (data[at + 1] == '\r' && at + 2 < size && data[at + 2] == '\n');
        const bool literal = (byte > ' ' && byte < 0x7F && byte != '=') ||
                             ((byte == ' ' || byte == '\t') && !endsLine);
        const std::size_t width = literal ? 1 : 3;
        if (lineLength + width > kMaxEncodedLineLength - 1) {
            encoded += "=\r\n";
            lineLength = 0;
        }
        if (literal) {
            encoded += static_cast<char>(byte);
        } else {
            encoded += '=';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0xF];
        }
        lineLength += width;
    }
    return encoded;
}

void EncodeLongLinedBodies(std::string& message, std::size_t bodyStart)
{
    if (bodyStart < 2 || bodyStart > message.size())
        return;
    int partsLeft = kMaxParts;
    EncodeEntity(message, 0, bodyStart - 2, bodyStart, message.size(), partsLeft);
}
