#include "http/HTTPGet.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "http/ContentDecoding.h"
#include "http/HTTPResponse.h"
#include "http/TLSStream.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <vector>

namespace {

// One redirection chain is at most this many requests, the first one included.
constexpr int kMaxRequests = 10;
constexpr std::uint16_t kHTTPPort = 80;
constexpr std::uint16_t kHTTPSPort = 443;
constexpr std::size_t kReceiveBufferBytes = 16384;
// What a download holds beside its response while it runs: its thread's stack and the
// connection's buffers, those of a TLS session included.
constexpr std::size_t kConnectionBytes = 64 * 1024;

bool IsWhiteSpace(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
           byte == '\r';
}

std::string WithoutWhiteSpace(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char byte : text) {
        if (!IsWhiteSpace(byte))
            result += byte;
    }
    return result;
}

// Reads a port the way atoi reads a number (optional sign, then digits up to the first
// non-digit), keeping only the low 16 bits so that no length of digits can overflow.
// `named` tells whether the number is other than zero.
std::uint16_t ReadPort(const std::string& text, bool& named)
{
    std::string::size_type index = 0;
    bool negative = false;
    if (index < text.size() && (text[index] == '+' || text[index] == '-'))
        negative = text[index++] == '-';
    unsigned value = 0;
    named = false;
    for (; index < text.size() && std::isdigit(static_cast<unsigned char>(text[index])); ++index) {
        named = named || text[index] != '0';
        value = (value * 10 + static_cast<unsigned>(text[index] - '0')) & 0xFFFFu;
    }
    return static_cast<std::uint16_t>(negative ? (0x10000u - value) & 0xFFFFu : value);
}

// A validator goes into a header line as it came, unless it could end the line early.
std::string ValidatorLine(const char* name, const std::string& value)
{
    if (value.empty() || value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return std::string();
    return std::string(name) + ": " + value + "\r\n";
}

bool HasScheme(const std::string& text)
{
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char byte : text) {
        if (byte == ':')
            return true;
        if (!std::isalnum(static_cast<unsigned char>(byte)) && byte != '+' && byte != '-' &&
            byte != '.')
            return false;
    }
    return false;
}

// Removes "." and ".." segments from an absolute path, as a browser does.
std::string RemoveDotSegments(const std::string& path)
{
    std::vector<std::string> segments;
    bool trailingSlash = false;
    std::string::size_type start = 1;
    for (;;) {
        const std::string::size_type end = path.find('/', start);
        const bool last = end == std::string::npos;
        const std::string segment = path.substr(start, last ? std::string::npos : end - start);
        if (segment == "." || segment == "..") {
            if (segment == ".." && !segments.empty())
                segments.pop_back();
            trailingSlash = last;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        if (last)
            break;
        start = end + 1;
    }
    std::string result;
    for (const std::string& segment : segments)
        result += "/" + segment;
    if (trailingSlash || result.empty())
        result += "/";
    return result;
}

} // namespace

CHTTPGet::CHTTPGet(CCancelSignal* cancel, CByteBudget* budget)
    : m_port(kHTTPPort), m_socket(platform::kInvalidSocket), m_address(0), m_secure(false),
      m_cancel(cancel), m_budget(budget)
{}

CHTTPGet::~CHTTPGet()
{
    CloseConnection();
}

void CHTTPGet::Get(const std::string& url)
{
    ParseUrl(url);
    ResolveHost();
    Connect();
    SendRequest();
    ReadResponse();
}

void CHTTPGet::ParseUrl(const std::string& url)
{
    std::string text = WithoutWhiteSpace(url);
    m_secure = false;
    const std::string::size_type slashes = text.find("//");
    if (slashes != std::string::npos) {
        m_secure = ToLowerASCII(text.substr(0, slashes)) == "https:";
        text.erase(0, slashes + 2);
    }
    const std::string::size_type slash = text.find('/');
    if (slash == std::string::npos) {
        m_host = text;
        m_path = "/";
    } else {
        m_host = text.substr(0, slash);
        m_path = text.substr(slash);
    }
    m_port = m_secure ? kHTTPSPort : kHTTPPort;
    const std::string::size_type colon = m_host.find(':');
    if (colon != std::string::npos) {
        bool named = false;
        const std::uint16_t port = ReadPort(m_host.substr(colon + 1), named);
        m_host.erase(colon);
        if (named)
            m_port = port;
    }
}

void CHTTPGet::ResolveHost()
{
    ThrowIfCancelled();
    // An empty host comes from a redirection without a usable location; no resolver is asked.
    if (m_host.empty() || !platform::ResolveIPv4(m_host, m_address))
        throw exception("cannot resolve server name");
}

void CHTTPGet::Connect()
{
    CloseConnection();
    const platform::SocketHandle socket = platform::CreateTcpSocket();
    if (socket == platform::kInvalidSocket)
        throw exception("cannot create socket");
    if (m_cancel != nullptr && !m_cancel->Attach(socket)) {
        platform::CloseSocket(socket);
        throw exception("download cancelled");
    }
    m_socket = socket;
    if (!platform::ConnectIPv4(socket, m_address, m_port)) {
        CloseConnection();
        ThrowIfCancelled();
        throw exception("cannot connect");
    }
    // A cancel that came between attaching and connecting found the socket not yet
    // connecting, which a shutdown need not stop; it is honoured here.
    ThrowIfCancelled();
    if (!m_secure)
        return;
    m_tls.reset(new CTLSStream(socket));
    if (!m_tls->IsValid() || !m_tls->Handshake(m_host)) {
        ThrowIfCancelled();
        throw exception(m_tls->HandshakeFailure());
    }
}

void CHTTPGet::SendRequest()
{
    const std::string request =
        "GET " + m_path + " HTTP/1.0\r\nCache-Control: no-cache\r\nHost: " + m_host +
        "\r\nUser-Agent: QUILLBOX.vorlenta\r\nAccept-Encoding: gzip, deflate\r\n" +
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

std::string ResolveLocation(const std::string& base, const std::string& location)
{
    // Read as ParseUrl reads it: blanks anywhere do not count, not even inside the scheme.
    const std::string target = WithoutWhiteSpace(location);
    if (target.empty() || HasScheme(target))
        return target;
    std::string text = WithoutWhiteSpace(base);
    std::string origin;
    const std::string::size_type slashes = text.find("//");
    if (slashes != std::string::npos) {
        if (target.compare(0, 2, "//") == 0)
            return text.substr(0, slashes) + target;
        origin = text.substr(0, slashes + 2);
        text.erase(0, slashes + 2);
    } else if (target.compare(0, 2, "//") == 0) {
        return target;
    }
    const std::string::size_type slash = text.find('/');
    origin += text.substr(0, slash);
    const std::string basePath = slash == std::string::npos ? "/" : text.substr(slash);

    std::string merged;
    if (target[0] == '/') {
        merged = target;
    } else if (target[0] == '?') {
        merged = basePath.substr(0, basePath.find_first_of("?#")) + target;
    } else if (target[0] == '#') {
        merged = basePath.substr(0, basePath.find('#')) + target;
    } else {
        const std::string directory = basePath.substr(0, basePath.find_first_of("?#"));
        merged = directory.substr(0, directory.rfind('/') + 1) + target;
    }
    const std::string::size_type suffix = merged.find_first_of("?#");
    const std::string path = RemoveDotSegments(merged.substr(0, suffix));
    return origin + path + (suffix == std::string::npos ? std::string() : merged.substr(suffix));
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
        record.cancelled = cancel != nullptr && cancel->IsCancelled();
        throw;
    }
    stopClock();
    return client.TakeBody();
}
