#include "http/FeedDownloads.h"

#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "http/FeedDownloadsInternal.h"
#include "http/HTTPGet.h"
#include "platform/Thread.h"

#include <algorithm>

namespace {

// How long cancelled downloads are given to notice before they are left behind. Only a thread
// stuck in name resolution, which nothing can interrupt, takes longer.
constexpr std::chrono::milliseconds kCancelGrace{500};

} // namespace

// What the downloads of one list share with the threads that take their documents: the
// downloads that ended in time, in the order they ended, and the list's byte budget. Shared
// by every worker, so that a download left running past the end touches nothing released.
// Its state is its two partners' alone: the downloads that record their ends in it, and the
// list that hands the documents out.
class CDownloadCompletion
{
public:
    CDownloadCompletion(std::size_t downloads, const platform::IClock& clock,
                        std::chrono::milliseconds wait, std::size_t budgetBytes,
                        std::size_t shareBytes, FeedFetch fetch, CByteBudget* sharedBudget)
        : m_clock(clock), m_deadline(clock.Now() + wait), m_budgetBytes(budgetBytes),
          m_sharedBudget(sharedBudget), m_budget(budgetBytes, sharedBudget),
          m_shareBytes(shareBytes), m_fetch(std::move(fetch))
    {
        m_endedInTime.reserve(downloads);
        m_handedOutIndexes.resize(downloads, false);
    }
    // Every download has let go by now, and the documents with it: what the list's budget
    // took of the shared one goes back.
    ~CDownloadCompletion()
    {
        if (m_sharedBudget != nullptr)
            m_sharedBudget->Give(m_budgetBytes - m_budget.Left());
    }
    CDownloadCompletion(const CDownloadCompletion&) = delete;
    CDownloadCompletion& operator=(const CDownloadCompletion&) = delete;

private:
    friend class CDownloadWorker;
    friend class CFeedDownloads;

    // Whether an ended download waits to be handed out.
    bool HasWaiting() const REQUIRES(m_lock) { return m_handedOut < m_endedInTime.size(); }

    // Read only until m_closed: the list that owns the clock closes before it goes.
    const platform::IClock& m_clock;
    const platform::IClock::TimePoint m_deadline;
    platform::CLock m_lock;
    platform::CCondition m_changed;
    std::size_t m_ended GUARDED_BY(m_lock) = 0;
    // Indexes of the downloads that ended before the wait was over, in the order they
    // ended; the first m_handedOut of them have been handed out. Room for every download is
    // made at the start, so that recording an end never allocates.
    std::vector<std::size_t> m_endedInTime GUARDED_BY(m_lock);
    std::size_t m_handedOut GUARDED_BY(m_lock) = 0;
    bool m_closed GUARDED_BY(m_lock) = false; // no later end is handed out
    // Which downloads have been handed out, in time or cut off, and the first that may not
    // have been once the wait is over.
    std::vector<bool> m_handedOutIndexes GUARDED_BY(m_lock);
    std::size_t m_nextCutOff GUARDED_BY(m_lock) = 0;
    const std::size_t m_budgetBytes;
    CByteBudget* const m_sharedBudget;
    CByteBudget m_budget;
    const std::size_t m_shareBytes; // of m_budget, for each URL
    const FeedFetch m_fetch;        // empty: DownloadFeed
};

// Guards every worker's result and abandonment flag, in every fetch of the process. Held only
// while a download thread stores its own result and while a document is handed out. Never
// destroyed: a download left running may still store its result while the process ends.
platform::CLock& g_downloadLock = *new platform::CLock;

// The record that the taking threads and one download thread share. Both hold it, so it
// lives until the later of the two lets go.
class CDownloadWorker : public std::enable_shared_from_this<CDownloadWorker>
{
public:
    CDownloadWorker(std::size_t index, std::shared_ptr<CDownloadCompletion> completion)
        : m_index(index), m_completion(std::move(completion))
    {}

    // Starts the download thread. Returns false when no thread could be created (for want of
    // resources or memory); the worker then counts as ended, with a failure.
    bool Start(const std::string& url);

    // Collects the result; a result stored later is dropped.
    void TakeResult(CFeedDownloads::Result& document) REQUIRES(g_downloadLock)
    {
        m_abandoned = true;
        document.index = m_index;
        document.text = std::move(m_result);
        document.failure = std::move(m_failure);
        document.trace = std::move(m_trace);
    }

    bool HasEnded()
    {
        platform::CLockHolder holder(m_completion->m_lock);
        return m_ended;
    }

    platform::CThread m_thread;
    std::string m_url;
    CCancelSignal m_cancel;

private:
    static void WorkerThread(std::shared_ptr<CDownloadWorker> worker);
    void MarkEnded();

    const std::size_t m_index;
    std::string m_result GUARDED_BY(g_downloadLock);
    std::string m_failure GUARDED_BY(g_downloadLock);
    DownloadTrace m_trace GUARDED_BY(g_downloadLock);
    bool m_abandoned GUARDED_BY(g_downloadLock) = false;
    const std::shared_ptr<CDownloadCompletion> m_completion;
    bool m_ended GUARDED_BY(m_completion->m_lock) = false;
};

bool CDownloadWorker::Start(const std::string& url)
{
    try {
        m_url = url;
        if (m_thread.Start([worker = shared_from_this()] { WorkerThread(worker); }))
            return true;
    } catch (const std::exception&) {
        // No memory for the URL or the thread's function: as if there were no thread.
    }
    {
        platform::CLockHolder holder(g_downloadLock);
        m_failure = "no thread for the download";
    }
    MarkEnded();
    return false;
}

void CDownloadWorker::WorkerThread(std::shared_ptr<CDownloadWorker> worker)
{
    std::string result;
    const char* failure = nullptr;
    DownloadTrace trace;
    try {
        // The fetch takes its own copy of the URL, inside the guard like everything else.
        CDownloadCompletion& completion = *worker->m_completion;
        CByteBudget share(completion.m_shareBytes, &completion.m_budget);
        if (completion.m_fetch)
            result = completion.m_fetch(worker->m_url, &worker->m_cancel, &share, trace);
        else
            result = DownloadFeed(worker->m_url, &worker->m_cancel, &share, &trace);
    } catch (const std::exception& error) {
        // Every failure, out of memory included, is an empty document: nothing may escape a
        // thread of the host's process. The texts are the exceptions' own constants.
        result.clear();
        failure = error.what();
    } catch (...) {
        result.clear();
        failure = "download failed";
    }
    {
        platform::CLockHolder holder(g_downloadLock);
        if (!worker->m_abandoned) {
            worker->m_result = std::move(result);
            worker->m_trace = std::move(trace);
            try {
                worker->m_failure = failure == nullptr ? "" : failure;
            } catch (...) {
                // No memory for the text: the empty document says enough.
            }
        }
    }
    worker->MarkEnded();
}

void CDownloadWorker::MarkEnded()
{
    platform::CLockHolder holder(m_completion->m_lock);
    m_ended = true;
    ++m_completion->m_ended;
    if (!m_completion->m_closed && m_completion->m_clock.Now() <= m_completion->m_deadline)
        m_completion->m_endedInTime.push_back(m_index);
    m_completion->m_changed.WakeAll();
}

std::size_t FeedShareBytes(std::size_t budgetBytes, std::size_t feeds)
{
    return std::max(kMaxResponseBytes, budgetBytes / std::max<std::size_t>(feeds, 1));
}

CFeedDownloads::CFeedDownloads(const std::vector<std::string>& urls, std::chrono::milliseconds wait,
                               std::size_t budgetBytes, FeedFetch fetch, CByteBudget* sharedBudget,
                               const platform::IClock& clock)
    : m_completion(std::make_shared<CDownloadCompletion>(
          urls.size(), clock, std::max(wait, std::chrono::milliseconds::zero()), budgetBytes,
          FeedShareBytes(budgetBytes, urls.size()), std::move(fetch), sharedBudget))
{
    // Everything that can fail for want of memory comes before the first thread starts.
    const std::size_t count = urls.size();
    m_workers.reserve(count);
    for (std::size_t index = 0; index < count; ++index)
        m_workers.push_back(std::make_shared<CDownloadWorker>(index, m_completion));
    for (std::size_t index = 0; index < count; ++index)
        m_workers[index]->Start(urls[index]);
}

bool CFeedDownloads::TakeNext(Result& document)
{
    std::size_t index = 0;
    bool taken = false;
    bool cutOff = false;
    {
        CDownloadCompletion& completion = *m_completion;
        platform::CLockHolder holder(completion.m_lock);
        completion.m_changed.WaitUntil(completion.m_lock, completion.m_clock, completion.m_deadline,
                                       [&]() REQUIRES(completion.m_lock) {
                                           return completion.HasWaiting() ||
                                                  completion.m_handedOut == m_workers.size();
                                       });
        taken = completion.HasWaiting();
        if (taken) {
            index = completion.m_endedInTime[completion.m_handedOut++];
        } else {
            // Everything handed out, or the wait is over: what still runs is cut off now, so
            // that no connection outlives the wait.
            cutOff = !completion.m_closed && completion.m_ended < m_workers.size();
            completion.m_closed = true;
            while (completion.m_nextCutOff < m_workers.size() &&
                   completion.m_handedOutIndexes[completion.m_nextCutOff])
                ++completion.m_nextCutOff;
            if (completion.m_nextCutOff == m_workers.size()) {
                document = Result();
                return false;
            }
            index = completion.m_nextCutOff;
        }
        completion.m_handedOutIndexes[index] = true;
    }
    if (cutOff)
        CancelAll();
    if (!taken) {
        document = Result();
        document.index = index;
        document.failure = kNoAnswerInTime;
        document.trace.cancelled = true;
        document.inTime = false;
        return true;
    }
    platform::CLockHolder holder(g_downloadLock);
    m_workers[index]->TakeResult(document);
    return true;
}

void CFeedDownloads::CancelAll()
{
    for (const std::shared_ptr<CDownloadWorker>& worker : m_workers)
        worker->m_cancel.Cancel();
}

CFeedDownloads::~CFeedDownloads()
{
    {
        platform::CLockHolder holder(m_completion->m_lock);
        m_completion->m_closed = true;
    }
    {
        // Results that were never taken are dropped, and later ones are never stored.
        platform::CLockHolder holder(g_downloadLock);
        Result dropped;
        for (const std::shared_ptr<CDownloadWorker>& worker : m_workers)
            worker->TakeResult(dropped);
    }
    CancelAll();
    {
        platform::CLockHolder holder(m_completion->m_lock);
        m_completion->m_changed.WaitFor(m_completion->m_lock, kCancelGrace,
                                        [&]() REQUIRES(m_completion->m_lock) {
                                            return m_completion->m_ended >= m_workers.size();
                                        });
    }
    // The threads that ended within the grace time are joined, the rest are left to end on
    // their own.
    for (const std::shared_ptr<CDownloadWorker>& worker : m_workers) {
        if (worker->HasEnded())
            worker->m_thread.Join();
        else
            worker->m_thread.Detach();
    }
}

std::vector<std::string> DownloadAll(const std::vector<std::string>& urls,
                                     std::chrono::milliseconds wait)
{
    std::vector<std::string> results(urls.size());
    CFeedDownloads downloads(urls, wait);
    CFeedDownloads::Result document;
    while (downloads.TakeNext(document))
        results[document.index] = std::move(document.text);
    return results;
}
