// Feeds read through the proxy that the user's Windows settings name, as they stand in the
// registry of the suite's own Wine prefix.
#include "common/ProductSettings.h"
#include "http/HTTPGet.h"
#include "support/HTTPTestServer.h"
#include "support/LoopbackPorts.h"
#include "support/ProxiedFeeds.h"
#include "support/ScriptedResolver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kConnections[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// A registry value of the current user, as it was when the test began; the destructor puts
// it back, or removes it when there was none.
class CSavedValue
{
public:
    CSavedValue(std::string key, std::string name) : m_key(std::move(key)), m_name(std::move(name))
    {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (::RegGetValueA(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str(), RRF_RT_ANY, &type,
                           nullptr, &size) != ERROR_SUCCESS)
            return;
        std::string bytes(size, '\0');
        if (::RegGetValueA(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str(),
                           RRF_RT_ANY | RRF_NOEXPAND, &type, bytes.data(), &size) == ERROR_SUCCESS)
            m_saved = std::make_pair(type, bytes.substr(0, size));
    }
    ~CSavedValue()
    {
        if (m_saved)
            Store(m_saved->first, m_saved->second);
        else
            Remove();
    }
    CSavedValue(const CSavedValue&) = delete;
    CSavedValue& operator=(const CSavedValue&) = delete;

    void Store(DWORD type, const std::string& bytes) const
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key, m_name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    void StoreText(const std::string& text) const { Store(REG_SZ, text + '\0'); }
    void StoreNumber(std::uint32_t number) const
    {
        Store(REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number));
    }
    void Remove() const { ::RegDeleteKeyValueA(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str()); }

private:
    std::string m_key;
    std::string m_name;
    std::optional<std::pair<DWORD, std::string>> m_saved;
};

// The flags of the connection settings that Windows keeps for WinHTTP and its own programs.
constexpr std::uint32_t kDirect = 1;
constexpr std::uint32_t kManualProxy = 2;
constexpr std::uint32_t kProxyScript = 4;

// The connection settings as Windows stores them: a version, a counter and the flags, then
// the proxy list, the bypass list and the script's URL, each after its length.
std::string ConnectionSettings(std::uint32_t flags, const std::string& proxy,
                               const std::string& bypass = "", const std::string& script = "")
{
    std::string bytes;
    const auto add = [&bytes](std::uint32_t number) {
        bytes.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    add(0x46);
    add(0);
    add(flags);
    for (const std::string* text : {&proxy, &bypass, &script}) {
        add(static_cast<std::uint32_t>(text->size()));
        bytes += *text;
    }
    return bytes + std::string(32, '\0');
}

// Each test starts from no proxy anywhere, and leaves the user's settings as they were.
class SystemProxy : public ::testing::Test
{
protected:
    SystemProxy()
    {
        m_connections.Store(REG_BINARY, ConnectionSettings(kDirect, ""));
        m_enable.Remove();
        m_server.Remove();
        m_override.Remove();
        m_setting.Remove();
    }

    // The manual proxy as the Internet Settings values hold it.
    void SetValues(const std::string& proxy, const std::string& bypass, bool enabled = true)
    {
        m_enable.StoreNumber(enabled ? 1 : 0);
        m_server.StoreText(proxy);
        m_override.StoreText(bypass);
    }
    void SetConnectionSettings(const std::string& bytes) { m_connections.Store(REG_BINARY, bytes); }
    void SetProxySetting(const std::string& value) { m_setting.StoreText(value); }

    static std::string ProxyAt(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

private:
    CSavedValue m_connections{kConnections, "DefaultConnectionSettings"};
    CSavedValue m_enable{kInternetSettings, "ProxyEnable"};
    CSavedValue m_server{kInternetSettings, "ProxyServer"};
    CSavedValue m_override{kInternetSettings, "ProxyOverride"};
    CSavedValue m_setting{kSettingsKey, kProxyName};
};

const char* const kFeed = CProxiedFeeds::kFeed;
const char kManual[] = "the system's proxy settings";

// What a request of `url` did: the body, the route's words, and the error when it failed.
struct Outcome
{
    std::string body;
    std::string route;
    std::string error;
};

Outcome Fetch(const std::string& url, const platform::IResolver* resolver = nullptr)
{
    Outcome outcome;
    CHTTPGet client;
    if (resolver != nullptr)
        client.SetResolver(*resolver);
    try {
        client.Get(url);
        outcome.body = client.GetBody();
    } catch (const CHTTPGet::exception& error) {
        outcome.error = error.what();
    }
    outcome.route = RouteText(client.Route());
    return outcome;
}

} // namespace

TEST_F(SystemProxy, TheUsersManualProxyCarriesPlainAndTunnelledRequests)
{
    CProxiedFeeds feeds;
    ASSERT_TRUE(feeds.IsRunning());
    const std::string at = feeds.ProxyAddress();
    const std::string absolute = feeds.ProxyRequest(false);
    const std::string tunnel = feeds.ProxyRequest(true);
    enum Store
    {
        Values,
        Connections
    };
    const struct
    {
        const char* name;
        Store store;
        std::string proxy;
        std::string bypass;
        bool secure;
        std::string host;         // of the URL; the server's address when empty
        std::string proxyRequest; // how the request at the proxy starts; empty: straight
    } cases[] = {
        {"values, http", Values, at, "", false, "", absolute},
        {"values, https", Values, at, "", true, "", tunnel},
        {"connection settings, http", Connections, at, "", false, "", absolute},
        {"connection settings, https", Connections, at, "", true, "", tunnel},
        {"a proxy for https alone", Values, "https=" + at, "", false, "", ""},
        {"a proxy for each scheme", Values, "http=" + at + ";https=" + at, "", true, "", tunnel},
        {"<local> passes dotless names by", Values, at, "<local>", false, "localhost", ""},
        {"<local> keeps addresses", Values, at, "<local>", false, "", absolute},
        {"a wildcard bypass", Connections, at, "10.*;127.0.0.*", true, "", ""},
        {"a bypass of other hosts", Connections, at, "*.corp.test", true, "", tunnel},
    };
    for (const auto& test : cases) {
        if (test.store == Values)
            SetValues(test.proxy, test.bypass);
        else
            SetConnectionSettings(ConnectionSettings(kManualProxy, test.proxy, test.bypass));
        const std::size_t before = feeds.Proxy().Requests().size();
        const Outcome outcome = Fetch(feeds.Server(test.secure).Url("/feed.xml", test.host));
        EXPECT_EQ(outcome.body, kFeed) << test.name << ": " << outcome.error;
        feeds.ExpectRoute(before, test.proxyRequest, outcome.route, kManual, test.name);
        SetValues("", "", false);
        SetConnectionSettings(ConnectionSettings(kDirect, ""));
    }
    feeds.ExpectPlainRequestsAtTheServers();
}

TEST_F(SystemProxy, TheProxySettingWinsOverTheUsersSettings)
{
    CHTTPTestServer plain;
    CHTTPTestServer proxy(CHTTPTestServer::ForwardProxy());
    ASSERT_TRUE(plain.IsRunning() && proxy.IsRunning());
    plain.Serve("/feed.xml", CHTTPTestServer::OkResponse(kFeed));
    // The user's settings name a proxy that refuses every connection.
    const std::string refusing = ProxyAt(static_cast<std::uint16_t>(shelltest::FreePort()));
    SetValues(refusing, "");
    EXPECT_EQ(Fetch(plain.Url("/feed.xml")).error,
              "cannot connect to the proxy: connection refused");

    SetProxySetting("none");
    const Outcome straight = Fetch(plain.Url("/feed.xml"));
    EXPECT_EQ(straight.body, kFeed) << straight.error;
    EXPECT_EQ(straight.route, "");

    SetProxySetting("http://" + ProxyAt(proxy.Port()));
    const Outcome proxied = Fetch(plain.Url("/feed.xml"));
    EXPECT_EQ(proxied.body, kFeed) << proxied.error;
    EXPECT_EQ(proxied.route, "via proxy " + ProxyAt(proxy.Port()) + ", from the Proxy setting");
    EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST_F(SystemProxy, AProxyScriptChoosesPerHostAndASilentOneLeavesTheManualProxy)
{
    CHTTPTestServer plain;
    CHTTPTestServer proxy(CHTTPTestServer::ForwardProxy());
    CHTTPTestServer scripts;
    ASSERT_TRUE(plain.IsRunning() && proxy.IsRunning() && scripts.IsRunning());
    plain.Serve("/feed.xml", CHTTPTestServer::OkResponse(kFeed));
    // Names other than the loopback's are answered by the proxy, or by the scripted resolver:
    // none is ever looked up.
    for (const char* host : {"feeds.test", "late.test", "later.test"})
        proxy.Serve(std::string("http://") + host + "/feed.xml",
                    CHTTPTestServer::OkResponse(kFeed));
    const std::string at = ProxyAt(proxy.Port());
    scripts.Serve("/proxy.pac",
                  "HTTP/1.0 200 OK\r\nContent-Type: application/x-ns-proxy-autoconfig\r\n\r\n"
                  "function FindProxyForURL(url, host) {\n"
                  "  if (host == \"direct.test\") return \"DIRECT\";\n"
                  "  return \"PROXY " +
                      at + "\";\n}\n");
    CHTTPTestServer::Response silent;
    silent.neverAnswer = true;
    scripts.Serve("/silent.pac", silent);
    const CScriptedResolver direct("direct.test",
                                   {CScriptedResolver::Literal("127.0.0.1", plain.Port())});

    SetConnectionSettings(ConnectionSettings(kProxyScript, "", "", scripts.Url("/proxy.pac")));
    const Outcome proxied = Fetch("http://feeds.test/feed.xml");
    EXPECT_EQ(proxied.body, kFeed) << proxied.error;
    EXPECT_EQ(proxied.route, "via proxy " + at + ", from the system's proxy script");
    const Outcome straight =
        Fetch("http://direct.test:" + std::to_string(plain.Port()) + "/feed.xml", &direct);
    EXPECT_EQ(straight.body, kFeed) << straight.error;
    EXPECT_EQ(straight.route, "");
    // The loopback is never put to the script: the manual proxy, here none, holds for it.
    EXPECT_EQ(Fetch(plain.Url("/feed.xml")).route, "");
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].compare(0, 36, "GET http://feeds.test/feed.xml HTTP/"), 0)
        << proxy.Requests()[0];

    // A script that never comes is waited for a few seconds at most; then the manual proxy
    // holds, for this host and the next.
    SetConnectionSettings(
        ConnectionSettings(kManualProxy | kProxyScript, at, "", scripts.Url("/silent.pac")));
    for (const char* host : {"late.test", "later.test"}) {
        const Outcome manual = Fetch(std::string("http://") + host + "/feed.xml");
        EXPECT_EQ(manual.body, kFeed) << host << ": " << manual.error;
        EXPECT_EQ(manual.route, "via proxy " + at + ", from " + kManual) << host;
    }
}
