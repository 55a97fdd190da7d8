#include "http/DownloadAll.h"

#include "http/CancelSignal.h"
#include "http/HTTPGet.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// How long DownloadAll gives cancelled downloads to notice before it leaves them behind. Only
// a thread stuck in name resolution, which nothing can interrupt, takes longer.
constexpr int kCancelGraceMilliseconds = 500;

// Counts the ended downloads of one DownloadAll call and wakes the caller at each end.
struct DownloadCompletion
{
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_ended = 0;
};

} // namespace

// Guards every worker's result and abandonment flag, in every fetch of the process. Held only
// while a download thread stores its own result and while DownloadAll collects all results.
std::mutex g_downloadLock;

namespace {

// The record that the calling thread and one download thread share. Both hold it, so it lives
// until the later of the two lets go: a download left running past the wait never touches
// anything released.
class DownloadWorker : public std::enable_shared_from_this<DownloadWorker>
{
public:
    explicit DownloadWorker(std::shared_ptr<DownloadCompletion> completion)
        : m_lock(nullptr), m_completion(std::move(completion))
    {}

    // Starts the download thread. Returns false when no thread could be created (for want of
    // resources or memory); the worker then counts as ended with an empty result.
    bool Start(const std::string& url, std::mutex* lock);

    // Collects the result; a result stored later is dropped. Called under the lock.
    std::string TakeResult()
    {
        m_abandoned = true;
        return std::move(m_result);
    }

    bool HasEnded()
    {
        std::lock_guard<std::mutex> guard(m_completion->m_mutex);
        return m_ended;
    }

    std::thread m_thread;
    std::string m_result;
    std::string m_url;
    std::mutex* m_lock;
    CCancelSignal m_cancel;

private:
    static void WorkerThread(std::shared_ptr<DownloadWorker> worker);
    void MarkEnded();

    bool m_abandoned = false; // guarded by *m_lock
    bool m_ended = false;     // guarded by the completion's mutex
    std::shared_ptr<DownloadCompletion> m_completion;
};

bool DownloadWorker::Start(const std::string& url, std::mutex* lock)
{
    m_lock = lock;
    try {
        m_url = url;
        m_thread = std::thread(WorkerThread, shared_from_this());
        return true;
    } catch (const std::exception&) {
        MarkEnded();
        return false;
    }
}

void DownloadWorker::WorkerThread(std::shared_ptr<DownloadWorker> worker)
{
    std::string result;
    try {
        // DownloadFeed takes its own copy of the URL, inside the guard like everything else.
        result = DownloadFeed(worker->m_url, &worker->m_cancel);
    } catch (...) {
        // Every failure, out of memory included, is an empty document: nothing may escape a
        // thread of the host's process.
        result.clear();
    }
    {
        std::lock_guard<std::mutex> guard(*worker->m_lock);
        if (!worker->m_abandoned)
            worker->m_result = std::move(result);
    }
    worker->MarkEnded();
}

void DownloadWorker::MarkEnded()
{
    std::lock_guard<std::mutex> guard(m_completion->m_mutex);
    m_ended = true;
    ++m_completion->m_ended;
    m_completion->m_changed.notify_all();
}

// Waits until `count` downloads have ended or the time is up.
void WaitForDownloads(DownloadCompletion& completion, std::size_t count, int milliseconds)
{
    std::unique_lock<std::mutex> lock(completion.m_mutex);
    completion.m_changed.wait_for(lock,
                                  std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                                  [&] { return completion.m_ended >= count; });
}

} // namespace

std::vector<std::string> DownloadAll(const std::vector<std::string>& urls, int waitMilliseconds)
{
    const std::size_t count = urls.size();
    // Everything that can fail for want of memory comes before the first thread starts.
    std::vector<std::string> results(count);
    const auto completion = std::make_shared<DownloadCompletion>();
    std::vector<std::shared_ptr<DownloadWorker>> workers;
    workers.reserve(count);
    for (std::size_t index = 0; index < count; ++index)
        workers.push_back(std::make_shared<DownloadWorker>(completion));
    for (std::size_t index = 0; index < count; ++index)
        workers[index]->Start(urls[index], &g_downloadLock);

    WaitForDownloads(*completion, count, waitMilliseconds);

    {
        std::lock_guard<std::mutex> guard(g_downloadLock);
        for (std::size_t index = 0; index < count; ++index)
            results[index] = workers[index]->TakeResult();
    }

    // Whatever still runs is cut off now, so that no connection outlives the call; the threads
    // that end within the grace time are joined, the rest are left to end on their own.
    for (const std::shared_ptr<DownloadWorker>& worker : workers)
        worker->m_cancel.Cancel();
    WaitForDownloads(*completion, count, kCancelGraceMilliseconds);
    for (const std::shared_ptr<DownloadWorker>& worker : workers) {
        if (!worker->m_thread.joinable())
            continue;
        if (worker->HasEnded())
            worker->m_thread.join();
        else
            worker->m_thread.detach();
    }
    return results;
}
