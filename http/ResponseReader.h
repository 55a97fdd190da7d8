#pragma once

#include "common/TextException.h"

#include <cstddef>
#include <string>

class CByteBudget;
class CCancelSignal;

// The largest response a download accepts, header block included; anything longer fails.
// Far above any real feed, and it keeps the memory of 60 parallel downloads bounded.
constexpr std::size_t kMaxResponseBytes = 8 * 1024 * 1024;

// The most bytes and lines of a response's header block; a larger one fails.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr std::size_t kMaxHeaderLines = 256;

// Where the bytes of a response come from: a connection, plain or over TLS.
class IResponseSource
{
public:
    virtual ~IResponseSource() = default;
    // Receives at most `bytes` into `data`: the count, or 0 or less when the response ended
    // (the connection closed or failed).
    virtual long Receive(char* data, std::size_t bytes) = 0;
};

// One response as it was read.
struct ReceivedResponse
{
    // Everything up to and including the first empty line (the whole response when there is
    // none), and the body after it, decoded.
    std::string headers;
    std::string body;
    // The size of the body as it came, before decoding; 0 when it was not compressed.
    std::size_t encodedBytes = 0;
};

// Reads one HTTP/1.1 response from its source. The body ends where its Content-Length says,
// with its last chunk when it is sent chunked (which is decoded), or else when the source
// ends; a body that ends before that is cut off, a failure. Interim responses (1xx) are
// skipped. Lines of the header block end at LF as at CR LF. The body of a redirection, a 204
// and a 304 is never read. A body sent compressed is decoded, its decoded size counted
// against the response bound, the memory of its decoded text against the budget. With a
// cancel signal, cancelling it makes a running Read throw. With a byte budget, the memory a
// response is received into is taken from it before it is used, and a response the budget
// cannot cover fails with the budget's refusal; a response that fails gives back what it
// took. One object reads one response on one thread.
class CResponseReader
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // `source` must outlive the object; `cancel` and `budget` may be null, otherwise they must
    // outlive it too.
    CResponseReader(IResponseSource& source, CCancelSignal* cancel, CByteBudget* budget);

    // Reads the response into `response`, replacing what it held. Throws
    // CResponseReader::exception, and CContentDecoding::exception for a body that cannot be
    // decoded.
    void Read(ReceivedResponse& response);

private:
    // Read; `taken` counts the bytes taken from the budget.
    void Receive(ReceivedResponse& response, std::size_t& taken);
    // Reads into `response` until it holds a whole header block that is no interim response:
    // the block's end, or npos when the source ended first.
    std::size_t ReceiveHeaders(std::string& response, std::size_t& taken);
    // Reads the body that follows the header block `headers` into `body`, which holds its
    // first bytes.
    void ReceiveBody(const std::string& headers, std::string& body, std::size_t& taken);
    // Receives more of the response into `text`, which grows within the budget up to
    // `limit` bytes: false when the source ended. Throws when the text is at its limit and
    // more comes.
    bool ReceiveMore(std::string& text, std::size_t limit, std::size_t& taken);
    // Undoes the content coding of the body.
    void DecodeBody(ReceivedResponse& response, std::size_t& taken);
    void ThrowIfCancelled() const;

    IResponseSource& m_source;
    CCancelSignal* m_cancel;
    CByteBudget* m_budget;
};
