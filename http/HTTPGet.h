#pragma once

#include "common/TextException.h"
#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

class CByteBudget;
class CCancelSignal;
class CTLSStream;

// The largest response a download accepts, header block included; anything longer fails.
// Far above any real feed, and it keeps the memory of 60 parallel downloads bounded.
constexpr std::size_t kMaxResponseBytes = 8 * 1024 * 1024;

// Fetches one document with an HTTP/1.0 GET request: one request per connection, the
// response read until the server closes the connection. URLs with the https scheme go over
// TLS (CTLSStream, port 443 unless the URL names one); any other scheme, or none, is plain
// HTTP on port 80 unless the URL names a port. One object serves one thread; each Get
// replaces the connection and the response of the one before, and the destructor closes the
// last connection. With a cancel signal, cancelling it from another thread makes a running
// or later Get throw. With a byte budget, every byte received is taken from it, and a
// response the budget cannot cover fails.
class CHTTPGet
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // `cancel` and `budget` may be null; otherwise they must outlive the object.
    explicit CHTTPGet(CCancelSignal* cancel = nullptr, CByteBudget* budget = nullptr);
    ~CHTTPGet();
    CHTTPGet(const CHTTPGet&) = delete;
    CHTTPGet& operator=(const CHTTPGet&) = delete;

    // One request for `url`: ParseUrl, ResolveHost, Connect, SendRequest, ReadResponse.
    // Throws CHTTPGet::exception; an HTTP error status is an ordinary response.
    void Get(const std::string& url);

    // The last response: everything up to and including the first empty line (the whole
    // response when there is none), and everything after it.
    const std::string& GetHeaders() const { return m_headers; }
    const std::string& GetBody() const { return m_body; }
    // Hands the body over, leaving it empty.
    std::string TakeBody() { return std::move(m_body); }

    // The steps of Get, each usable alone; each relies on the ones before it.
    void ParseUrl(const std::string& url);
    void ResolveHost();
    void Connect();
    void SendRequest();
    void ReadResponse();

    // What ParseUrl made of the last URL.
    const std::string& GetHost() const { return m_host; }
    const std::string& GetPath() const { return m_path; }
    std::uint16_t GetPort() const { return m_port; }
    bool IsSecure() const { return m_secure; }

private:
    // ReadResponse; `taken` counts the bytes taken from the budget.
    void ReceiveResponse(std::size_t& taken);
    void CloseConnection();
    void ThrowIfCancelled() const;

    std::string m_body;
    std::string m_headers;
    std::string m_host;
    std::string m_path;
    std::uint16_t m_port;
    platform::SocketHandle m_socket;
    std::uint32_t m_address; // IPv4, network byte order
    bool m_secure;
    std::unique_ptr<CTLSStream> m_tls;
    CCancelSignal* m_cancel;
    CByteBudget* m_budget;
};

// The URL that the value of a "location" header names, read against the URL that was
// redirected: a value with a scheme stands alone, "//host/path" keeps the scheme, and a path,
// a query or a fragment keeps the scheme and the host (and port) of `base`. White space is
// dropped from both, as ParseUrl drops it.
std::string ResolveLocation(const std::string& base, const std::string& location);

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
    // From the first request to the end of the last response or the failure.
    long long milliseconds = 0;
};

// Fetches `url`, following up to ten requests of redirection (every status beginning with
// "3"), and returns the body of the last response. Throws CHTTPGet::exception. `cancel` and
// `budget` are handed to the CHTTPGet that does it. With a trace, records in it what
// happened, whether the download succeeds or fails.
std::string DownloadFeed(std::string url, CCancelSignal* cancel = nullptr,
                         CByteBudget* budget = nullptr, DownloadTrace* trace = nullptr);
