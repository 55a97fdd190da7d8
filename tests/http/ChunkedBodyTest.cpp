#include "http/ChunkedBody.h"

#include <gtest/gtest.h>

namespace {

// Decodes `coded` arriving in pieces of `piece` bytes: the decoded body, or the failure's text.
std::string Decoded(const std::string& coded, std::size_t piece)
{
    CChunkedBody chunks;
    std::string body;
    try {
        for (std::size_t at = 0; at < coded.size() && !chunks.IsComplete(); at += piece) {
            body += coded.substr(at, piece);
            chunks.Decode(body);
        }
    } catch (const CChunkedBody::exception& error) {
        return error.what();
    }
    return chunks.IsComplete() ? body : "incomplete: " + body;
}

} // namespace

TEST(ChunkedBody, DecodesInPlaceHoweverTheBytesArrive)
{
    const struct
    {
        std::string coded;
        const char* decoded;
    } cases[] = {
        {"5\r\nhello\r\n7;name=\"v\"\r\n, world\r\n0\r\n\r\n", "hello, world"},
        {"a \t; x\nABCDEFGHIJ\nB\n0123456789\n\n0\nTrailer: 1\nMore: 2\n\nafter",
         "ABCDEFGHIJ0123456789\n"},
        {"0\r\n\r\n", ""},
        {"3\r\nabc\r\n", "incomplete: abc"},
        {"3\r\nabcX\r\n0\r\n\r\n", "malformed chunked answer"},
        {"\r\n3\r\nabc\r\n0\r\n\r\n", "malformed chunked answer"},
        {"-3\r\nabc\r\n0\r\n\r\n", "malformed chunked answer"},
        {"3x\r\nabc\r\n0\r\n\r\n", "malformed chunked answer"},
        {"10000000000000000\r\n", "malformed chunked answer"},
        {"FFFFFFFFFFFFFFFF\r\nabc", "incomplete: abc"},
        {std::string(5000, '0') + "\r\n", "malformed chunked answer"},
        {"0\r\nX: " + std::string(70000, 't') + "\r\n\r\n", "headers too large"},
    };
    for (const auto& expected : cases) {
        for (std::size_t piece :
             {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(100000)})
            EXPECT_EQ(Decoded(expected.coded, piece), expected.decoded)
                << expected.coded.substr(0, 40) << " in pieces of " << piece;
    }
}
