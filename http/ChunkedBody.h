#pragma once

#include "common/TextException.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Undoes the chunked transfer coding of one response body as its bytes arrive, in the buffer
// they arrive in: the chunks' data moves down behind the data decoded before, so that the
// buffer never holds more than the decoded body and a line not yet whole. A chunk-size line
// has at most 16 hexadecimal digits; lines end at LF as at CR LF. Used by one thread.
class CChunkedBody
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // Decodes the bytes of `body` past the decoded data of earlier calls (all of it at the
    // first call). Once the last chunk and the trailer lines have come, `body` is the decoded
    // body and whatever follows it is dropped. Throws CChunkedBody::exception on a malformed
    // chunk-size line, or trailer lines past kMaxTrailerBytes.
    void Decode(std::string& body);

    // Whether the last chunk and the trailer lines have come.
    bool IsComplete() const { return m_state == State::Done; }

    static constexpr std::size_t kMaxTrailerBytes = 64 * 1024;

private:
    enum class State
    {
        Size,    // before a chunk-size line
        Data,    // inside a chunk's data
        DataEnd, // before the line end that closes a chunk's data
        Trailer, // after the last chunk, before the empty line
        Done,
    };

    // Reads the line at `read` (true when it is whole): `lineEnd` is where its LF is.
    bool WholeLine(const std::string& body, std::size_t read, std::size_t limit,
                   std::size_t& lineEnd) const;
    void ReadSize(const std::string& body, std::size_t begin, std::size_t end);

    State m_state = State::Size;
    std::size_t m_decoded = 0;
    std::uint64_t m_chunkLeft = 0;
    std::size_t m_trailerBytes = 0;
};
