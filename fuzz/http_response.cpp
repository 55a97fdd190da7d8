// HTTP responses: the input is a response as a server sends it, read from memory once in one
// piece and once in pieces of every size a connection may hand out. How the bytes arrive
// makes no difference: both reads give the same header block, the same body (of a response
// whose body is read) and the same failure. The header helpers, the resolution of a Location,
// the chunked decoding and the search for a web page's feed read the input too.
#include "http/ByteBudget.h"
#include "http/ChunkedBody.h"
#include "http/ContentDecoding.h"
#include "http/FeedLink.h"
#include "http/HTTPResponse.h"
#include "http/ResponseReader.h"
#include "http/URL.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The response's bytes from memory, in pieces no larger than the sizes given in turn.
class CMemorySource : public IResponseSource
{
public:
    CMemorySource(const std::string& bytes, std::initializer_list<std::size_t> pieces)
        : m_bytes(bytes), m_pieces(pieces)
    {}

    long Receive(char* data, std::size_t bytes) override
    {
        const std::size_t piece = m_pieces.begin()[m_turn++ % m_pieces.size()];
        const std::size_t count = std::min({bytes, piece, m_bytes.size() - m_offset});
        std::memcpy(data, m_bytes.data() + m_offset, count);
        m_offset += count;
        return static_cast<long>(count);
    }

private:
    const std::string& m_bytes;
    std::initializer_list<std::size_t> m_pieces;
    std::size_t m_offset = 0;
    std::size_t m_turn = 0;
};

// What a read gave: the response, or the failure's text.
struct Outcome
{
    ReceivedResponse response;
    std::string failure;
};

Outcome ReadFrom(CMemorySource source)
{
    CByteBudget budget(kMaxResponseBytes * 2);
    Outcome outcome;
    try {
        CResponseReader(source, nullptr, &budget).Read(outcome.response);
    } catch (const CResponseReader::exception& error) {
        outcome.failure = error.what();
    } catch (const CContentDecoding::exception& error) {
        outcome.failure = error.what();
    }
    if (budget.Left() > kMaxResponseBytes * 2) {
        std::fprintf(stderr, "a read gave back more than it took\n");
        std::abort();
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string response(reinterpret_cast<const char*>(data), size);

    StatusCode(response);
    ParseHeaders(response);
    ResolveLocation("http://127.0.0.1:8080/feeds/news.xml?x=1", GetHeader(response, "location"));
    FindFeedLink(response, "http://127.0.0.1:8080/feeds/");
    std::string chunked = response;
    try {
        CChunkedBody().Decode(chunked);
    } catch (const CChunkedBody::exception&) {
        // Malformed chunks are refused.
    }

    static const std::size_t kWhole = 1 << 20;
    const Outcome whole = ReadFrom(CMemorySource(response, {kWhole}));
    const Outcome pieces = ReadFrom(CMemorySource(response, {1, 7, 2, 64, 3, 1000}));
    // Only what came with the header block is kept of a body that is not read, and a failed
    // read leaves what it had.
    const std::string status = StatusCode(whole.response.headers);
    const bool bodyRead =
        whole.failure.empty() && !IsRedirection(status) && status != "204" && status != "304";
    if (whole.failure != pieces.failure || whole.response.headers != pieces.response.headers ||
        whole.response.encodedBytes != pieces.response.encodedBytes ||
        (bodyRead && whole.response.body != pieces.response.body)) {
        std::fprintf(stderr,
                     "read whole: \"%s\", headers \"%s\"; in pieces: \"%s\", headers \"%s\"\n",
                     whole.failure.c_str(), whole.response.headers.c_str(), pieces.failure.c_str(),
                     pieces.response.headers.c_str());
        std::abort();
    }
    return 0;
}
