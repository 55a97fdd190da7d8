#include "http/HTTPGet.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "http/FeedLink.h"
#include "http/HTTPResponse.h"
#include "http/TLSStream.h"
#include "platform/Clock.h"
#include "platform/Connector.h"

#include <chrono>
#include <vector>

namespace {

// One redirection chain is at most this many requests, the first one included.
constexpr int kMaxRequests = 10;
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
    if (const char* refusal = ProxyRefusal(m_response.headers, m_route))
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
    try {
        CResponseReader(*this, m_cancel, m_budget).Read(m_response);
    } catch (const CResponseReader::exception& error) {
        throw exception(error.what());
    }
}

long CHTTPGet::Receive(char* data, std::size_t bytes)
{
    if (m_tls)
        return m_tls->Receive(data, bytes);
    platform::SocketError error;
    return platform::ReceiveBytes(m_socket, data, bytes, platform::Receive::Take, error);
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
