#pragma once

#include "common/TextException.h"
#include "http/HTTPRequest.h"
#include "http/ProxyRoute.h"
#include "http/ResponseReader.h"
#include "http/URL.h"
#include "platform/Socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class IResolver;
}
class CByteBudget;
class CCancelSignal;
class CTLSStream;

// Fetches one document with an HTTP/1.1 GET request (FormatRequest): one request per
// connection, asked to close after the response, which CResponseReader reads. URLs with the https
// scheme go over TLS (CTLSStream, port 443 unless the URL names one); any other scheme, or none, is
// plain HTTP on port 80 unless the URL names a port. One object serves one thread; each Get
// replaces the connection and the response of the one before, and the destructor closes the
// last connection. With a cancel signal, cancelling it from another thread makes a running
// or later Get throw. With a byte budget, the memory a response is received into is taken
// from it before it is used, and a response the budget cannot cover fails with the budget's
// refusal.
//
// Requests offer gzip and deflate; a body sent compressed is decoded as it is read, and its
// decoded size counts against the response bound, the memory of its decoded text against the
// budget. The body of a redirection is never read.
//
// Each request takes the route RouteFor gives: straight to the server, or through an HTTP
// proxy (a plain request in absolute form, an https one through a CONNECT tunnel, TLS with
// the server's name and certificate inside it). Every address of the server (or the proxy)
// is tried, as platform::ConnectToAny tries them.
class CHTTPGet : private IResponseSource
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // `cancel` and `budget` may be null; otherwise they must outlive the object.
    explicit CHTTPGet(CCancelSignal* cancel = nullptr, CByteBudget* budget = nullptr);
    ~CHTTPGet() override;
    CHTTPGet(const CHTTPGet&) = delete;
    CHTTPGet& operator=(const CHTTPGet&) = delete;

    // One request for `url` (read by ParseHTTPURL).
    // Throws CHTTPGet::exception; an HTTP error status is an ordinary response.
    void Get(const std::string& url);

    // The last response: everything up to and including the first empty line (the whole
    // response when there is none), and everything after it.
    const std::string& GetHeaders() const { return m_response.headers; }
    const std::string& GetBody() const { return m_response.body; }
    // Hands the body over, leaving it empty.
    std::string TakeBody() { return std::move(m_response.body); }

    // Makes the following requests conditional on `validators` (none when both are empty).
    void SetValidators(const RequestValidators& validators) { m_validators = validators; }
    // Sends `authorization` (an Authorization header's value; none when empty) with the
    // following requests.
    void SetAuthorization(std::string authorization) { m_authorization = std::move(authorization); }

    // The size of the last body as it came, before decoding; 0 when it was not compressed.
    std::size_t GetEncodedBytes() const { return m_response.encodedBytes; }

    // The route of the last request, also after it failed.
    const ProxyRoute& Route() const { return m_route; }

    // Resolves host names with `resolver` instead of the system's; it must outlive the object.
    void SetResolver(const platform::IResolver& resolver) { m_resolver = &resolver; }

private:
    // The steps of Get after the URL is read; each relies on the ones before it.
    void ResolveHost();
    void Connect();
    void SendRequest();
    void ReadResponse();
    // The connection's bytes, as the response reader takes them.
    long Receive(char* data, std::size_t bytes) override;
    void CloseConnection();
    void ThrowIfCancelled() const;

    ReceivedResponse m_response;
    HTTPURL m_url;
    ProxyRoute m_route;
    RequestValidators m_validators;
    std::string m_authorization;
    const platform::IResolver* m_resolver;
    // Of the server, or of the proxy when the route has one.
    std::vector<platform::NetworkAddress> m_addresses;
    platform::SocketHandle m_socket;
    std::unique_ptr<CTLSStream> m_tls;
    CCancelSignal* m_cancel;
    CByteBudget* m_budget;
};

// How an earlier copy of a document stood in for a download's answer.
enum class CopyUse
{
    None,      // the answer served (or nothing did)
    Unchanged, // the server answered 304: the copy is still the document
    Quiet,     // the server had asked not to be asked again yet: no request was made
    Fallback,  // the download failed, and the copy served instead
};

// What one download went through, for reports on a feed.
struct DownloadTrace
{
    // The URL of the last request made, after redirections.
    std::string finalUrl;
    // The status code of the last response ("200"); empty when none came.
    std::string status;
    // Whether the last response was still a redirection, which was not followed any more.
    bool redirectedTooOften = false;
    // Whether the download failed because it was cancelled.
    bool cancelled = false;
    // The last request's route through a proxy ("via proxy HOST:PORT, from https_proxy");
    // empty when it went straight to the server.
    std::string route;
    // From the first request to the end of the last response or the failure.
    std::chrono::milliseconds elapsed{0};
    // The header block of the last response; empty when none came.
    std::string headers;
    // The size of the last body before decoding; 0 when it came uncompressed.
    std::size_t encodedBytes = 0;
    // Where the first response sent the feed when it moved it for good (301 or 308).
    std::string movedTo;
    // When the first answer was a web page that links to its feed, that feed's URL, which
    // was fetched in its place.
    std::string linkedFeed;
    // Why the last response refused the document, when its status is no success, in a
    // user's words: "needs a user name and password (realm R)", "refused by the site's bot
    // protection (Cloudflare)", "server answered 404".
    std::string refusal;
    // Whether and how an earlier copy served instead, how long ago its server last gave or
    // confirmed it, and for a fallback, why the download gave no document.
    CopyUse copyUse = CopyUse::None;
    std::chrono::seconds copyAge{0};
    std::string fallbackReason;
};

// Fetches `url`, following up to ten requests of redirection, and returns the body of the
// last response. When that is a web page that links to a feed (FindFeedLink), the feed is
// fetched the same way in its place. A user name and password in `url` go to its server
// alone: at once over TLS, in the clear only after a 401 that asks for them the Basic way. Throws
// CHTTPGet::exception or CContentDecoding::exception. `cancel` and `budget` are handed to the
// CHTTPGet that does it; with `validators`, every request is conditional on them. With a trace,
// records in it what happened, whether the download succeeds or fails.
std::string DownloadFeed(std::string url, CCancelSignal* cancel = nullptr,
                         CByteBudget* budget = nullptr, DownloadTrace* trace = nullptr,
                         const RequestValidators* validators = nullptr);
