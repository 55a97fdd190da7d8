#include "http/ChunkedBody.h"

#include "common/ByteString.h"

#include <algorithm>
#include <cstring>

namespace {

// A chunk-size line with its extensions; real ones are a few bytes.
constexpr std::size_t kMaxSizeLineBytes = 4096;
constexpr std::size_t kMaxSizeDigits = 16;

const char kMalformed[] = "malformed chunked answer";

} // namespace

bool CChunkedBody::WholeLine(const std::string& body, std::size_t read, std::size_t limit,
                             std::size_t& lineEnd) const
{
    lineEnd = body.find('\n', read);
    const std::size_t length = (lineEnd == std::string::npos ? body.size() : lineEnd) - read;
    if (length > limit)
        throw exception(m_state == State::Trailer ? "headers too large" : kMalformed);
    return lineEnd != std::string::npos;
}

void CChunkedBody::ReadSize(const std::string& body, std::size_t begin, std::size_t end)
{
    std::uint64_t size = 0;
    std::size_t index = begin;
    for (int digit; index < end && (digit = HexDigitValue(body[index])) >= 0; ++index) {
        if (index - begin == kMaxSizeDigits)
            throw exception(kMalformed);
        size = size * 16 + static_cast<std::uint64_t>(digit);
    }
    // Blanks, extensions after ";" and the CR of the line end may follow the digits.
    if (index == begin || (index < end && std::strchr(" \t;\r", body[index]) == nullptr))
        throw exception(kMalformed);
    m_chunkLeft = size;
    m_state = size == 0 ? State::Trailer : State::Data;
}

void CChunkedBody::Decode(std::string& body)
{
    std::size_t read = m_decoded;
    std::size_t lineEnd = 0;
    while (read < body.size() && m_state != State::Done) {
        switch (m_state) {
        case State::Size:
            if (!WholeLine(body, read, kMaxSizeLineBytes, lineEnd))
                break;
            ReadSize(body, read, lineEnd);
            read = lineEnd + 1;
            continue;
        case State::Data: {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_chunkLeft, body.size() - read));
            if (read != m_decoded)
                std::memmove(&body[m_decoded], &body[read], count);
            m_decoded += count;
            read += count;
            m_chunkLeft -= count;
            if (m_chunkLeft == 0)
                m_state = State::DataEnd;
            continue;
        }
        case State::DataEnd:
            if (body[read] == '\r' && read + 1 == body.size())
                break;
            if (body[read] == '\r')
                ++read;
            if (body[read] != '\n')
                throw exception(kMalformed);
            ++read;
            m_state = State::Size;
            continue;
        case State::Trailer:
            if (!WholeLine(body, read,
                           kMaxTrailerBytes - std::min(m_trailerBytes, kMaxTrailerBytes), lineEnd))
                break;
            m_trailerBytes += lineEnd + 1 - read;
            if (lineEnd == read || (lineEnd == read + 1 && body[read] == '\r'))
                m_state = State::Done;
            read = lineEnd + 1;
            continue;
        case State::Done:
            break;
        }
        break;
    }
    if (m_state == State::Done)
        body.resize(m_decoded);
    else
        body.erase(m_decoded, read - m_decoded);
}
