#include "platform/SystemProxy.h"

#include "platform/Thread.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <map>

namespace platform {
namespace {

// How long a proxy script is waited for, and how long its answer for a host is kept.
constexpr int kScriptWaitMilliseconds = 5000;
constexpr std::chrono::minutes kScriptAnswerLife{1};

const char kManualOrigin[] = "the system's proxy settings";
const char kScriptOrigin[] = "the system's proxy script";

// Proxy names and lists are plain ASCII; anything else cannot name a host anyway.
std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; text != nullptr && *text != L'\0'; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return narrow;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// Frees what WinHTTP allocated for the caller.
void Free(wchar_t* text)
{
    if (text != nullptr)
        ::GlobalFree(text);
}

// Names such as localhost and the loopback addresses, which a script is never asked about:
// Windows reaches them straight unless told otherwise.
bool IsLoopback(const std::string& host)
{
    return host == "localhost" || host.compare(0, 4, "127.") == 0 || host == "::1";
}

// What a proxy script (named, or found by automatic detection) says for `url`; false when
// there is no script or it did not answer within its time.
bool AskScript(const std::string& url, const std::string& scriptUrl, SystemProxy& settings)
{
    const HINTERNET session = ::WinHttpOpen(L"QUILLBOX.vorlenta", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr)
        return false;
    ::WinHttpSetTimeouts(session, kScriptWaitMilliseconds, kScriptWaitMilliseconds,
                         kScriptWaitMilliseconds, kScriptWaitMilliseconds);
    const std::wstring script = Wide(scriptUrl);
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (scriptUrl.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    const bool answered = ::WinHttpGetProxyForUrl(session, Wide(url).c_str(), &options, &info);
    ::WinHttpCloseHandle(session);
    if (answered) {
        settings.proxy = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY
                             ? Narrow(info.lpszProxy)
                             : std::string();
        settings.bypass = Narrow(info.lpszProxyBypass);
        settings.origin = kScriptOrigin;
    }
    Free(info.lpszProxy);
    Free(info.lpszProxyBypass);
    return answered;
}

// The answers of scripts by host, so that one check asks a script once per host.
struct ScriptAnswer
{
    SystemProxy settings;
    bool answered = false;
    std::chrono::steady_clock::time_point until;
};
CLock& g_scriptAnswersLock = *new CLock;
std::map<std::string, ScriptAnswer>& g_scriptAnswers = *new std::map<std::string, ScriptAnswer>;

bool AskScriptOncePerHost(const std::string& url, const std::string& host,
                          const std::string& scriptUrl, SystemProxy& settings)
{
    const auto now = std::chrono::steady_clock::now();
    {
        CLockHolder holder(g_scriptAnswersLock);
        const auto found = g_scriptAnswers.find(host);
        if (found != g_scriptAnswers.end() && found->second.until > now) {
            if (found->second.answered)
                settings = found->second.settings;
            return found->second.answered;
        }
    }
    ScriptAnswer answer;
    answer.settings = settings;
    answer.answered = AskScript(url, scriptUrl, answer.settings);
    answer.until = std::chrono::steady_clock::now() + kScriptAnswerLife;
    if (answer.answered)
        settings = answer.settings;
    CLockHolder holder(g_scriptAnswersLock);
    if (g_scriptAnswers.size() > 1000)
        g_scriptAnswers.clear();
    g_scriptAnswers[host] = answer;
    return answer.answered;
}

} // namespace

SystemProxy SystemProxyFor(const std::string& url, const std::string& host, bool)
{
    SystemProxy settings;
    settings.notation = ProxyNotation::WindowsList;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config))
        return settings;
    settings.proxy = Narrow(config.lpszProxy);
    settings.bypass = Narrow(config.lpszProxyBypass);
    settings.origin = kManualOrigin;
    const std::string scriptUrl = Narrow(config.lpszAutoConfigUrl);
    const bool automatic = config.fAutoDetect || !scriptUrl.empty();
    Free(config.lpszProxy);
    Free(config.lpszProxyBypass);
    Free(config.lpszAutoConfigUrl);
    // Without a script the manual settings hold, as they do for Windows' own programs.
    if (automatic && !IsLoopback(host))
        AskScriptOncePerHost(url, host, scriptUrl, settings);
    return settings;
}

} // namespace platform
