#include "provider/FeedListReport.h"

#include "common/PrintableText.h"
#include "common/ReadableFile.h"
#include "http/FeedDownloads.h"
#include "platform/File.h"
#include "provider/LoginMemory.h"
#include "provider/MessageProviderRSS.h"

#include <cstdio>
#include <sstream>
#include <utility>

namespace {

std::size_t Messages(const FeedOutcome& outcome)
{
    return outcome.items - outcome.seen;
}

std::string KindName(const FeedOutcome& outcome)
{
    switch (outcome.kind) {
    case DocumentKind::None:
        return std::string();
    case DocumentKind::RSS:
        return outcome.rssVersion.empty() ? "RSS" : "RSS " + outcome.rssVersion;
    case DocumentKind::Atom:
        return "Atom 1.0";
    case DocumentKind::RDF:
        return "RSS 1.0";
    case DocumentKind::RSS090:
        return "RSS 0.90";
    case DocumentKind::HTML:
        return "HTML page";
    case DocumentKind::OtherXML:
        return "XML but not a feed";
    case DocumentKind::NotXML:
        return "not XML";
    case DocumentKind::Wide:
        return "UTF-16 or UTF-32 text";
    case DocumentKind::TooDeep:
        return "XML nested too deeply";
    }
    return std::string();
}

bool IsFeed(DocumentKind kind)
{
    return kind == DocumentKind::RSS || kind == DocumentKind::Atom || kind == DocumentKind::RDF ||
           kind == DocumentKind::RSS090;
}

std::string Plural(std::size_t count, const char* word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string Seconds(long long milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(milliseconds) / 1000.0);
    return text;
}

std::string CharsetText(const FeedOutcome& outcome)
{
    if (outcome.charset.empty())
        return "no character set declared (read as UTF-8)";
    if (outcome.converted)
        return outcome.charset + " converted to UTF-8";
    return outcome.charset;
}

std::string TemplateText(const FeedOutcome& outcome)
{
    if (outcome.templateName.empty())
        return "built-in template";
    if (outcome.templateMissing)
        return "template " + outcome.templateName + " NOT FOUND (or empty), built-in template used";
    if (outcome.templateTooLarge)
        return "template " + outcome.templateName +
               " TOO LARGE (more than 1 MB), built-in template used";
    return "template " + outcome.templateName;
}

// A JSON string: quotes, backslashes and control characters (C0, DEL and C1) escaped, and
// every byte that is not part of well-formed UTF-8 replaced by U+FFFD, which JSON readers
// require.
std::string JSONString(const std::string& text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8CharacterLength(text, i);
        const unsigned code =
            byte == 0xC2 && length == 2 ? static_cast<unsigned char>(text[i + 1]) : byte;
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", code);
            out += escape;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

// "5 minutes", "2 hours", "3 days": how long ago a copy was fetched, roughly.
std::string Age(long long seconds)
{
    if (seconds < 120)
        return Plural(static_cast<std::size_t>(seconds < 0 ? 0 : seconds), "second");
    if (seconds < 2 * 3600)
        return Plural(static_cast<std::size_t>(seconds / 60), "minute");
    if (seconds < 2 * 86400)
        return Plural(static_cast<std::size_t>(seconds / 3600), "hour");
    return Plural(static_cast<std::size_t>(seconds / 86400), "day");
}

const char* CacheName(CopyUse use)
{
    switch (use) {
    case CopyUse::None:
        break;
    case CopyUse::Unchanged:
        return "unchanged";
    case CopyUse::Quiet:
        return "not asked";
    case CopyUse::Fallback:
        return "fallback";
    }
    return "fresh";
}

// What the feed's answer and its copy came to: "fresh (200)", "unchanged (304)", a fallback,
// the compression's saving, a permanent move.
std::string CacheText(const FeedOutcome& outcome)
{
    std::string text;
    const std::string copy = "the copy from " + Age(outcome.copyAgeSeconds) + " ago";
    switch (outcome.copyUse) {
    case CopyUse::None:
        if (outcome.status == "200")
            text = "; fresh (200)";
        break;
    case CopyUse::Unchanged:
        text = "; unchanged (304), " + copy + " serves";
        break;
    case CopyUse::Quiet:
        text = "; not asked (the server asked to wait), " + copy + " serves";
        break;
    case CopyUse::Fallback:
        text = "; " + outcome.fallbackReason + "; using " + copy;
        break;
    }
    if (outcome.encodedBytes > 0 && outcome.copyUse == CopyUse::None) {
        const long long saved =
            static_cast<long long>(outcome.bytes) - static_cast<long long>(outcome.encodedBytes);
        text += ", compressed: " + Plural(outcome.encodedBytes, "byte") + " came";
        if (saved > 0 && outcome.bytes > 0)
            text += " (" + std::to_string(saved * 100 / static_cast<long long>(outcome.bytes)) +
                    "% saved)";
    }
    if (!outcome.movedTo.empty())
        text += "; moved permanently to " + outcome.movedTo + ": update the list";
    return text;
}

} // namespace

CFeedListReport::CFeedListReport(std::string listFile, std::vector<FeedOutcome> outcomes,
                                 std::string listProblem)
    : m_listFile(std::move(listFile)), m_listProblem(std::move(listProblem)),
      m_outcomes(std::move(outcomes))
{}

CFeedListReport CFeedListReport::Run(std::string listFile)
{
    std::string problem = WhyUnreadable(listFile);
    // A login reads only lists that no other user could have written.
    std::string start;
    if (problem.empty() &&
        !platform::ReadTrustedFile(listFile, start, 1, platform::TooLong::KeepStart))
        problem = "other users may write to it (or it is theirs), so logins do not read it";
    if (!problem.empty())
        return CFeedListReport(std::move(listFile), {}, std::move(problem));
    CMessageProviderRSS login(listFile, std::string());
    login.LocateParseErrors();
    login.GetMessages();
    std::vector<FeedOutcome> outcomes = login.FeedOutcomes();
    // The feeds a login leaves out, read the way it reads the others.
    std::vector<std::string> urls;
    std::vector<std::string> templates;
    std::vector<FeedOutcome> listed;
    CMessageProviderRSS::ReadFeedList(login.ListFile(), urls, templates, &listed,
                                      static_cast<std::size_t>(-1));
    for (std::size_t feed = outcomes.size(); feed < listed.size(); ++feed) {
        listed[feed].pastLimit = true;
        outcomes.push_back(std::move(listed[feed]));
    }
    return CFeedListReport(std::move(listFile), std::move(outcomes));
}

int CFeedListReport::ExitStatus() const
{
    if (!m_listProblem.empty())
        return kListUnreadable;
    return m_outcomes.empty() || ProblemCount() > 0 ? kSomeFeedGivesNone : kEveryFeedGivesMessages;
}

std::size_t CFeedListReport::MessageCount() const
{
    std::size_t messages = 0;
    for (const FeedOutcome& outcome : m_outcomes)
        messages += Messages(outcome);
    return messages;
}

std::size_t CFeedListReport::ProblemCount() const
{
    std::size_t problems = 0;
    for (const FeedOutcome& outcome : m_outcomes)
        problems += Problem(outcome).empty() ? 0 : 1;
    return problems;
}

std::string CFeedListReport::Problem(const FeedOutcome& outcome)
{
    if (outcome.pastLimit)
        return "more than " + std::to_string(CMessageProviderRSS::kMaxFeeds) +
               " feeds: lines from " + std::to_string(CMessageProviderRSS::kMaxFeeds + 1) +
               " on are ignored";
    if (outcome.items > 0)
        return std::string();
    switch (outcome.failure) {
    case FeedFailure::NoAnswerInTime:
        return "timed out after " + std::to_string(kDownloadWait.count()) + " s";
    case FeedFailure::Download:
        return outcome.downloadError;
    case FeedFailure::OverMessageLimit:
        return "over the message limit of one login";
    case FeedFailure::TooLarge:
        return "too large to read: " + std::to_string(outcome.elements) + " elements";
    case FeedFailure::OverAllLogins:
        return CLoginMemory::kOverAllLogins;
    case FeedFailure::None:
        break;
    }
    if (outcome.redirectedTooOften)
        return "redirected more than 10 times";
    if (!outcome.status.empty() && outcome.status[0] != '2')
        return "server answered " + outcome.status;
    if (outcome.bytes == 0)
        return "the server sent an empty document";
    switch (outcome.kind) {
    case DocumentKind::HTML:
        return "this is a web page, not a feed: look in it for the link to its RSS feed";
    case DocumentKind::OtherXML:
        return "this XML document is not a feed";
    case DocumentKind::NotXML:
        if (outcome.errorLine > 0)
            return "not well-formed XML at line " + std::to_string(outcome.errorLine) +
                   ", column " + std::to_string(outcome.errorColumn);
        return "not well-formed XML" +
               (outcome.errorText.empty() ? std::string() : " (" + outcome.errorText + ")");
    case DocumentKind::Wide:
        return "written in UTF-16 or UTF-32: only UTF-8 and single-byte character sets are read";
    case DocumentKind::TooDeep:
        return "elements nested too deeply to be read";
    case DocumentKind::RSS:
    case DocumentKind::Atom:
    case DocumentKind::RDF:
    case DocumentKind::RSS090:
    case DocumentKind::None:
        break;
    }
    return "the feed has no items";
}

void CFeedListReport::WriteText(std::ostream& printed) const
{
    // Servers and documents chose much of what is written: none of their control characters
    // or broken UTF-8 reaches the terminal.
    std::ostringstream out;
    WriteLines(out);
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);)
        printed << PrintableText(line) << "\n";
}

void CFeedListReport::WriteLines(std::ostream& out) const
{
    if (!m_listProblem.empty()) {
        out << "cannot read the feed list " << m_listFile << ": " << m_listProblem << "\n";
        return;
    }
    if (m_outcomes.empty()) {
        out << "the feed list " << m_listFile << " names no feed: each feed is a line with its URL"
            << " (empty lines and lines starting with # are skipped)\n";
        return;
    }
    for (std::size_t feed = 0; feed < m_outcomes.size(); ++feed) {
        const FeedOutcome& outcome = m_outcomes[feed];
        out << (feed < 9 ? " " : "") << feed + 1 << ". " << outcome.url;
        if (!outcome.finalUrl.empty() && outcome.finalUrl != outcome.url)
            out << " -> " << outcome.finalUrl;
        const std::string problem = Problem(outcome);
        if (!problem.empty()) {
            out << ": NO MESSAGES: " << problem;
        } else {
            out << ": " << Plural(Messages(outcome), "message");
            if (outcome.seen > 0)
                out << " (" << outcome.seen << " of " << Plural(outcome.items, "item")
                    << " deleted before)";
        }
        if (!outcome.pastLimit && outcome.failure == FeedFailure::None) {
            out << "; HTTP " << (outcome.status.empty() ? "?" : outcome.status) << ", "
                << Plural(outcome.bytes, "byte") << " in " << Seconds(outcome.milliseconds);
            if (outcome.bytes > 0)
                out << ", " << CharsetText(outcome) << ", " << KindName(outcome);
            if (outcome.kind == DocumentKind::Atom)
                out << " with " << outcome.items << (outcome.items == 1 ? " entry" : " entries");
            else if (IsFeed(outcome.kind))
                out << " with " << Plural(outcome.items, "item");
        }
        if (!outcome.pastLimit)
            out << CacheText(outcome);
        if (!outcome.route.empty())
            out << "; " << outcome.route;
        if (!outcome.pastLimit)
            out << "; " << TemplateText(outcome);
        out << "\n";
    }
    const std::size_t problems = ProblemCount();
    out << Plural(m_outcomes.size(), "feed") << ", " << Plural(MessageCount(), "message") << ", "
        << problems << (problems == 1 ? " feed" : " feeds") << " with problems\n";
}

void CFeedListReport::WriteJSON(std::ostream& out) const
{
    out << "{\"list\": " << JSONString(m_listFile);
    if (!m_listProblem.empty()) {
        out << ", \"error\": " << JSONString(m_listProblem) << "}\n";
        return;
    }
    out << ", \"feeds\": [";
    for (std::size_t feed = 0; feed < m_outcomes.size(); ++feed) {
        const FeedOutcome& outcome = m_outcomes[feed];
        const std::string problem = Problem(outcome);
        out << (feed == 0 ? "\n" : ",\n") << "  {\"url\": " << JSONString(outcome.url)
            << ", \"finalUrl\": " << JSONString(outcome.finalUrl)
            << ", \"status\": " << JSONString(outcome.status) << ", \"bytes\": " << outcome.bytes
            << ", \"route\": " << JSONString(outcome.route)
            << ", \"seconds\": " << static_cast<double>(outcome.milliseconds) / 1000.0
            << ", \"charset\": " << JSONString(outcome.charset)
            << ", \"converted\": " << (outcome.converted ? "true" : "false")
            << ", \"kind\": " << JSONString(KindName(outcome)) << ", \"items\": " << outcome.items
            << ", \"seen\": " << outcome.seen << ", \"messages\": " << Messages(outcome)
            << ", \"template\": " << JSONString(outcome.templateName)
            << ", \"templateMissing\": " << (outcome.templateMissing ? "true" : "false")
            << ", \"cache\": " << JSONString(CacheName(outcome.copyUse))
            << ", \"copyAgeSeconds\": " << outcome.copyAgeSeconds
            << ", \"fallbackReason\": " << JSONString(outcome.fallbackReason)
            << ", \"compressedBytes\": " << outcome.encodedBytes
            << ", \"movedPermanentlyTo\": " << JSONString(outcome.movedTo)
            << ", \"templateTooLarge\": " << (outcome.templateTooLarge ? "true" : "false")
            << ", \"problem\": " << (problem.empty() ? "null" : JSONString(problem)) << "}";
    }
    out << "\n], \"summary\": {\"feeds\": " << m_outcomes.size()
        << ", \"messages\": " << MessageCount() << ", \"problems\": " << ProblemCount() << "}}\n";
}
