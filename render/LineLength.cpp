#include "render/LineLength.h"

#include "render/BodyEncoding.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

const std::size_t npos = std::string::npos;

bool IsBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

bool IsASCIILetter(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

// The position of the first LF at or after `from`, or the text's size.
std::size_t NextLineFeed(const std::string& text, std::size_t from)
{
    const void* lineFeed = std::memchr(text.data() + from, '\n', text.size() - from);
    return lineFeed ? static_cast<const char*>(lineFeed) - text.data() : text.size();
}

// Where the line that holds the LF at `lineFeed` (or that ends the text) ends its content:
// at the CR of its CR LF, or at the LF itself.
std::size_t ContentEnd(const std::string& text, std::size_t lineStart, std::size_t lineFeed)
{
    return lineFeed != lineStart && lineFeed != text.size() && text[lineFeed - 1] == '\r'
               ? lineFeed - 1
               : lineFeed;
}

// Puts CR LF in before position `at` of `text`.
void InsertLineEnd(std::string& text, std::size_t at)
{
    text.insert(at, "\r\n", 2);
}

// Folds the header line [lineStart, lineEnd) of `message` wherever it is too long; returns
// where the line's content now ends.
std::size_t FoldHeaderLine(std::string& message, std::size_t lineStart, std::size_t lineEnd)
{
    // The field name and the first piece of its value stay together on the first line, and
    // a continuation line must hold more than blanks.
    std::size_t valueStart = lineStart;
    const void* colon = std::memchr(message.data() + lineStart, ':', lineEnd - lineStart);
    if (colon) {
        valueStart = static_cast<const char*>(colon) - message.data() + 1;
        while (valueStart != lineEnd && IsBlank(message[valueStart]))
            ++valueStart;
    }
    std::size_t textEnd = lineEnd;
    while (textEnd != lineStart && IsBlank(message[textEnd - 1]))
        --textEnd;
    const auto isFoldPoint = [&](std::size_t at) {
        return at > valueStart && IsBlank(message[at]) && !IsBlank(message[at - 1]);
    };
    while (lineEnd - lineStart > kMaxLineLength && textEnd - lineStart > 1) {
        std::size_t fold = npos;
        for (std::size_t at = std::min(lineStart + kMaxLineLength, textEnd - 1); at > lineStart;
             --at) {
            if (isFoldPoint(at)) {
                fold = at;
                break;
            }
        }
        for (std::size_t at = lineStart + kMaxLineLength + 1; fold == npos && at < textEnd; ++at) {
            if (isFoldPoint(at))
                fold = at;
        }
        if (fold == npos)
            break;
        InsertLineEnd(message, fold);
        textEnd += 2;
        lineEnd += 2;
        lineStart = fold + 2;
    }
    return lineEnd;
}

void FoldHeader(std::string& message, std::size_t& bodyStart)
{
    for (std::size_t lineStart = 0; lineStart < bodyStart;) {
        const std::size_t lineFeed = std::min(NextLineFeed(message, lineStart), bodyStart);
        const std::size_t lineEnd = ContentEnd(message, lineStart, lineFeed);
        const std::size_t foldedEnd = lineEnd - lineStart > kMaxLineLength
                                          ? FoldHeaderLine(message, lineStart, lineEnd)
                                          : lineEnd;
        bodyStart += foldedEnd - lineEnd;
        lineStart = lineFeed + (foldedEnd - lineEnd) + 1;
    }
}

// Follows the HTML markup of a body from its start, to tell blanks of the text from blanks
// inside tags, where a line break could change an attribute's value unless it stands between
// two attributes. A "<" opens a tag only before a letter, "/", "!" or "?", as in HTML; any
// other "<" is text. Quoted attribute values may hold ">". Text is passed over with memchr;
// only tags go byte by byte.
class CMarkupScan
{
public:
    CMarkupScan(const std::string& text, std::size_t from) : m_text(text), m_at(from) {}

    // Tells the scan that a byte went into the text before its position.
    void ShiftByOne() { ++m_at; }

    // Moves the scan up to `to`; returns the last blank of the text at or after `from` that
    // it passed, else the last blank between the attributes of a tag, or else npos.
    std::size_t LastBreak(std::size_t from, std::size_t to)
    {
        std::size_t found = npos;
        while (m_at < to) {
            const std::pair<std::size_t, std::size_t> run = NextTextRun(to);
            for (std::size_t at = run.second; at > std::max(run.first, from); --at) {
                if (IsBlank(m_text[at - 1])) {
                    found = at - 1;
                    break;
                }
            }
        }
        if (found == npos && m_tagBlank != npos && m_tagBlank >= from)
            found = m_tagBlank;
        return found;
    }

private:
    enum class Place
    {
        Text,
        Tag,
        Quoted
    };

    // Moves the scan over the next run of text before `to` and returns it as [first,
    // second), or over markup, returning an empty run.
    std::pair<std::size_t, std::size_t> NextTextRun(std::size_t to)
    {
        const std::size_t start = m_at;
        if (m_place == Place::Text) {
            for (std::size_t cursor = m_at; cursor < to;) {
                const void* found = std::memchr(m_text.data() + cursor, '<', to - cursor);
                if (!found)
                    break;
                const std::size_t open = static_cast<const char*>(found) - m_text.data();
                const char next = open + 1 < m_text.size() ? m_text[open + 1] : '\0';
                if (IsASCIILetter(next) || next == '/' || next == '!' || next == '?') {
                    m_at = open + 1;
                    m_place = Place::Tag;
                    m_afterEquals = false;
                    return {start, open};
                }
                cursor = open + 1;
            }
            m_at = to;
            return {start, to};
        }
        while (m_at < to && m_place != Place::Text) {
            const char byte = m_text[m_at++];
            if (m_place == Place::Tag && !m_afterEquals && IsBlank(byte))
                m_tagBlank = m_at - 1;
            AdvanceInMarkup(byte);
        }
        return {m_at, m_at};
    }

    void AdvanceInMarkup(char byte)
    {
        if (m_place == Place::Quoted) {
            if (byte == m_quote) {
                m_place = Place::Tag;
                m_afterEquals = false;
            }
        } else if (byte == '>') {
            m_place = Place::Text;
        } else if (byte == '=') {
            m_afterEquals = true;
        } else if (m_afterEquals && (byte == '"' || byte == '\'')) {
            m_place = Place::Quoted;
            m_quote = byte;
        } else if (!IsBlank(byte)) {
            m_afterEquals = false;
        }
    }

    const std::string& m_text;
    std::size_t m_at;
    Place m_place = Place::Text;
    bool m_afterEquals = false;
    char m_quote = 0;
    // The last blank passed inside a tag and outside its attributes' values.
    std::size_t m_tagBlank = npos;
};

void BreakBodyLines(std::string& message, std::size_t bodyStart)
{
    CMarkupScan scan(message, bodyStart);
    for (std::size_t lineStart = bodyStart; lineStart < message.size();) {
        const std::size_t lineFeed = NextLineFeed(message, lineStart);
        const std::size_t lineEnd = ContentEnd(message, lineStart, lineFeed);
        if (lineEnd - lineStart > kMaxLineLength) {
            // A blank at the limit leaves a line of exactly the limit before it. A blank at
            // the start of a line would leave an empty line.
            const std::size_t blank = scan.LastBreak(lineStart + 1, lineStart + kMaxLineLength + 1);
            if (blank != npos) {
                message[blank] = '\n';
                message.insert(blank, 1, '\r');
                scan.ShiftByOne();
                lineStart = blank + 2;
                continue;
            }
        }
        lineStart = lineFeed + 1;
    }
}

} // namespace

bool HasLongLine(const std::string& text, std::size_t from, std::size_t to)
{
    for (std::size_t lineStart = from; lineStart < to;) {
        const std::size_t lineFeed = std::min(NextLineFeed(text, lineStart), to);
        if (ContentEnd(text, lineStart, lineFeed) - lineStart > kMaxLineLength)
            return true;
        lineStart = lineFeed + 1;
    }
    return false;
}

void LimitLineLengths(std::string& message, std::size_t bodyStart)
{
    if (!HasLongLine(message, 0, message.size()))
        return;
    // Room for a few line ends, so that most messages are not copied again.
    message.reserve(message.size() + 64);
    bodyStart = std::min(bodyStart, message.size());
    FoldHeader(message, bodyStart);
    BreakBodyLines(message, bodyStart);
    if (HasLongLine(message, bodyStart, message.size()))
        EncodeLongLinedBodies(message, bodyStart);
}
