#include "provider/MessageProviderRSS.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"
#include "http/FeedDownloads.h"
#include "platform/File.h"
#include "platform/Memory.h"
#include "platform/Thread.h"
#include "provider/FeedCopies.h"
#include "provider/FeedDocument.h"
#include "render/Charset.h"
#include "render/Template.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// Threads that render the feeds of one login; the login's own thread is one of them.
constexpr unsigned kMaxRenderThreads = 8;

// A feed list is read only this far; lines after it, and a line it cuts, are ignored.
constexpr std::size_t kMaxListBytes = 4 * 1024 * 1024;

const char kNoFeedAnyMore[] = "the answer is no feed";

bool IsFeed(const FeedOutcome& outcome)
{
    return outcome.wellFormed &&
           (outcome.kind == DocumentKind::RSS || outcome.kind == DocumentKind::Atom ||
            outcome.kind == DocumentKind::RDF || outcome.kind == DocumentKind::RSS090);
}

void RecordTrace(DownloadTrace& trace, FeedOutcome& outcome)
{
    outcome.finalUrl = std::move(trace.finalUrl);
    outcome.status = std::move(trace.status);
    outcome.route = std::move(trace.route);
    outcome.redirectedTooOften = trace.redirectedTooOften;
    outcome.milliseconds = trace.milliseconds;
    outcome.encodedBytes = trace.encodedBytes;
    outcome.movedTo = std::move(trace.movedTo);
    outcome.copyUse = trace.copyUse;
    outcome.copyAgeSeconds = trace.copyAgeSeconds;
    outcome.fallbackReason = std::move(trace.fallbackReason);
}

// A larger template file is not read: the built-in template is used instead.
constexpr std::size_t kMaxTemplateBytes = 1024 * 1024;

std::string Trimmed(std::string text)
{
    TrimLeft(text);
    TrimRight(text);
    return text;
}

// A NUL byte would end the name early for the system, and no client sends CR or LF in a
// name on purpose: such a name would be checked as one file and used as another.
bool CanBeFilePath(const std::string& name)
{
    return name.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}

bool IsRelativePath(const std::string& path)
{
    if (path.empty() || path[0] == '/' || path[0] == '\\')
        return false;
    return !(path.size() > 1 && path[1] == ':');
}

// The folder part of a path: everything up to and including its last separator.
std::string FolderOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// The content of a feed's template file. A relative name is tried as written (against the
// current folder) first, then beside the feed list, where users keep their templates.
// `outcome` learns whether a name was given but neither gave a template, or the template is
// larger than kMaxTemplateBytes, so that the built-in one is used.
std::string ReadTemplate(const std::string& name, const std::string& listFolder,
                         FeedOutcome& outcome)
{
    // A few bytes more than a template may have: room for a byte order mark, and one byte
    // that tells whether the file goes on.
    const std::size_t readBytes = kMaxTemplateBytes + 4;
    std::string text;
    CMessageProviderRSS::ReadFileStart(name, readBytes, text);
    if (text.empty() && !listFolder.empty() && IsRelativePath(name))
        CMessageProviderRSS::ReadFileStart(listFolder + name, readBytes, text);
    outcome.templateMissing = text.empty() && !name.empty();
    outcome.templateTooLarge = text.size() > kMaxTemplateBytes;
    return text.empty() || outcome.templateTooLarge ? kBuiltInTemplate : text;
}

} // namespace

CMessageProviderRSS::CMessageProviderRSS(std::string mailbox, const std::string& password)
    : CMessageProviderRSS(std::move(mailbox), password, Downloader(), kMaxMessageBytes)
{}

CMessageProviderRSS::CMessageProviderRSS(std::string mailbox, const std::string& /*password*/,
                                         Downloader download, std::size_t maxMessageBytes,
                                         std::size_t maxTreeBytes, CByteBudget& allLogins)
    : m_listFile(Trimmed(std::move(mailbox))), m_listIsUsable(CanBeFilePath(m_listFile)),
      m_seenStore(m_listFile), m_download(std::move(download)),
      m_memory(maxTreeBytes, maxMessageBytes, allLogins)
{
    if (!m_download)
        m_copies = std::make_shared<CFeedCopies>(CFeedCopyStore(CFeedCopyStore::DefaultFolder()));
}

ProviderReply CMessageProviderRSS::GetMessages()
{
    std::vector<std::string> urls;
    std::vector<std::string> templates;
    if (m_listIsUsable)
        m_listWasRead = ReadFeedList(m_listFile, urls, templates, &m_outcomes);
    ProviderReply reply;
    if (urls.empty()) {
        reply.response = "+OK no messages\r\n";
        return reply;
    }
    platform::KeepLargeBlocksApart();
    for (FeedOutcome& outcome : m_outcomes)
        outcome.failure = FeedFailure::NoAnswerInTime;
    if (m_download) {
        std::vector<std::string> documents = m_download(urls);
        documents.resize(urls.size());
        std::atomic<std::size_t> next{0};
        RenderFeeds(
            [&](CFeedDownloads::Result& document) {
                document.index = next++;
                if (document.index >= documents.size())
                    return false;
                document.text = std::move(documents[document.index]);
                document.failure.clear();
                document.trace = DownloadTrace();
                document.trace.finalUrl = urls[document.index];
                return true;
            },
            templates);
    } else {
        FeedFetch fetch;
        if (m_copies) {
            m_copies->CleanNowAndThen();
            fetch = [copies = m_copies](const std::string& url, CCancelSignal* cancel,
                                        CByteBudget* budget, DownloadTrace& trace) {
                return copies->Download(url, cancel, budget, trace);
            };
        }
        CFeedDownloads downloads(urls, kDownloadWait, kMaxLoginDownloadBytes, std::move(fetch),
                                 &m_memory.AllLoginsBudget());
        CDocumentsWithCopies documents(downloads, urls, m_copies.get());
        RenderFeeds([&](CFeedDownloads::Result& document) { return documents.TakeNext(document); },
                    templates);
    }
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

void CMessageProviderRSS::CommitDeleted(const MessageList& deleted)
{
    if (m_listWasRead && !m_seenStore.CommitDeleted(deleted) && !deleted.empty())
        throw exception();
}

std::string CMessageProviderRSS::ReadWholeFile(const std::string& path)
{
    std::string text;
    ReadFileStart(path, static_cast<std::size_t>(-1), text);
    return text;
}

bool CMessageProviderRSS::ReadFileStart(const std::string& path, std::size_t maxBytes,
                                        std::string& text)
{
    // Folders, devices and pipes are no lists or templates; a pipe would even block the
    // login for good.
    if (!platform::ReadTrustedFile(path, text, maxBytes, platform::TooLong::KeepStart))
        return false;
    if (text.compare(0, 3, kByteOrderMark) == 0)
        text.erase(0, 3);
    return true;
}

bool CMessageProviderRSS::ReadFeedList(const std::string& listFile, std::vector<std::string>& urls,
                                       std::vector<std::string>& templates,
                                       std::vector<FeedOutcome>* outcomes, std::size_t maxFeeds)
{
    // One byte more than a list may have tells whether the file goes on; if so, the line
    // the limit cuts is dropped with everything after it.
    std::string text;
    if (!ReadFileStart(listFile, kMaxListBytes + 1, text))
        return false;
    if (text.size() > kMaxListBytes) {
        const std::size_t lastEnd = text.rfind('\n', kMaxListBytes - 1);
        text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    }
    const std::string listFolder = FolderOf(listFile);
    std::size_t start = 0;
    while (start < text.size() && urls.size() < maxFeeds) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        TrimLeft(line);
        TrimRight(line);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t separator = line.find(';');
        FeedOutcome outcome;
        if (separator == std::string::npos) {
            urls.push_back(line);
            templates.push_back(kBuiltInTemplate);
        } else {
            std::string url = line.substr(0, separator);
            outcome.templateName = line.substr(separator + 1);
            TrimRight(url);
            TrimLeft(outcome.templateName);
            urls.push_back(url);
            templates.push_back(ReadTemplate(outcome.templateName, listFolder, outcome));
        }
        if (outcomes != nullptr) {
            outcome.url = urls.back();
            outcomes->push_back(std::move(outcome));
        }
    }
    return true;
}

void CMessageProviderRSS::RenderDocument(CFeedDownloads::Result& document,
                                         const std::string& templateText, MessageList& messages)
{
    FeedOutcome& outcome = m_outcomes[document.index];
    // The copy to keep exists beside the document until the document proves to be a feed.
    CByteCharge copyCharge(&m_memory.AllLoginsBudget());
    const std::string prepared =
        m_copies ? m_copies->Prepare(outcome.url, document.trace, document.text, copyCharge)
                 : std::string();
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
        messages = ReadFeedDocument(std::move(document.text), templateText, outcome.finalUrl,
                                    m_memory, outcome, m_locateParseErrors);
        if (!m_copies || !answered || attempt > 0)
            return;
        if (IsFeed(outcome)) {
            m_copies->Keep(outcome.url, prepared);
            return;
        }
        // A server that answers with something else than its feed (a web page of a portal or
        // of an error) has not removed the feed's items: its copy serves instead.
        DownloadTrace trace;
        if (!m_copies->Fallback(outcome.url, kNoFeedAnyMore, trace, document.text))
            return;
        outcome.copyUse = trace.copyUse;
        outcome.copyAgeSeconds = trace.copyAgeSeconds;
        outcome.fallbackReason = std::move(trace.fallbackReason);
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
