#include "support/HTTPTestServer.h"

#include "platform/Connector.h"
#include "support/TLSServerSession.h"
#include "support/TestCertificates.h"

#include <chrono>
#include <string_view>
#include <vector>

namespace {

// A request larger than this is not an HTTP request any test sends; reading stops there.
constexpr std::size_t kMaxRequestBytes = 65536;
constexpr std::size_t kFillerBytes = 65536;

} // namespace

// One accepted connection, plain or TLS, read and written with blocking calls. Stop wakes
// those calls by shutting the socket down.
class CHTTPTestServer::CConnection
{
public:
    CConnection(platform::SocketHandle socket, const CTLSServerContext* tls) : m_socket(socket)
    {
        if (tls != nullptr)
            m_session = std::make_unique<CTLSServerSession>(*tls, socket);
    }

    bool IsUsable() const { return m_session == nullptr || m_session->IsUsable(); }

    void Shutdown() { platform::ShutdownSocket(m_socket); }

    long Receive(char* buffer, std::size_t size)
    {
        if (m_session != nullptr)
            return m_session->Receive(buffer, size);
        platform::SocketError error;
        return platform::ReceiveBytes(m_socket, buffer, size, platform::Receive::Take, error);
    }

    bool SendAll(std::string_view bytes)
    {
        std::size_t offset = 0;
        while (offset < bytes.size()) {
            long sent;
            if (m_session != nullptr) {
                sent = m_session->Send(bytes.data() + offset, bytes.size() - offset);
            } else {
                platform::SocketError error;
                sent = platform::SendBytes(m_socket, bytes.data() + offset, bytes.size() - offset,
                                           error);
            }
            if (sent <= 0)
                return false;
            offset += static_cast<std::size_t>(sent);
        }
        return true;
    }

private:
    platform::SocketHandle m_socket;
    std::unique_ptr<CTLSServerSession> m_session;
};

CHTTPTestServer::CHTTPTestServer() : CHTTPTestServer(Options()) {}

CHTTPTestServer::CHTTPTestServer(const Options& options)
    : m_options(options), m_listenSocket(platform::kInvalidSocket), m_port(0), m_stopping(false)
{
    Start();
}

CHTTPTestServer::CHTTPTestServer(const std::string& certificateFile, const std::string& keyFile)
    : m_tls(std::make_unique<CTLSServerContext>(certificateFile, keyFile)),
      m_listenSocket(platform::kInvalidSocket), m_port(0), m_stopping(false)
{
    if (m_tls->IsValid())
        Start();
}

CHTTPTestServer::~CHTTPTestServer()
{
    Stop();
}

void CHTTPTestServer::Start()
{
    std::vector<platform::NetworkAddress> loopback;
    if (m_options.ipv6) {
        if (!platform::ResolveAddresses("::1", 0, loopback))
            return;
        m_listenSocket = platform::CreateTcpSocketFor(loopback[0]);
    } else {
        m_listenSocket = platform::CreateTcpSocket();
    }
    if (m_listenSocket == platform::kInvalidSocket)
        return;
    const bool bound = m_options.ipv6 ? platform::BindTo(m_listenSocket, loopback[0])
                                      : platform::BindLoopback(m_listenSocket, 0);
    if (!bound || !platform::ListenOn(m_listenSocket, 128))
        return;
    m_port = platform::LocalPort(m_listenSocket);
    if (m_tls != nullptr)
        m_port = m_tls->ClientPort(m_port);
    if (m_port == 0)
        return;
    m_thread = std::thread(&CHTTPTestServer::AcceptLoop, this);
}

CHTTPTestServer::Options CHTTPTestServer::ForwardProxy()
{
    Options options;
    options.proxy = true;
    return options;
}

CSecureTestServer::CSecureTestServer(const std::string& name)
    : CHTTPTestServer(TestCertificateFile(name + ".pem"), TestCertificateFile(name + ".key"))
{}

std::string CHTTPTestServer::Url(const std::string& path, const std::string& host) const
{
    const char* scheme = m_tls != nullptr ? "https://" : "http://";
    const std::string named = !host.empty() ? host : m_options.ipv6 ? "[::1]" : "127.0.0.1";
    return scheme + named + ":" + std::to_string(m_port) + path;
}

void CHTTPTestServer::Serve(const std::string& path, const Response& response)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_responses[path] = response;
}

void CHTTPTestServer::Serve(const std::string& path, const std::string& bytes)
{
    Response response;
    response.bytes = bytes;
    Serve(path, response);
}

void CHTTPTestServer::ServeAuthorized(const std::string& path, const std::string& authorization,
                                      const std::string& bytes)
{
    Response response;
    response.bytes = bytes;
    std::lock_guard<std::mutex> guard(m_mutex);
    m_authorizedResponses[path] = {authorization, response};
}

std::string CHTTPTestServer::OkResponse(const std::string& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: application/rss+xml\r\n\r\n" + body;
}

std::string CHTTPTestServer::RedirectResponse(int code, const std::string& location)
{
    return "HTTP/1.0 " + std::to_string(code) + " Redirect\r\nLocation: " + location + "\r\n\r\n";
}

std::vector<std::string> CHTTPTestServer::Requests() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_requests;
}

bool CHTTPTestServer::WaitUntilNoConnectionIsOpen(int milliseconds) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return m_openSockets.empty(); });
}

void CHTTPTestServer::Stop()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stopping = true;
        for (platform::SocketHandle socket : m_openSockets)
            platform::ShutdownSocket(socket);
        m_changed.notify_all();
    }
    m_stopEvent.Set();
    if (m_thread.joinable())
        m_thread.join();
    // The accept loop has ended, so no connection thread is added any more.
    for (std::thread& thread : m_connectionThreads)
        thread.join();
    m_connectionThreads.clear();
    if (m_listenSocket != platform::kInvalidSocket) {
        platform::CloseSocket(m_listenSocket);
        m_listenSocket = platform::kInvalidSocket;
    }
}

void CHTTPTestServer::AcceptLoop()
{
    platform::CSocketEvent listenEvent(m_listenSocket);
    if (!listenEvent.IsValid())
        return;
    for (;;) {
        if (platform::WaitForAny({listenEvent, m_stopEvent}) != 0)
            return;
        // Re-armed before accepting: where the signal is an event object, it would otherwise
        // stay set and the loop would spin on a listener with nothing to accept.
        listenEvent.Reset();
        platform::SocketError error;
        const platform::SocketHandle socket = platform::AcceptConnection(m_listenSocket, error);
        if (socket == platform::kInvalidSocket) {
            if (error == platform::SocketError::WouldBlock)
                continue;
            return;
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_stopping) {
            platform::CloseSocket(socket);
            return;
        }
        m_openSockets.insert(socket);
        m_changed.notify_all();
        m_connectionThreads.emplace_back([this, socket] { HandleConnection(socket); });
    }
}

void CHTTPTestServer::HandleConnection(platform::SocketHandle socket)
{
    {
        CConnection connection(socket, m_tls.get());
        std::string request;
        char buffer[4096];
        while (connection.IsUsable() && request.find("\r\n\r\n") == std::string::npos &&
               request.size() < kMaxRequestBytes) {
            const long count = connection.Receive(buffer, sizeof buffer);
            if (count <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(count));
        }
        if (!request.empty()) {
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_requests.push_back(request);
            }
            const Response response = FindResponse(request);
            if (response.relay) {
                Relay(connection, request);
            } else {
                const bool sent = !response.neverAnswer &&
                                  WaitUnlessStopped(response.delayMilliseconds) &&
                                  connection.SendAll(response.bytes);
                if (response.neverAnswer || (sent && response.keepOpen)) {
                    // Holds on until the client closes the connection or Stop shuts it down.
                    while (connection.Receive(buffer, sizeof buffer) > 0) {
                    }
                } else if (sent && response.endless) {
                    const std::string filler(kFillerBytes, 'x');
                    while (connection.SendAll(filler)) {
                    }
                }
            }
        }
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_openSockets.erase(socket);
    platform::ShutdownSocket(socket);
    platform::CloseSocket(socket);
    m_changed.notify_all();
}

CHTTPTestServer::Response CHTTPTestServer::FindResponse(const std::string& request) const
{
    const std::string::size_type first = request.find(' ');
    const std::string::size_type second =
        first == std::string::npos ? std::string::npos : request.find(' ', first + 1);
    const std::string path =
        second == std::string::npos ? std::string() : request.substr(first + 1, second - first - 1);
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto authorized = m_authorizedResponses.find(path);
    if (authorized != m_authorizedResponses.end() &&
        request.find("\r\nAuthorization: " + authorized->second.first + "\r\n") !=
            std::string::npos)
        return authorized->second.second;
    const auto found = m_responses.find(path);
    if (found != m_responses.end())
        return found->second;
    Response missing;
    missing.bytes = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nnot found";
    missing.relay = m_options.proxy;
    return missing;
}

void CHTTPTestServer::Relay(CConnection& connection, const std::string& request)
{
    // "CONNECT host:port HTTP/1.1" or "GET http://host:port/path HTTP/1.1".
    const std::string::size_type first = request.find(' ');
    const std::string::size_type second = request.find(' ', first + 1);
    const bool tunnel = request.compare(0, first, "CONNECT") == 0;
    std::string target = request.substr(first + 1, second - first - 1);
    std::string forwarded;
    if (!tunnel) {
        const std::string::size_type authority = target.find("//");
        const std::string::size_type path = target.find('/', authority + 2);
        forwarded = request.substr(0, first + 1) + target.substr(path) + request.substr(second);
        target = target.substr(authority + 2, path - authority - 2);
    }
    const std::string::size_type colon = target.rfind(':');
    std::string host = target.substr(0, colon);
    if (host.size() > 1 && host.front() == '[')
        host = host.substr(1, host.size() - 2);
    std::vector<platform::NetworkAddress> addresses;
    platform::ConnectFailure failure;
    const platform::SocketHandle upstream =
        platform::ResolveAddresses(
            host, static_cast<std::uint16_t>(std::stoi(target.substr(colon + 1))), addresses)
            ? platform::ConnectToAny(
                  addresses, [] { return false; }, failure)
            : platform::kInvalidSocket;
    if (upstream == platform::kInvalidSocket) {
        connection.SendAll("HTTP/1.1 502 Bad Gateway\r\n\r\n");
        return;
    }
    CConnection server(upstream, nullptr);
    const bool opened = tunnel ? connection.SendAll("HTTP/1.1 200 Connection established\r\n\r\n")
                               : server.SendAll(forwarded);
    // The server's side on a thread of its own; whichever side ends first ends both.
    // Buffers as large as a socket's, so that a document crosses in few steps.
    constexpr std::size_t kRelayBufferBytes = 64 * 1024;
    std::thread back([&] {
        std::vector<char> buffer(kRelayBufferBytes);
        for (long count; (count = server.Receive(buffer.data(), buffer.size())) > 0;) {
            if (!connection.SendAll(
                    std::string_view(buffer.data(), static_cast<std::size_t>(count))))
                break;
        }
        connection.Shutdown();
    });
    std::vector<char> buffer(kRelayBufferBytes);
    for (long count; opened && (count = connection.Receive(buffer.data(), buffer.size())) > 0;) {
        if (!server.SendAll(std::string_view(buffer.data(), static_cast<std::size_t>(count))))
            break;
    }
    server.Shutdown();
    back.join();
    platform::CloseSocket(upstream);
}

bool CHTTPTestServer::WaitUnlessStopped(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return m_stopping; });
}
