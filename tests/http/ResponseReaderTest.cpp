#include "http/ResponseReader.h"

#include "http/ByteBudget.h"
#include "http/CancelSignal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A response's bytes from memory, handed out at most `piece` bytes a receive.
class CMemorySource : public IResponseSource
{
public:
    CMemorySource(std::string bytes, std::size_t piece) : m_bytes(std::move(bytes)), m_piece(piece)
    {}

    long Receive(char* data, std::size_t bytes) override
    {
        const std::size_t count = std::min({bytes, m_piece, m_bytes.size() - m_offset});
        std::memcpy(data, m_bytes.data() + m_offset, count);
        m_offset += count;
        return static_cast<long>(count);
    }

private:
    const std::string m_bytes;
    const std::size_t m_piece;
    std::size_t m_offset = 0;
};

// The failure's text, or "" when the response was read into `response`.
std::string Read(CMemorySource source, ReceivedResponse& response, CCancelSignal* cancel = nullptr,
                 CByteBudget* budget = nullptr)
{
    try {
        CResponseReader(source, cancel, budget).Read(response);
    } catch (const CResponseReader::exception& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(ResponseReader, ReadsTheSameWhateverPiecesTheBytesComeIn)
{
    const struct
    {
        const char* what;
        std::string response;
        std::string headers;
        std::string body;
        std::string failure;
    } cases[] = {
        {"a body to its length, nothing past it",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef",
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", "abc", ""},
        {"a body to the close", "HTTP/1.0 200 OK\n\nabc", "HTTP/1.0 200 OK\n\n", "abc", ""},
        {"chunks",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n1\r\nc\r\n0\r\n\r\n",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "abc", ""},
        {"interim responses skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\nx",
         "HTTP/1.1 200 OK\r\n\r\n", "x", ""},
        {"a header block the close cuts", "HTTP/1.1 200 OK\r\nX: y", "HTTP/1.1 200 OK\r\nX: y", "",
         ""},
        {"a body shorter than its length", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc",
         "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", "", "answer cut off"},
        {"chunks the close cuts", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "", "answer cut off"},
        {"no answer at all", "", "", "", "no answer"},
        {"no HTTP", "SSH-2.0\r\n\r\n", "SSH-2.0\r\n\r\n", "", "not an HTTP answer"},
    };
    for (const auto& test : cases) {
        for (const std::size_t piece : {std::size_t(1), std::size_t(5), std::size_t(1) << 20}) {
            ReceivedResponse response;
            EXPECT_EQ(Read(CMemorySource(test.response, piece), response), test.failure)
                << test.what << ", pieces of " << piece;
            EXPECT_EQ(response.headers, test.headers) << test.what << ", pieces of " << piece;
            if (test.failure.empty()) {
                EXPECT_EQ(response.body, test.body) << test.what << ", pieces of " << piece;
            }
        }
    }
}

TEST(ResponseReader, AFailedReadGivesBackWhatItTookAndACancelledOneStops)
{
    CByteBudget budget(1024 * 1024);
    ReceivedResponse response;
    EXPECT_EQ(Read(CMemorySource("HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\nabc", 7),
                   response, nullptr, &budget),
              "answer cut off");
    EXPECT_EQ(budget.Left(), 1024u * 1024u);

    CCancelSignal cancel;
    cancel.Cancel();
    EXPECT_EQ(Read(CMemorySource("HTTP/1.1 200 OK\r\n\r\nabc", 1), response, &cancel),
              "download cancelled");
}
