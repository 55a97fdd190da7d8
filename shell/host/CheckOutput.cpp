#include "shell/host/CheckOutput.h"

#include "common/PrintableText.h"
#include "http/URL.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

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
    case DocumentKind::TooManyAttributes:
        return "XML with too many attributes";
    }
    return std::string();
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
    if (!outcome.templateDistrust.empty())
        return "template " + outcome.templateName + " NOT READ: " + outcome.templateDistrust +
               "; built-in template used";
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
    const std::string copy = "the copy from " + Age(outcome.download.copyAge.count()) + " ago";
    switch (outcome.download.copyUse) {
    case CopyUse::None:
        if (outcome.download.status == "200")
            text = "; fresh (200)";
        break;
    case CopyUse::Unchanged:
        text = "; unchanged (304), " + copy + " serves";
        break;
    case CopyUse::Quiet:
        text = "; not asked (the server asked to wait), " + copy + " serves";
        break;
    case CopyUse::Fallback:
        text = "; " + outcome.download.fallbackReason + "; using " + copy;
        break;
    }
    if (outcome.download.encodedBytes > 0 && outcome.download.copyUse == CopyUse::None) {
        const long long saved = static_cast<long long>(outcome.bytes) -
                                static_cast<long long>(outcome.download.encodedBytes);
        text += ", compressed: " + Plural(outcome.download.encodedBytes, "byte") + " came";
        if (saved > 0 && outcome.bytes > 0)
            text += " (" + std::to_string(saved * 100 / static_cast<long long>(outcome.bytes)) +
                    "% saved)";
    }
    if (!outcome.download.movedTo.empty())
        text += "; moved permanently to " + WithoutPassword(outcome.download.movedTo) +
                ": update the list";
    if (!outcome.download.linkedFeed.empty())
        text += "; a web page; its feed is " + WithoutPassword(outcome.download.linkedFeed) +
                ", used for this check: put that address in the list";
    return text;
}

// The lines of WriteReportText, without their line ends, before their control characters are
// escaped.
void WriteLines(const CFeedListReport& report, std::vector<std::string>& lines)
{
    std::ostringstream out;
    const auto endLine = [&] {
        lines.push_back(out.str());
        out.str(std::string());
    };
    if (!report.ListProblem().empty()) {
        out << "cannot read the feed list " << report.ListFile() << ": " << report.ListProblem();
        endLine();
        return;
    }
    if (report.Outcomes().empty()) {
        out << "the feed list " << report.ListFile()
            << " names no feed: each feed is a line with its URL"
            << " (empty lines and lines starting with # are skipped)";
        endLine();
        return;
    }
    for (std::size_t feed = 0; feed < report.Outcomes().size(); ++feed) {
        const FeedOutcome& outcome = report.Outcomes()[feed];
        out << (feed < 9 ? " " : "") << feed + 1 << ". " << WithoutPassword(outcome.url);
        if (!outcome.download.finalUrl.empty() && outcome.download.finalUrl != outcome.url)
            out << " -> " << WithoutPassword(outcome.download.finalUrl);
        const std::string problem = CFeedListReport::Problem(outcome);
        if (!problem.empty()) {
            out << ": NO MESSAGES: " << problem;
        } else {
            out << ": " << Plural(CFeedListReport::Messages(outcome), "message");
            if (outcome.salvaged)
                out << " (" << CFeedListReport::NotWellFormed(outcome) << ")";
            if (outcome.seen > 0)
                out << " (" << outcome.seen << " of " << Plural(outcome.items, "item")
                    << " deleted before)";
        }
        if (!outcome.pastLimit && outcome.failure == FeedFailure::None) {
            out << "; HTTP " << (outcome.download.status.empty() ? "?" : outcome.download.status)
                << ", " << Plural(outcome.bytes, "byte") << " in "
                << Seconds(outcome.download.elapsed.count());
            if (outcome.bytes > 0)
                out << ", " << CharsetText(outcome) << ", " << KindName(outcome);
            if (outcome.kind == DocumentKind::Atom)
                out << " with " << outcome.items << (outcome.items == 1 ? " entry" : " entries");
            else if (IsFeedKind(outcome.kind))
                out << " with " << Plural(outcome.items, "item");
        }
        if (!outcome.pastLimit)
            out << CacheText(outcome);
        if (!outcome.download.route.empty())
            out << "; " << outcome.download.route;
        if (!outcome.pastLimit)
            out << "; " << TemplateText(outcome);
        endLine();
    }
    const std::size_t problems = report.ProblemCount();
    out << Plural(report.Outcomes().size(), "feed") << ", "
        << Plural(report.MessageCount(), "message") << ", " << problems
        << (problems == 1 ? " feed" : " feeds") << " with problems";
    endLine();
}

} // namespace

void WriteReportText(const CFeedListReport& report, std::ostream& printed)
{
    // Servers and documents chose much of what is written: none of their control characters
    // or broken UTF-8 reaches the terminal. A line end a server wrote inside a value is
    // escaped too: it starts no line.
    std::vector<std::string> lines;
    WriteLines(report, lines);
    for (const std::string& line : lines)
        printed << PrintableText(line) << "\n";
}

void WriteReportJSON(const CFeedListReport& report, std::ostream& out)
{
    out << "{\"list\": " << JSONString(report.ListFile());
    if (!report.ListProblem().empty()) {
        out << ", \"error\": " << JSONString(report.ListProblem()) << "}\n";
        return;
    }
    out << ", \"feeds\": [";
    for (std::size_t feed = 0; feed < report.Outcomes().size(); ++feed) {
        const FeedOutcome& outcome = report.Outcomes()[feed];
        const std::string problem = CFeedListReport::Problem(outcome);
        out << (feed == 0 ? "\n" : ",\n")
            << "  {\"url\": " << JSONString(WithoutPassword(outcome.url))
            << ", \"finalUrl\": " << JSONString(WithoutPassword(outcome.download.finalUrl))
            << ", \"status\": " << JSONString(outcome.download.status)
            << ", \"bytes\": " << outcome.bytes
            << ", \"route\": " << JSONString(outcome.download.route)
            << ", \"seconds\": " << static_cast<double>(outcome.download.elapsed.count()) / 1000.0
            << ", \"charset\": " << JSONString(outcome.charset)
            << ", \"converted\": " << (outcome.converted ? "true" : "false")
            << ", \"kind\": " << JSONString(KindName(outcome)) << ", \"items\": " << outcome.items
            << ", \"seen\": " << outcome.seen
            << ", \"messages\": " << CFeedListReport::Messages(outcome)
            << ", \"template\": " << JSONString(outcome.templateName)
            << ", \"templateMissing\": " << (outcome.templateMissing ? "true" : "false")
            << ", \"cache\": " << JSONString(CacheName(outcome.download.copyUse))
            << ", \"copyAgeSeconds\": " << outcome.download.copyAge.count()
            << ", \"fallbackReason\": " << JSONString(outcome.download.fallbackReason)
            << ", \"compressedBytes\": " << outcome.download.encodedBytes
            << ", \"movedPermanentlyTo\": " << JSONString(WithoutPassword(outcome.download.movedTo))
            << ", \"feedOfWebPage\": " << JSONString(WithoutPassword(outcome.download.linkedFeed))
            << ", \"templateTooLarge\": " << (outcome.templateTooLarge ? "true" : "false")
            << ", \"templateNotRead\": " << JSONString(outcome.templateDistrust)
            << ", \"problem\": "
            << (!problem.empty()   ? JSONString(problem)
                : outcome.salvaged ? JSONString(CFeedListReport::NotWellFormed(outcome))
                                   : "null")
            << "}";
    }
    out << "\n], \"summary\": {\"feeds\": " << report.Outcomes().size()
        << ", \"messages\": " << report.MessageCount()
        << ", \"problems\": " << report.ProblemCount() << "}}\n";
}
