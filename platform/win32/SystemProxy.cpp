#include "platform/SystemProxy.h"

#include "platform/Settings.h"
#include "platform/Thread.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

namespace platform {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// How long a proxy script is waited for, and how long its answer for a host is kept.
constexpr std::chrono::milliseconds kScriptWait{5000};
constexpr std::chrono::minutes kScriptAnswerLife{1};

const char kManualOrigin[] = "the system's proxy settings";
const char kScriptOrigin[] = "the system's proxy script";

// Where Windows keeps the user's manual proxy as plain values too, beside the connection
// settings that WinHTTP reads. Tools and policies often write only these values.
const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

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

// The manual proxy of the Internet Settings values (ProxyEnable, ProxyServer, ProxyOverride);
// false when they name none.
bool ReadManualValues(SystemProxy& settings)
{
    std::uint32_t enabled = 0;
    std::string server;
    if (!ReadUserNumber(kInternetSettingsKey, "ProxyEnable", enabled) || enabled == 0 ||
        !ReadUserText(kInternetSettingsKey, "ProxyServer", server) || server.empty())
        return false;
    std::string bypass;
    ReadUserText(kInternetSettingsKey, "ProxyOverride", bypass);
    settings.proxy = server;
    settings.bypass = bypass;
    settings.origin = kManualOrigin;
    return true;
}

// How a question to a proxy script (named, or found by automatic detection) ended.
enum class ScriptAnswer
{
    Answered,
    Failed,   // the script gave no answer for this URL
    NoScript, // none was found, none could be fetched, or none answered in time
};

// What a proxy script says for `url`, asked with WinHTTP: its proxy list and bypass list go
// to `proxy` and `bypass` (empty for a straight connection).
ScriptAnswer AskScript(const std::string& url, const std::string& scriptUrl, std::string& proxy,
                       std::string& bypass)
{
    const HINTERNET session = ::WinHttpOpen(L"QUILLBOX.vorlenta", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr)
        return ScriptAnswer::NoScript;
    const int wait = static_cast<int>(kScriptWait.count());
    ::WinHttpSetTimeouts(session, wait, wait, wait, wait);
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
    const DWORD error = answered ? ERROR_SUCCESS : ::GetLastError();
    ::WinHttpCloseHandle(session);
    if (answered) {
        proxy = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? Narrow(info.lpszProxy)
                                                                     : std::string();
        bypass = Narrow(info.lpszProxyBypass);
    }
    Free(info.lpszProxy);
    Free(info.lpszProxyBypass);
    if (answered)
        return ScriptAnswer::Answered;
    return error == ERROR_WINHTTP_AUTODETECTION_FAILED ||
                   error == ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT ||
                   error == ERROR_WINHTTP_TIMEOUT
               ? ScriptAnswer::NoScript
               : ScriptAnswer::Failed;
}

// One host's question to the script, asked on a thread of its own so that no caller waits
// longer than kScriptWait whatever WinHTTP does (automatic detection has no time bound of its
// own). Shared by that thread and every caller waiting for the host; the last one frees it.
struct CScriptQuestion
{
    SteadyTime asked;
    CLock lock;
    CCondition changed;
    bool done GUARDED_BY(lock) = false;
    ScriptAnswer answer GUARDED_BY(lock) = ScriptAnswer::NoScript;
    std::string proxy GUARDED_BY(lock);
    std::string bypass GUARDED_BY(lock);
};

// The questions by host, so that a check asks the script once per host, and until when no
// script is to be asked at all, after one was not found or did not answer in time.
CLock& g_scriptLock = *new CLock;
std::map<std::string, std::shared_ptr<CScriptQuestion>>& g_questions GUARDED_BY(g_scriptLock) =
    *new std::map<std::string, std::shared_ptr<CScriptQuestion>>;
SteadyTime g_noScriptUntil GUARDED_BY(g_scriptLock);

// The question for `host`: the one under way or answered within kScriptAnswerLife, or a new
// one, started here; null when no script is to be asked.
std::shared_ptr<CScriptQuestion> QuestionFor(const std::string& url, const std::string& host,
                                             const std::string& scriptUrl)
{
    const SteadyTime now = std::chrono::steady_clock::now();
    CLockHolder holder(g_scriptLock);
    if (now < g_noScriptUntil)
        return nullptr;
    const auto found = g_questions.find(host);
    if (found != g_questions.end() && now < found->second->asked + kScriptAnswerLife)
        return found->second;
    if (g_questions.size() > 1000)
        g_questions.clear();
    auto question = std::make_shared<CScriptQuestion>();
    question->asked = now;
    CThread thread;
    const bool started = thread.Start([question, url, scriptUrl] {
        std::string proxy;
        std::string bypass;
        const ScriptAnswer answer = AskScript(url, scriptUrl, proxy, bypass);
        CLockHolder answered(question->lock);
        question->answer = answer;
        question->proxy = proxy;
        question->bypass = bypass;
        question->done = true;
        question->changed.WakeAll();
    });
    if (!started)
        return nullptr;
    thread.Detach();
    g_questions[host] = question;
    return question;
}

// Replaces `settings` with what the script says for `url`; leaves them as they are when it
// says nothing.
void AskScriptOncePerHost(const std::string& url, const std::string& host,
                          const std::string& scriptUrl, SystemProxy& settings)
{
    const std::shared_ptr<CScriptQuestion> question = QuestionFor(url, host, scriptUrl);
    if (question == nullptr)
        return;
    CLockHolder holder(question->lock);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        question->asked + kScriptWait - std::chrono::steady_clock::now());
    const bool done =
        question->changed.WaitFor(question->lock, std::max(left, std::chrono::milliseconds(0)),
                                  [&]() REQUIRES(question->lock) { return question->done; });
    if (!done || question->answer == ScriptAnswer::NoScript) {
        CLockHolder noScript(g_scriptLock);
        g_noScriptUntil = question->asked + kScriptAnswerLife;
        return;
    }
    if (question->answer == ScriptAnswer::Answered) {
        settings.proxy = question->proxy;
        settings.bypass = question->bypass;
        settings.origin = kScriptOrigin;
    }
}

} // namespace

SystemProxy SystemProxyFor(const std::string& url, const std::string& host, bool)
{
    SystemProxy settings;
    settings.notation = ProxyNotation::WindowsList;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        ReadManualValues(settings);
        return settings;
    }
    settings.proxy = Narrow(config.lpszProxy);
    settings.bypass = Narrow(config.lpszProxyBypass);
    settings.origin = kManualOrigin;
    const std::string scriptUrl = Narrow(config.lpszAutoConfigUrl);
    const bool automatic = config.fAutoDetect || !scriptUrl.empty();
    Free(config.lpszProxy);
    Free(config.lpszProxyBypass);
    Free(config.lpszAutoConfigUrl);
    if (settings.proxy.empty())
        ReadManualValues(settings);
    // Without a script the manual settings hold, as they do for Windows' own programs.
    if (automatic && !IsLoopback(host))
        AskScriptOncePerHost(url, host, scriptUrl, settings);
    return settings;
}

} // namespace platform
