#include "provider/FeedListReport.h"

#include "common/ReadableFile.h"
#include "feed/LoginMemory.h"
#include "http/FeedDownloads.h"
#include "provider/FeedList.h"
#include "provider/MessageProviderRSS.h"
#include "render/XmlText.h"

#include <algorithm>
#include <iterator>
#include <utility>

CFeedListReport::CFeedListReport(std::string listFile, std::vector<FeedOutcome> outcomes,
                                 std::string listProblem)
    : m_listFile(std::move(listFile)), m_listProblem(std::move(listProblem)),
      m_outcomes(std::move(outcomes))
{}

CFeedListReport CFeedListReport::Run(std::string listFile)
{
    // The list is read once, with the feeds past a login's limit, and the login serves the
    // feeds it would have read itself: the report tells of one and the same list.
    std::vector<std::string> urls;
    std::vector<std::string> templates;
    std::vector<FeedOutcome> listed;
    if (!ReadFeedList(listFile, urls, templates, &listed, static_cast<std::size_t>(-1))) {
        std::string problem = WhyUnreadable(listFile);
        // A login reads only lists whose content the user chose.
        if (problem.empty())
            problem = WhyNotTheUsers(listFile) + ", so logins do not read it";
        return CFeedListReport(std::move(listFile), {}, std::move(problem));
    }
    const std::size_t served = std::min(urls.size(), kMaxFeeds);
    std::vector<FeedOutcome> pastLimit(std::make_move_iterator(listed.begin() + served),
                                       std::make_move_iterator(listed.end()));
    listed.resize(served);
    urls.resize(served);
    templates.resize(served);
    CMessageProviderRSS login(listFile, std::string());
    login.LocateParseErrors();
    login.UseFeedList(std::move(urls), std::move(templates), std::move(listed));
    login.GetMessages();
    std::vector<FeedOutcome> outcomes = login.FeedOutcomes();
    for (FeedOutcome& outcome : pastLimit) {
        outcome.pastLimit = true;
        outcomes.push_back(std::move(outcome));
    }
    return CFeedListReport(std::move(listFile), std::move(outcomes));
}

int CFeedListReport::ExitStatus() const
{
    if (!m_listProblem.empty())
        return kListUnreadable;
    return m_outcomes.empty() || ProblemCount() > 0 ? kSomeFeedGivesNone : kEveryFeedGivesMessages;
}

std::size_t CFeedListReport::Messages(const FeedOutcome& outcome)
{
    return outcome.items - outcome.seen;
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
        return "more than " + std::to_string(kMaxFeeds) + " feeds: lines from " +
               std::to_string(kMaxFeeds + 1) + " on are ignored";
    if (outcome.items > 0)
        return std::string();
    if (outcome.salvaged)
        return NotWellFormed(outcome);
    switch (outcome.failure) {
    case FeedFailure::NoAnswerInTime:
        return "timed out after " + std::to_string(kDownloadWait.count()) + " s";
    case FeedFailure::Download:
        return outcome.downloadError;
    case FeedFailure::OverMessageLimit:
        return "over the message limit of one login";
    case FeedFailure::TooLarge:
        return "too large to read: " + std::to_string(outcome.elements) + " elements";
    case FeedFailure::RepairTooLarge:
        return "its entities expand too far to be read";
    case FeedFailure::OverAllLogins:
        return CLoginMemory::kOverAllLogins;
    case FeedFailure::None:
        break;
    }
    if (outcome.download.failure == DownloadFailure::RedirectedTooOften)
        return DownloadFailureText(outcome.download.failure);
    if (!outcome.download.refusal.empty())
        return outcome.download.refusal;
    if (outcome.bytes == 0)
        return "the server sent an empty document";
    switch (outcome.kind) {
    case DocumentKind::HTML:
        return "this is a web page, not a feed: look in it for the link to its RSS feed";
    case DocumentKind::OtherXML:
        return "this XML document is not a feed";
    case DocumentKind::NotXML:
        return NotWellFormed(outcome);
    case DocumentKind::Wide:
        return "written in UTF-16 or UTF-32 without a byte order mark or an XML declaration "
               "that tells which: it cannot be read";
    case DocumentKind::TooDeep:
        return "elements nested too deeply to be read";
    case DocumentKind::TooManyAttributes:
        return "an element with more than " + std::to_string(kMaxXmlAttributes) +
               " attributes: too many to be read";
    case DocumentKind::RSS:
    case DocumentKind::Atom:
    case DocumentKind::RDF:
    case DocumentKind::RSS090:
    case DocumentKind::None:
        break;
    }
    return "the feed has no items";
}

std::string CFeedListReport::NotWellFormed(const FeedOutcome& outcome)
{
    std::string text = "not well-formed XML";
    if (outcome.errorLine > 0)
        text += " at line " + std::to_string(outcome.errorLine) + ", column " +
                std::to_string(outcome.errorColumn);
    else if (!outcome.errorText.empty())
        text += " (" + outcome.errorText + ")";
    if (outcome.salvaged)
        text += "; recovered " + std::to_string(outcome.salvageKeptItems) + " of " +
                std::to_string(outcome.salvageItems) +
                (outcome.salvageItems == 1 ? " item" : " items");
    return text;
}
