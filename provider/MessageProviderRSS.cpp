#include "provider/MessageProviderRSS.h"

#include "common/ByteString.h"
#include "feed/FeedDocument.h"
#include "feed/UidAssignment.h"
#include "http/ByteBudget.h"
#include "http/FeedDownloads.h"
#include "platform/File.h"
#include "platform/Memory.h"
#include "platform/Thread.h"
#include "provider/FeedCopies.h"
#include "provider/FeedList.h"
#include "render/Charset.h"
#include "render/Template.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

namespace {

// Threads that render the feeds of one login; the login's own thread is one of them.
constexpr unsigned kMaxRenderThreads = 8;

const char kNoFeedAnyMore[] = "the answer is no feed";
const char kNoItemsAnyMore[] = "the feed has no items";

// A document whose items were salvaged is still the feed: its copy is kept.
bool IsFeed(const FeedOutcome& outcome)
{
    return (outcome.wellFormed || outcome.salvaged) && IsFeedKind(outcome.kind);
}

void RecordTrace(DownloadTrace& trace, FeedOutcome& outcome)
{
    outcome.download = std::move(trace);
    // Up to the bound of a header block for each feed, and kept as long as the login.
    std::string().swap(outcome.download.headers);
}

// A NUL byte would end the name early for the system, and no client sends CR or LF in a
// name on purpose: such a name would be checked as one file and used as another.
bool CanBeFilePath(const std::string& name)
{
    return name.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}

} // namespace

CMessageProviderRSS::CMessageProviderRSS(std::string mailbox, const std::string& password)
    : CMessageProviderRSS(std::move(mailbox), password, Services())
{}

CMessageProviderRSS::CMessageProviderRSS(std::string mailbox, const std::string& /*password*/,
                                         Services services)
    : m_listFile(Trimmed(std::move(mailbox))), m_listIsUsable(CanBeFilePath(m_listFile)),
      m_seenStore(m_listFile), m_fetch(std::move(services.fetch)),
      m_copies(std::move(services.copies)), m_clock(*services.clock),
      m_memory(services.maxTreeBytes, services.maxMessageBytes, *services.allLogins)
{
    if (!m_fetch && m_copies) {
        m_fetch = [copies = m_copies](const std::string& url, CCancelSignal* cancel,
                                      CByteBudget* budget, DownloadTrace& trace) {
            return copies->Download(url, cancel, budget, trace);
        };
    }
}

std::shared_ptr<const CFeedCopies> CMessageProviderRSS::DefaultCopies()
{
    return std::make_shared<CFeedCopies>(CFeedCopyStore(CFeedCopyStore::DefaultFolder()));
}

ProviderReply CMessageProviderRSS::GetMessages()
{
    std::vector<std::string> urls = std::move(m_givenURLs);
    std::vector<std::string> templates = std::move(m_givenTemplates);
    if (!m_listGiven && m_listIsUsable)
        m_listWasRead = ReadFeedList(m_listFile, urls, templates, &m_outcomes);
    ProviderReply reply;
    if (urls.empty()) {
        reply.response = "+OK no messages\r\n";
        return reply;
    }
    platform::KeepLargeBlocksApart();
    for (FeedOutcome& outcome : m_outcomes)
        outcome.failure = FeedFailure::NoAnswerInTime;
    if (m_copies)
        m_copies->CleanNowAndThen();
    {
        CFeedDownloads downloads(urls, kDownloadWait, kMaxLoginDownloadBytes, m_fetch,
                                 &m_memory.AllLoginsBudget(), m_clock);
        CDocumentsWithCopies documents(downloads, urls, m_copies.get());
        RenderFeeds([&](CFeedDownloads::Result& document) { return documents.TakeNext(document); },
                    templates);
    }
    // Every item of the login is there: an item's UIDL depends on all of them, and on nothing
    // a client deleted, so that it stays the same from login to login.
    AssignUids(m_messages);
    std::vector<bool> seen;
    m_seenStore.FilterSeen(m_messages, &seen);
    // The messages came in feed order, each feed's items together.
    std::size_t message = 0;
    for (FeedOutcome& outcome : m_outcomes) {
        for (std::size_t item = 0; item < outcome.items; ++item)
            outcome.seen += seen[message++] ? 1 : 0;
    }
    reply.response = "+OK received messages\r\n";
    // The list is not consulted again, so it is handed over rather than copied.
    reply.messages = std::move(m_messages);
    m_messages.clear();
    return reply;
}

void CMessageProviderRSS::UseFeedList(std::vector<std::string> urls,
                                      std::vector<std::string> templates,
                                      std::vector<FeedOutcome> outcomes)
{
    m_listGiven = true;
    m_listWasRead = true;
    m_givenURLs = std::move(urls);
    m_givenTemplates = std::move(templates);
    m_outcomes = std::move(outcomes);
}

void CMessageProviderRSS::CommitDeleted(const MessageList& deleted)
{
    if (m_listWasRead && !m_seenStore.CommitDeleted(deleted) && !deleted.empty())
        throw exception();
}

void CMessageProviderRSS::RenderDocument(CFeedDownloads::Result& document,
                                         const std::string& templateText, MessageList& messages)
{
    FeedOutcome& outcome = m_outcomes[document.index];
    // The copy to keep is written while the document is as received, before it is converted
    // and read, and put in place once the document proves to be a feed.
    platform::CFileReplacement copy =
        m_copies ? m_copies->Prepare(outcome.url, document.trace, document.text)
                 : platform::CFileReplacement();
    const bool answered = document.trace.copyUse == CopyUse::None && document.failure.empty() &&
                          !document.trace.status.empty() && document.trace.status[0] == '2';
    outcome.failure = document.trace.cancelled   ? FeedFailure::NoAnswerInTime
                      : document.failure.empty() ? FeedFailure::None
                                                 : FeedFailure::Download;
    outcome.downloadError = std::move(document.failure);
    RecordTrace(document.trace, outcome);
    for (int attempt = 0;; ++attempt) {
        outcome.bytes = document.text.size();
        // A document in another character set exists twice while it is converted, and
        // converted it may be larger: that memory is charged first, until the feed is read.
        CByteCharge conversion(&m_memory.AllLoginsBudget());
        if (NeedsUtf8Conversion(document.text) &&
            !conversion.Take(kUtf8ConversionBytesPerByte * document.text.size())) {
            outcome.failure = FeedFailure::OverAllLogins;
            messages.clear();
            return;
        }
        // The parse checks the depth of exactly the text it reads, converted or not.
        outcome.converted = ConvertToUtf8(document.text, &outcome.charset);
        messages =
            ReadFeedDocument(std::move(document.text), templateText, outcome.download.finalUrl,
                             m_memory, outcome, m_locateParseErrors);
        if (!m_copies || !answered || attempt > 0)
            return;
        // A feed whose items all went at once has likely lost them for a while, as a feed
        // that is gone has: its copy serves for as long as after a 404.
        const bool emptied = IsFeed(outcome) && outcome.items == 0;
        if (IsFeed(outcome) && !emptied) {
            copy.Commit();
            return;
        }
        // A server that answers with something else than its feed (a web page of a portal or
        // of an error) has not removed the feed's items: its copy serves instead.
        DownloadTrace trace;
        if (!m_copies->Fallback(
                outcome.url, emptied ? kNoItemsAnyMore : kNoFeedAnyMore, trace, document.text,
                emptied ? CFeedCopies::kMaxGoneFallbackAge : CFeedCopies::kMaxFallbackAge)) {
            if (emptied)
                copy.Commit();
            return;
        }
        outcome.download.copyUse = trace.copyUse;
        outcome.download.copyAge = trace.copyAge;
        outcome.download.fallbackReason = std::move(trace.fallbackReason);
        outcome.errorText.clear();
        outcome.errorLine = outcome.errorColumn = 0;
    }
}

void CMessageProviderRSS::RenderFeeds(const DocumentSource& takeNext,
                                      const std::vector<std::string>& templates)
{
    // Feeds are converted, parsed and rendered on several threads at once as their documents
    // arrive, each feed into a list of its own; the lists are joined in feed order afterwards,
    // so the messages and their order are the same as if one thread had done it all.
    const std::size_t count = templates.size();
    std::vector<MessageList> rendered(count);
    std::atomic<bool> stop{false};
    platform::CLock failureLock;
    std::exception_ptr failure;
    auto renderSome = [&]() noexcept {
        try {
            CFeedDownloads::Result document;
            while (!stop && takeNext(document)) {
                const std::size_t feed = document.index;
                RenderDocument(document, templates[feed], rendered[feed]);
            }
        } catch (...) {
            // Handed to the login's thread, which throws it on as a single thread would.
            platform::CLockHolder holder(failureLock);
            if (!failure)
                failure = std::current_exception();
            stop = true;
        }
    };

    const unsigned cores = platform::ProcessorCount();
    const std::size_t threadCount =
        std::min<std::size_t>({cores, kMaxRenderThreads, std::max<std::size_t>(count, 1)});
    // Every helper is made before the first one starts: once one runs, nothing may throw past
    // the joins below, or a running thread would go on using this function's variables.
    std::vector<platform::CThread> helpers(threadCount - 1);
    for (platform::CThread& helper : helpers) {
        try {
            if (!helper.Start(renderSome))
                break;
        } catch (...) {
            break; // no thread, or no memory for one: fewer threads only make it slower
        }
    }
    renderSome();
    for (platform::CThread& helper : helpers)
        helper.Join();
    if (failure)
        std::rethrow_exception(failure);

    std::size_t total = 0;
    for (const MessageList& list : rendered)
        total += list.size();
    m_messages.reserve(m_messages.size() + total);
    for (MessageList& list : rendered) {
        for (MessageEntry& entry : list)
            m_messages.push_back(std::move(entry));
        MessageList().swap(list);
    }
}
