#pragma once

#include "common/TextException.h"

// Why a download gave no document, as far as the download tells itself, and the words a user
// reads for it, chosen here alone. Stateless; safe on any thread.

// One download follows redirections for at most this many requests, the first one included.
constexpr int kMaxRequests = 10;

// The steps of a connection, a proxy, TLS, decoding and memory give their own words (Other),
// which travel as the exception's text.
enum class DownloadFailure
{
    None,
    Other,              // the words of another step
    Cancelled,          // cancelled, from another thread or by the end of the login's wait
    NoServerName,       // the server's name does not resolve
    NoProxyName,        // the proxy's name does not resolve
    CannotSend,         // the request could not be sent
    NoAnswer,           // the connection closed without a byte
    NotHTTP,            // the answer does not begin with an HTTP status line
    HeadersTooLarge,    // the header block passes its bound of bytes or lines
    CutOff,             // the body ended before its end
    TooLarge,           // the response passes its bound
    RedirectedTooOften, // the last of kMaxRequests responses was still a redirection
};

// The words for `failure`, one constant text each; null for None and Other.
const char* DownloadFailureText(DownloadFailure failure);

// What the steps of a download throw: the failure, and its words (DownloadFailureText), or
// the words of another step (Other). The nested exceptions of those steps derive from it.
class CDownloadException : public CTextException
{
public:
    explicit CDownloadException(DownloadFailure failure) noexcept
        : CTextException(DownloadFailureText(failure)), m_failure(failure)
    {}
    explicit CDownloadException(const char* text) noexcept : CTextException(text) {}
    // Another step's failure carried on.
    CDownloadException(DownloadFailure failure, const char* text) noexcept
        : CTextException(text), m_failure(failure)
    {}

    DownloadFailure Failure() const noexcept { return m_failure; }

private:
    DownloadFailure m_failure = DownloadFailure::Other;
};
