#pragma once

#include "http/HTTPGet.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// How long the downloads of one feed list are waited for.
constexpr std::chrono::seconds kDownloadWait{45};
// The failure of a download that the end of the wait cut off.
constexpr char kNoAnswerInTime[] = "no answer within the wait";

// The most bytes the downloads of one feed list receive in all; a download that would pass it
// fails. Sixty feeds at the largest response a download accepts would be far more.
constexpr std::size_t kMaxLoginDownloadBytes = 64 * 1024 * 1024;

class CByteBudget;
class CCancelSignal;
class CDownloadWorker;
class CDownloadCompletion;

// What a download thread does for one URL: DownloadFeed, or a caller's own way that uses it
// (keeping copies, say). Called on the download threads, several at once, possibly after the
// CFeedDownloads that started them is gone: it must hold what it uses.
using FeedFetch = std::function<std::string(const std::string& url, CCancelSignal* cancel,
                                            CByteBudget* budget, DownloadTrace& trace)>;

// The bytes one feed's downloads may take of the list's budget: the larger of the largest
// response and an even share.
std::size_t FeedShareBytes(std::size_t budgetBytes, std::size_t feeds);

// The downloads of one feed list: every URL at once, one thread each, following
// redirections, all cut off when the wait ends. The downloads of one URL take at most
// FeedShareBytes of the list's byte budget, so that no feed can starve the others. Each document is
// handed out as soon as its download ends, so that callers can work on the first documents while
// later ones still arrive; several threads may take documents at once. Callers pass at most 60
// URLs, and several lists may be downloaded at once.
//
// The destructor cancels the downloads still running and gives them at most half a second to
// let go of their connections; a download that takes longer (only name resolution cannot be
// interrupted) is left to end on its own and touches nothing released.
class CFeedDownloads
{
public:
    // One URL's outcome: its index in the URL list, the document (empty when the download
    // failed), when it failed, why, and what the download went through. A download the end
    // of the wait cut off is not in time: no document, kNoAnswerInTime as its failure, and a
    // cancelled trace.
    struct Result
    {
        std::size_t index = 0;
        std::string text;
        std::string failure;
        DownloadTrace trace;
        bool inTime = true;
    };

    // Starts the downloads, each through `fetch` (DownloadFeed when empty). Never throws once a
    // download thread runs: a thread that cannot be created is a download that failed. The
    // bytes received are drawn from `sharedBudget` as well, when given (one that all logins
    // of the process share), until the last download has let go of them; it must outlive
    // every download, also those left running past this object. The wait is measured on
    // `clock`, which must outlive this object (the downloads stop reading it when it goes).
    explicit CFeedDownloads(const std::vector<std::string>& urls,
                            std::chrono::milliseconds wait = kDownloadWait,
                            std::size_t budgetBytes = kMaxLoginDownloadBytes,
                            FeedFetch fetch = FeedFetch(), CByteBudget* sharedBudget = nullptr,
                            const platform::IClock& clock = platform::SteadyClock());
    ~CFeedDownloads();
    CFeedDownloads(const CFeedDownloads&) = delete;
    CFeedDownloads& operator=(const CFeedDownloads&) = delete;

    // Waits for a download that has ended and not been handed out yet, and hands it out. Once
    // the wait is over, the downloads that have not ended by then are cancelled, and handed
    // out as cut off, one each, in URL order; what they still receive is dropped. False once
    // every URL has been handed out.
    bool TakeNext(Result& document);

private:
    void CancelAll();

    std::vector<std::shared_ptr<CDownloadWorker>> m_workers;
    std::shared_ptr<CDownloadCompletion> m_completion;
};
