// HTTP responses: the input is served, byte for byte, as the answer to every request of a
// download from a local server, redirections to itself included; the header helpers, the
// resolution of a Location, the chunked decoding and the search for a web page's feed read it
// too. Redirections elsewhere are refused by the network
// guard linked in, so nothing leaves the machine.
#include "http/ChunkedBody.h"
#include "http/FeedLink.h"
#include "http/HTTPGet.h"
#include "http/HTTPResponse.h"
#include "http/URL.h"
#include "support/HTTPTestServer.h"

#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The server remembers every request it read, so a new one takes over now and then.
    static std::unique_ptr<CHTTPTestServer> server;
    static unsigned runs = 0;
    if (runs++ % 1000 == 0)
        server = std::make_unique<CHTTPTestServer>();
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

    server->Serve("/", response);
    try {
        DownloadFeed(server->Url("/"));
    } catch (const CHTTPGet::exception&) {
        // A failed download is an answer like any other.
    }
    return 0;
}
