#include "http/HTTPGet.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "http/ChunkedBody.h"
#include "http/ContentDecoding.h"
#include "http/FeedLink.h"
#include "http/HTTPResponse.h"
#include "http/TLSStream.h"
#include "platform/Clock.h"
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
    m_url = ParseHTTPURL(url);
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
    const std::string request = FormatRequest(
        m_url, proxied ? RequestTarget::Absolute : RequestTarget::Origin, m_validators,
        m_authorization, proxied ? ProxyAuthorization(m_route) : std::string());
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
    const std::size_t headerEnd = ReceiveHeaders(response, taken);
    if (headerEnd == std::string::npos) {
        // The connection ended inside the header block: all of it is headers.
        m_headers = std::move(response);
    } else {
        // The body stays where it is, in the one buffer the response was read into.
        m_headers = response.substr(0, headerEnd);
        response.erase(0, headerEnd);
        m_body = std::move(response);
    }
    if (StatusCode(m_headers).empty())
        throw exception(m_headers.empty() ? "no answer" : "not an HTTP answer");
    if (headerEnd != std::string::npos)
        ReceiveBody(m_body, taken);
}

std::size_t CHTTPGet::ReceiveHeaders(std::string& response, std::size_t& taken)
{
    // The header block ends with the first empty line. The first `scanned` bytes hold no such
    // end, and `lines` line ends. The block of an interim response is dropped, but counts
    // against the bounds all the same.
    std::size_t scanned = 0;
    std::size_t lines = 0;
    std::size_t interimBytes = 0;
    const auto throwIfTooLarge = [&](std::size_t blockBytes) {
        if (interimBytes + blockBytes > kMaxHeaderBytes || lines > kMaxHeaderLines + 1)
            throw exception("headers too large");
    };
    for (;;) {
        for (std::size_t lineEnd; (lineEnd = response.find('\n', scanned)) != std::string::npos;) {
            const std::size_t next = lineEnd + 1;
            // Whether the next line is empty takes its first byte, and the second after a CR.
            if (next >= response.size() || (response[next] == '\r' && next + 1 >= response.size()))
                break;
            ++lines;
            scanned = next;
            std::size_t blockEnd = std::string::npos;
            if (response[next] == '\n')
                blockEnd = next + 1;
            else if (response[next] == '\r' && response[next + 1] == '\n')
                blockEnd = next + 2;
            if (blockEnd == std::string::npos)
                continue;
            throwIfTooLarge(blockEnd);
            const std::string status = StatusCode(response.substr(0, blockEnd));
            if (status.empty() || status[0] != '1' || status == "101")
                return blockEnd;
            interimBytes += blockEnd;
            response.erase(0, blockEnd);
            scanned = 0;
        }
        // What came holds no end of the block: all of it is the block's.
        throwIfTooLarge(response.size());
        if (!ReceiveMore(response, kMaxResponseBytes, taken))
            return std::string::npos;
    }
}

void CHTTPGet::ReceiveBody(std::string& body, std::size_t& taken)
{
    // The body of a redirection is of no use, and these answers have none: nothing more is
    // read than came with the header block.
    const std::string status = StatusCode(m_headers);
    if (IsRedirection(status) || status == "204" || status == "304")
        return;
    const std::size_t limit = kMaxResponseBytes - m_headers.size();
    const std::string coding = ToLowerASCII(GetHeader(m_headers, "transfer-encoding"));
    if (coding.size() >= 7 && coding.compare(coding.size() - 7, 7, "chunked") == 0) {
        CChunkedBody chunks;
        try {
            for (chunks.Decode(body); !chunks.IsComplete(); chunks.Decode(body)) {
                if (!ReceiveMore(body, limit, taken))
                    throw exception("answer cut off");
            }
        } catch (const CChunkedBody::exception& error) {
            throw exception(error.what());
        }
        return;
    }
    const std::string lengthText = GetHeader(m_headers, "content-length");
    std::uint64_t length = 0;
    bool hasLength = !lengthText.empty() && lengthText.size() <= 19;
    for (char digit : lengthText) {
        hasLength = hasLength && digit >= '0' && digit <= '9';
        length = length * 10 + static_cast<unsigned char>(digit - '0');
    }
    if (!hasLength) {
        while (ReceiveMore(body, limit, taken)) {
        }
        return;
    }
    if (length > limit)
        throw exception("response too large");
    // Room for the whole body at once, where doubling would overshoot it by up to its size.
    if (const char* refusal =
            GrowWithinBudget(body, static_cast<std::size_t>(length), kReceiveBufferBytes,
                             static_cast<std::size_t>(length), m_budget, taken))
        throw exception(refusal);
    // Nothing past the length is read: the server may keep the connection open.
    while (body.size() < length) {
        if (!ReceiveMore(body, static_cast<std::size_t>(length), taken))
            throw exception("answer cut off");
    }
    body.resize(static_cast<std::size_t>(length));
}

bool CHTTPGet::ReceiveMore(std::string& text, std::size_t limit, std::size_t& taken)
{
    const std::size_t used = text.size();
    if (used >= limit) {
        // A text of exactly its bound is whole only if nothing follows.
        char extra = 0;
        if (ReceiveInto(&extra, 1) > 0)
            throw exception("response too large");
        ThrowIfCancelled();
        return false;
    }
    // Received straight into the text's own buffer, which grows once it is full.
    if (const char* refusal = GrowWithinBudget(text, used + 1, kReceiveBufferBytes,
                                               kMaxResponseBytes, m_budget, taken))
        throw exception(refusal);
    const std::size_t room = std::min({text.capacity() - used, kReceiveBufferBytes, limit - used});
    text.resize(used + room);
    const long count = ReceiveInto(&text[used], room);
    // A failed receive ends the response like a close: it is what arrived before.
    text.resize(used + static_cast<std::size_t>(std::max(count, 0L)));
    if (count > 0)
        return true;
    // A cancelled download is cut short, not complete.
    ThrowIfCancelled();
    return false;
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

namespace {

// Whether the Basic scheme is among the challenges of a 401's WWW-Authenticate.
bool AsksForBasic(const std::string& headers)
{
    const std::string challenges = ToLowerASCII(GetHeader(headers, "www-authenticate"));
    for (std::string::size_type at = challenges.find("basic"); at != std::string::npos;
         at = challenges.find("basic", at + 5)) {
        const std::string::size_type before = challenges.find_last_not_of(" \t", at - (at > 0));
        if (at == 0 || (before != std::string::npos && challenges[before] == ','))
            return true;
    }
    return false;
}

// The realm a 401's challenge names, or empty.
std::string Realm(const std::string& headers)
{
    const std::string challenges = GetHeader(headers, "www-authenticate");
    const std::string::size_type at = ToLowerASCII(challenges).find("realm=");
    if (at == std::string::npos)
        return std::string();
    std::string::size_type begin = at + 6;
    std::string::size_type end = std::string::npos;
    if (begin < challenges.size() && challenges[begin] == '"')
        end = challenges.find('"', ++begin);
    else
        end = challenges.find_first_of(", \t", begin);
    return challenges.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// Whether a refusal comes from the bot protection of the site's network rather than from
// the site: a challenge page instead of the document.
bool IsBotWall(const std::string& status, const std::string& headers, const std::string& body)
{
    if (status != "403" && status != "429" && status != "503")
        return false;
    return ToLowerASCII(GetHeader(headers, "cf-mitigated")) == "challenge" ||
           (ToLowerASCII(GetHeader(headers, "server")) == "cloudflare" && IsWebPage(headers, body));
}

// Why a response that is no success refused the document, in a user's words.
std::string Refusal(const std::string& status, const std::string& headers, const std::string& body)
{
    if (status == "401") {
        const std::string realm = Realm(headers);
        return "needs a user name and password" +
               (realm.empty() ? std::string() : " (realm " + realm + ")");
    }
    if (IsBotWall(status, headers, body))
        return "refused by the site's bot protection (Cloudflare)";
    return "server answered " + status;
}

// A redirection from http to https keeps the host and changes the port: the credentials
// follow the host.
bool IsSameHost(const HTTPURL& one, const HTTPURL& other)
{
    return ToLowerASCII(one.host) == ToLowerASCII(other.host);
}

// Requests `url` and the redirections it leads to, at most kMaxRequests in all, and records
// them in `record`; the last response stays in `client`. The credentials of `origin` go only
// to its own host: at once over TLS, in the clear only when a 401 asks for them.
void FollowRedirections(CHTTPGet& client, std::string url, const HTTPURL& origin,
                        DownloadTrace& record, bool first)
{
    for (int request = 1; request <= kMaxRequests; ++request) {
        record.finalUrl = url;
        record.status.clear();
        record.headers.clear();
        const HTTPURL target = ParseHTTPURL(url);
        const HTTPURL* owner = target.hasCredentials                                 ? &target
                               : origin.hasCredentials && IsSameHost(target, origin) ? &origin
                                                                                     : nullptr;
        const std::string authorization =
            owner == nullptr ? std::string() : BasicAuthorization(owner->user, owner->password);
        client.SetAuthorization(target.secure ? authorization : std::string());
        client.Get(url);
        if (!target.secure && !authorization.empty() && StatusCode(client.GetHeaders()) == "401" &&
            AsksForBasic(client.GetHeaders())) {
            client.SetAuthorization(authorization);
            client.Get(url);
        }
        record.headers = client.GetHeaders();
        record.encodedBytes = client.GetEncodedBytes();
        record.status = StatusCode(record.headers);
        record.redirectedTooOften = IsRedirection(record.status);
        if (!record.redirectedTooOften)
            break;
        if (request < kMaxRequests)
            url = ResolveLocation(url, GetHeader(record.headers, "location"));
        if (first && request == 1 && (record.status == "301" || record.status == "308"))
            record.movedTo = url;
    }
}

} // namespace

std::string DownloadFeed(std::string url, CCancelSignal* cancel, CByteBudget* budget,
                         DownloadTrace* trace, const RequestValidators* validators)
{
    DownloadTrace ignored;
    DownloadTrace& record = trace == nullptr ? ignored : *trace;
    const platform::IClock& clock = platform::SteadyClock();
    const platform::IClock::TimePoint start = clock.Now();
    const auto stopClock = [&] {
        record.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - start);
    };
    // Charged to the outermost budget alone, the bound of them all: a response of a feed's
    // whole share still fits beside it.
    CByteCharge connection(budget == nullptr ? nullptr : &budget->Outermost());
    if (!connection.Take(kConnectionBytes))
        throw CHTTPGet::exception(budget->Outermost().Refusal());
    CHTTPGet client(cancel, budget);
    const HTTPURL origin = ParseHTTPURL(url);
    try {
        if (validators != nullptr)
            client.SetValidators(*validators);
        FollowRedirections(client, url, origin, record, true);
        // A 304 confirms only the document the validators came from: a web page that is
        // unchanged says nothing of the feed it links to.
        if (validators != nullptr && record.status == "304" && !validators->url.empty() &&
            record.finalUrl != validators->url) {
            client.SetValidators(RequestValidators());
            FollowRedirections(client, url, origin, record, true);
        }
        // A web page that links to its feed stands for that feed, one step away.
        if (record.status.size() == 3 && record.status[0] == '2' &&
            IsWebPage(record.headers, client.GetBody())) {
            const std::string feed = FindFeedLink(client.GetBody(), record.finalUrl);
            if (!feed.empty()) {
                record.linkedFeed = feed;
                FollowRedirections(client, feed, origin, record, false);
            }
        }
    } catch (...) {
        stopClock();
        record.route = RouteText(client.Route());
        record.cancelled = cancel != nullptr && cancel->IsCancelled();
        throw;
    }
    stopClock();
    if (!record.status.empty() && record.status[0] != '2' && record.status != "304")
        record.refusal = Refusal(record.status, record.headers, client.GetBody());
    record.route = RouteText(client.Route());
    return client.TakeBody();
}
