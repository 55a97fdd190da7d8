#include "http/HTTPGet.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "http/ContentDecoding.h"
#include "http/HTTPResponse.h"
#include "http/TLSStream.h"
#include "platform/Connector.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// One redirection chain is at most this many requests, the first one included.
constexpr int kMaxRequests = 10;
constexpr std::size_t kReceiveBufferBytes = 16384;
// What a download holds beside its response while it runs: its thread's stack and the
// connection's buffers, those of a TLS session included.
constexpr std::size_t kConnectionBytes = 64 * 1024;

// A validator goes into a header line as it came, unless it could end the line early.
std::string ValidatorLine(const char* name, const std::string& value)
{
    if (value.empty() || value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return std::string();
    return std::string(name) + ": " + value + "\r\n";
}

// Why no address of the server, or of the proxy, took the connection: the last attempt's
// failure.
const char* ConnectFailureText(platform::ConnectFailure failure, bool viaProxy)
{
    using platform::ConnectFailure;
    switch (failure) {
    case ConnectFailure::Refused:
        return viaProxy ? "cannot connect to the proxy: connection refused"
                        : "cannot connect: connection refused";
    case ConnectFailure::TimedOut:
        return viaProxy ? "cannot connect to the proxy: no answer" : "cannot connect: no answer";
    case ConnectFailure::NetworkUnreachable:
        return viaProxy ? "cannot connect to the proxy: network unreachable"
                        : "cannot connect: network unreachable";
    case ConnectFailure::HostUnreachable:
        return viaProxy ? "cannot connect to the proxy: host unreachable"
                        : "cannot connect: host unreachable";
    case ConnectFailure::Cancelled:
        return "download cancelled";
    case ConnectFailure::None:
    case ConnectFailure::Other:
        break;
    }
    return viaProxy ? "cannot connect to the proxy" : "cannot connect";
}

} // namespace

CHTTPGet::CHTTPGet(CCancelSignal* cancel, CByteBudget* budget)
    : m_resolver(&platform::SystemResolver()), m_socket(platform::kInvalidSocket), m_cancel(cancel),
      m_budget(budget)
{}

CHTTPGet::~CHTTPGet()
{
    CloseConnection();
}

void CHTTPGet::Get(const std::string& url)
{
    m_url = ParseHttpUrl(url);
    m_route = RouteFor(url, m_url);
    ResolveHost();
    Connect();
    SendRequest();
    ReadResponse();
    if (const char* refusal = ProxyRefusal(m_headers, m_route))
        throw exception(refusal);
}

void CHTTPGet::ResolveHost()
{
    ThrowIfCancelled();
    if (m_route.unusable != nullptr)
        throw exception(m_route.unusable);
    if (!m_route.IsDirect()) {
        if (!m_resolver->Resolve(m_route.host, m_route.port, m_addresses))
            throw exception("cannot resolve the proxy's name");
        return;
    }
    // An empty host comes from a redirection without a usable location; no resolver is asked.
    if (m_url.host.empty() || !m_resolver->Resolve(m_url.host, m_url.port, m_addresses))
        throw exception("cannot resolve server name");
}

void CHTTPGet::Connect()
{
    CloseConnection();
    platform::ConnectFailure failure = platform::ConnectFailure::None;
    const platform::SocketHandle socket = platform::ConnectToAny(
        m_addresses, [this] { return m_cancel != nullptr && m_cancel->IsCancelled(); }, failure);
    if (socket == platform::kInvalidSocket)
        throw exception(ConnectFailureText(failure, !m_route.IsDirect()));
    if (m_cancel != nullptr && !m_cancel->Attach(socket)) {
        platform::CloseSocket(socket);
        throw exception("download cancelled");
    }
    m_socket = socket;
    if (!m_url.secure)
        return;
    if (!m_route.IsDirect()) {
        if (const char* refusal = OpenTunnel(socket, m_route, m_url)) {
            ThrowIfCancelled();
            throw exception(refusal);
        }
    }
    m_tls.reset(new CTLSStream(socket));
    if (!m_tls->IsValid() || !m_tls->Handshake(m_url.host)) {
        ThrowIfCancelled();
        throw exception(m_tls->HandshakeFailure());
    }
}

void CHTTPGet::SendRequest()
{
    // A proxy is asked for the whole URL; through a tunnel the server sees an ordinary request.
    const bool proxied = !m_route.IsDirect() && !m_url.secure;
    const std::string target = proxied ? "http://" + HostAndPort(m_url) + m_url.path : m_url.path;
    const std::string request =
        "GET " + target + " HTTP/1.0\r\nCache-Control: no-cache\r\nHost: " + m_url.host +
        "\r\nUser-Agent: QUILLBOX.vorlenta\r\nAccept-Encoding: gzip, deflate\r\n" +
        (proxied ? ProxyAuthorizationLine(m_route) : std::string()) +
        ValidatorLine("If-None-Match", m_validators.etag) +
        ValidatorLine("If-Modified-Since", m_validators.lastModified) + "\r\n";
    bool sent = true;
    if (m_tls) {
        sent = m_tls->SendAll(request.data(), request.size());
    } else {
        std::string::size_type offset = 0;
        while (sent && offset < request.size()) {
            platform::SocketError error;
            const long count = platform::SendBytes(m_socket, request.data() + offset,
                                                   request.size() - offset, error);
            sent = count > 0;
            if (sent)
                offset += static_cast<std::string::size_type>(count);
        }
    }
    if (!sent) {
        ThrowIfCancelled();
        throw exception("cannot send request");
    }
}

void CHTTPGet::ReadResponse()
{
    m_body.clear();
    m_headers.clear();
    m_encodedBytes = 0;
    // A response that fails gives its bytes back to the budget.
    std::size_t taken = 0;
    try {
        ReceiveResponse(taken);
        DecodeBody(taken);
    } catch (...) {
        if (m_budget != nullptr)
            m_budget->Give(taken);
        throw;
    }
}

void CHTTPGet::ReceiveResponse(std::size_t& taken)
{
    std::string response;
    std::string::size_type headerEnd = std::string::npos;
    // The body of a redirection is of no use: reading stops once its header block is in.
    while (headerEnd == std::string::npos || !IsRedirection(StatusCode(response))) {
        const std::size_t used = response.size();
        if (used == kMaxResponseBytes) {
            // A response of exactly the bound is whole only if nothing follows.
            char extra = 0;
            if (ReceiveInto(&extra, 1) > 0)
                throw exception("response too large");
            break;
        }
        // Received straight into the response's own buffer, which grows once it is full.
        if (const char* refusal = GrowWithinBudget(response, used + 1, kReceiveBufferBytes,
                                                   kMaxResponseBytes, m_budget, taken))
            throw exception(refusal);
        const std::size_t room =
            std::min({response.capacity() - used, kReceiveBufferBytes, kMaxResponseBytes - used});
        response.resize(used + room);
        const long count = ReceiveInto(&response[used], room);
        // A failed receive ends the response like a close: it is what arrived before.
        response.resize(used + static_cast<std::size_t>(std::max(count, 0L)));
        if (count <= 0)
            break;
        if (headerEnd == std::string::npos)
            headerEnd = response.find("\r\n\r\n", used < 3 ? 0 : used - 3);
    }
    // A cancelled download is cut short, not complete.
    ThrowIfCancelled();
    const std::string::size_type end = headerEnd;
    if (end == std::string::npos) {
        m_headers = std::move(response);
        return;
    }
    // The body stays where it is, in the one buffer the response was read into.
    m_headers = response.substr(0, end + 4);
    response.erase(0, end + 4);
    m_body = std::move(response);
}

long CHTTPGet::ReceiveInto(char* data, std::size_t bytes)
{
    if (m_tls)
        return m_tls->Receive(data, bytes);
    platform::SocketError error;
    return platform::ReceiveBytes(m_socket, data, bytes, platform::Receive::Take, error);
}

void CHTTPGet::DecodeBody(std::size_t& taken)
{
    const std::string encoding = GetHeader(m_headers, "content-encoding");
    const std::string status = StatusCode(m_headers);
    if (!CContentDecoding::IsCompressed(encoding) || status.empty() || status[0] != '2')
        return;
    m_encodedBytes = m_body.size();
    CContentDecoding::Decode(encoding, m_body, kMaxResponseBytes - m_headers.size(), m_budget,
                             taken);
}

void CHTTPGet::CloseConnection()
{
    if (m_socket == platform::kInvalidSocket)
        return;
    m_tls.reset();
    // Detached first: a cancel from another thread must never shut down a closed socket's
    // number, which the system may already have given to someone else.
    if (m_cancel != nullptr)
        m_cancel->Detach();
    platform::ShutdownSocket(m_socket);
    platform::CloseSocket(m_socket);
    m_socket = platform::kInvalidSocket;
}

void CHTTPGet::ThrowIfCancelled() const
{
    if (m_cancel != nullptr && m_cancel->IsCancelled())
        throw exception("download cancelled");
}

bool IsRedirection(const std::string& status)
{
    return !status.empty() && status[0] == '3' && status != "304";
}

std::string DownloadFeed(std::string url, CCancelSignal* cancel, CByteBudget* budget,
                         DownloadTrace* trace, const RequestValidators* validators)
{
    DownloadTrace ignored;
    DownloadTrace& record = trace == nullptr ? ignored : *trace;
    const auto start = std::chrono::steady_clock::now();
    const auto stopClock = [&] {
        record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    };
    // Charged to the outermost budget alone, the bound of them all: a response of a feed's
    // whole share still fits beside it.
    CByteCharge connection(budget == nullptr ? nullptr : &budget->Outermost());
    if (!connection.Take(kConnectionBytes))
        throw CHTTPGet::exception(budget->Outermost().Refusal());
    CHTTPGet client(cancel, budget);
    if (validators != nullptr)
        client.SetValidators(*validators);
    try {
        for (int request = 1; request <= kMaxRequests; ++request) {
            record.finalUrl = url;
            record.status.clear();
            record.headers.clear();
            record.route.clear();
            client.Get(url);
            record.headers = client.GetHeaders();
            record.encodedBytes = client.GetEncodedBytes();
            record.status = StatusCode(record.headers);
            record.redirectedTooOften = IsRedirection(record.status);
            if (!record.redirectedTooOften)
                break;
            if (request < kMaxRequests)
                url = ResolveLocation(url, GetHeader(record.headers, "location"));
            if (request == 1 && (record.status == "301" || record.status == "308"))
                record.movedTo = url;
        }
    } catch (...) {
        stopClock();
        record.route = RouteText(client.Route());
        record.cancelled = cancel != nullptr && cancel->IsCancelled();
        throw;
    }
    stopClock();
    record.route = RouteText(client.Route());
    return client.TakeBody();
}
