#pragma once

#include "platform/Event.h"
#include "platform/Socket.h"
#include "support/TLSServerSession.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// A real HTTP server on 127.0.0.1 for tests and benchmarks, plain or over TLS. It listens on
// a port the system chooses, reads one request per connection, answers it with the bytes
// scripted for the request's path and closes the connection, as an HTTP/1.0 server does.
// Paths nothing is scripted for get a 404 response. Each connection runs on its own thread.
//
//     CHTTPTestServer server;
//     server.Serve("/feed.xml", CHTTPTestServer::OkResponse("<rss/>"));
//     server.Serve("/old", CHTTPTestServer::RedirectResponse(301, server.Url("/feed.xml")));
//     DownloadAll({server.Url("/old")});       // "http://127.0.0.1:<port>/old"
//
// A scripted answer may wait before it is sent (a slow server), never come (a server that
// accepts and then holds the connection open without a word until the client gives up or the
// server stops), be followed by filler bytes without end (a response that never ends), or
// leave the connection open after it.
// The server records every request it reads and counts open connections, so tests can see
// what a client sent and that it let go of its connections.
//
// TLS: construct with a certificate chain file and its key file (PEM). Tests find certificates
// signed by the test CA in tests/support/TestCertificates.h, which also makes the test binary
// trust that CA.
//
// A forward proxy: constructed as one, the server relays every request nothing is scripted
// for (the request line's target, exactly: "127.0.0.1:443" for a CONNECT, the whole URL for
// a request in absolute form). A CONNECT is answered 200 and then relayed both ways until
// either side closes; a request in absolute form goes to its server in origin form, and the
// answer back. It records those requests like any other.
//
// IPv6: constructed so, the server listens on ::1 instead, and is not running when the
// machine has no IPv6 loopback.
//
// The destructor stops the server: it closes every connection, ends every thread and waits
// for them. All members are safe to call from any thread.
class CHTTPTestServer
{
public:
    struct Response
    {
        std::string bytes;         // sent as they are: status line, headers, body
        int delayMilliseconds = 0; // waited after reading the request, before answering
        bool neverAnswer = false;  // hold the connection open without answering
        bool endless = false;      // after `bytes`, send filler until the client goes away
        bool keepOpen = false;     // after `bytes`, hold the connection open until the
                                   // client closes it, as an HTTP/1.1 server may
        bool relay = false;        // relayed by a proxy, nothing scripted
    };

    struct Options
    {
        bool ipv6 = false;  // listens on ::1
        bool proxy = false; // relays what is not scripted
    };

    // Plain HTTP. Check IsRunning: starting can fail.
    CHTTPTestServer();
    explicit CHTTPTestServer(const Options& options);
    // HTTPS with the given certificate chain and private key (PEM files).
    CHTTPTestServer(const std::string& certificateFile, const std::string& keyFile);
    ~CHTTPTestServer();
    CHTTPTestServer(const CHTTPTestServer&) = delete;
    CHTTPTestServer& operator=(const CHTTPTestServer&) = delete;

    bool IsRunning() const { return m_thread.joinable(); }
    std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port><path>" ("[::1]" on IPv6), or https and `host` as given.
    std::string Url(const std::string& path, const std::string& host = std::string()) const;

    // Scripts the answer for requests of `path` (the request line's target, exactly).
    void Serve(const std::string& path, const Response& response);
    void Serve(const std::string& path, const std::string& bytes);
    // Scripts the answer for requests of `path` that carry "Authorization: <authorization>";
    // other requests of the path get its ordinary answer.
    void ServeAuthorized(const std::string& path, const std::string& authorization,
                         const std::string& bytes);

    // The options of a forward proxy on 127.0.0.1.
    static Options ForwardProxy();

    // "HTTP/1.0 200 OK", a content type and `body`.
    static std::string OkResponse(const std::string& body);
    // A redirection with the given status code to `location`.
    static std::string RedirectResponse(int code, const std::string& location);

    // Every request read so far, complete with its empty line, in the order they arrived.
    std::vector<std::string> Requests() const;
    // Waits until no connection is open or `milliseconds` passed; true when none is open.
    bool WaitUntilNoConnectionIsOpen(int milliseconds) const;

    // Stops accepting, closes every connection and waits for every thread. Idempotent.
    void Stop();

private:
    class CConnection;

    void Start();
    void AcceptLoop();
    void HandleConnection(platform::SocketHandle socket);
    // Relays `request` (one in absolute form, or a CONNECT) through a connection of its own.
    void Relay(CConnection& connection, const std::string& request);
    Response FindResponse(const std::string& request) const;
    bool WaitUnlessStopped(int milliseconds);

    std::unique_ptr<CTLSServerContext> m_tls; // null for plain HTTP
    const Options m_options;
    platform::SocketHandle m_listenSocket;
    std::uint16_t m_port;
    platform::CEvent m_stopEvent;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stopping;
    std::map<std::string, Response> m_responses;
    // By path: the authorization that must come, and the answer it gets.
    std::map<std::string, std::pair<std::string, Response>> m_authorizedResponses;
    std::vector<std::string> m_requests;
    std::set<platform::SocketHandle> m_openSockets;
    std::vector<std::thread> m_connectionThreads;
};

// An HTTPS server with the test certificate `name`.pem and its key, signed by the test CA
// (support/TestCertificates.h).
class CSecureTestServer : public CHTTPTestServer
{
public:
    explicit CSecureTestServer(const std::string& name = "server");
};
