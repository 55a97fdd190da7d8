#include "provider/FeedCopies.h"

#include "http/ByteBudget.h"
#include "http/CachingRules.h"
#include "http/HTTPGet.h"
#include "http/HTTPResponse.h"

#include <algorithm>
#include <atomic>

namespace {

// When the process last looked for old copies, for every store alike.
std::atomic<platform::WallTime> g_lastClean{platform::WallTime()};

// Takes the memory of reading `copy` whole from the download's budget, when it has one: a copy
// that serves is the download's document, and draws on the budget as the answer would have.
bool TakeCopyBytes(CByteBudget* budget, const FeedCopy& copy)
{
    return budget == nullptr || (copy.bodyBytes >= 0 &&
                                 static_cast<std::uint64_t>(copy.bodyBytes) <= kMaxResponseBytes &&
                                 budget->Take(static_cast<std::size_t>(copy.bodyBytes) +
                                              CFeedCopyStore::kMaxHeaderBytes));
}

// A server that fails, is busy or refuses for now (a password it wants, a bot wall) has not
// removed the feed's items.
bool IsServerFailure(const std::string& status)
{
    return (status.size() == 3 && status[0] == '5') || status == "429" || status == "401" ||
           status == "403";
}

bool IsGone(const std::string& status)
{
    return status == "404" || status == "410";
}

} // namespace

std::string CFeedCopies::Download(const std::string& url, CCancelSignal* cancel,
                                  CByteBudget* budget, DownloadTrace& trace) const
{
    // The validators come from the copy's first lines; its body is read (and checked) only
    // when it is to serve.
    FeedCopy copy;
    const bool haveCopy = m_store.ReadHeader(url, copy);
    const auto serve = [&](CopyUse use, const std::string& reason, std::chrono::seconds maxAge,
                           std::string& body) {
        return TakeCopyBytes(budget, copy) && m_store.Read(url, copy) &&
               Serve(copy, use, reason, maxAge, trace, body);
    };
    const platform::WallTime now = m_store.Now();
    std::string body;
    if (haveCopy && now < copy.quietUntil &&
        serve(CopyUse::Quiet, std::string(), kMaxFallbackAge, body))
        return body;
    const RequestValidators validators{copy.etag, copy.lastModified, copy.finalUrl};
    try {
        body = DownloadFeed(url, cancel, budget, &trace, haveCopy ? &validators : nullptr);
    } catch (const std::exception& error) {
        if (haveCopy && serve(CopyUse::Fallback, error.what(), kMaxFallbackAge, body))
            return body;
        throw;
    }
    const std::string status = trace.status;
    if (!haveCopy)
        return body;
    if (status == "304") {
        if (!TakeCopyBytes(budget, copy) || !m_store.Read(url, copy)) {
            // The copy the validators came from is damaged, or there is no memory left to read
            // it: the server is asked again, for the whole document.
            trace = DownloadTrace();
            return DownloadFeed(url, cancel, budget, &trace);
        }
        // Confirmed, the copy is rewritten only for a new quiet time, or once a day to keep
        // the time of its file right for cleaning; else the confirmation is only stamped.
        const platform::WallTime quiet = QuietUntil(trace.headers, now);
        if (quiet != std::max(copy.quietUntil, now) ||
            now - copy.fetched >= kRewriteUnchangedEvery) {
            copy.fetched = now;
            copy.quietUntil = quiet;
            m_store.Write(copy);
        } else if (now - copy.confirmed >= kStampConfirmationEvery) {
            m_store.Confirm(copy, now);
        }
        copy.confirmed = now;
        Serve(copy, CopyUse::Unchanged, std::string(), kMaxFallbackAge, trace, body);
    } else if (IsServerFailure(status)) {
        std::string copyBody;
        if (serve(CopyUse::Fallback, trace.refusal, kMaxFallbackAge, copyBody)) {
            body = std::move(copyBody);
            const platform::WallTime quiet = QuietUntil(trace.headers, now);
            if (quiet > copy.quietUntil) {
                copy.quietUntil = quiet;
                // The body moves through the copy to be written, and back.
                copy.body = std::move(body);
                m_store.Write(copy);
                body = std::move(copy.body);
            }
        }
    } else if (IsGone(status)) {
        std::string copyBody;
        if (serve(CopyUse::Fallback, trace.refusal, kMaxGoneFallbackAge, copyBody))
            body = std::move(copyBody);
    }
    return body;
}

bool CFeedCopies::Serve(FeedCopy& copy, CopyUse use, const std::string& reason,
                        std::chrono::seconds maxAge, DownloadTrace& trace, std::string& body) const
{
    const std::chrono::seconds age = m_store.Now() - copy.confirmed;
    if (age > maxAge)
        return false;
    trace.copyUse = use;
    trace.copyAge = std::max(age, std::chrono::seconds(0));
    trace.fallbackReason = reason;
    if (trace.finalUrl.empty())
        trace.finalUrl = copy.finalUrl;
    body = std::move(copy.body);
    return true;
}

platform::CFileReplacement CFeedCopies::Prepare(const std::string& url, const DownloadTrace& trace,
                                                const std::string& body) const
{
    platform::CFileReplacement replacement;
    if (m_store.Folder().empty() || trace.copyUse != CopyUse::None || trace.status != "200" ||
        body.empty())
        return replacement;
    FeedCopy copy;
    copy.url = url;
    copy.finalUrl = trace.finalUrl;
    copy.etag = GetHeader(trace.headers, "etag");
    copy.lastModified = GetHeader(trace.headers, "last-modified");
    copy.fetched = m_store.Now();
    copy.quietUntil = QuietUntil(trace.headers, copy.fetched);
    // A server without validators sends the same body again and again: a copy that says all
    // this already is rewritten only once a day, and confirmed by a stamp in between.
    FeedCopy kept;
    if (m_store.ReadHeader(url, kept) && kept.finalUrl == copy.finalUrl && kept.etag == copy.etag &&
        kept.lastModified == copy.lastModified && kept.quietUntil <= copy.fetched &&
        copy.quietUntil == copy.fetched && copy.fetched - kept.fetched < kRewriteUnchangedEvery &&
        kept.bodyBytes == static_cast<std::int64_t>(body.size()) &&
        kept.checksum == CFeedCopyStore::Checksum(body)) {
        if (copy.fetched - kept.confirmed >= kStampConfirmationEvery)
            m_store.Confirm(kept, copy.fetched);
        return replacement;
    }
    m_store.WriteAside(copy, body, replacement);
    return replacement;
}

bool CFeedCopies::Fallback(const std::string& url, const std::string& reason, DownloadTrace& trace,
                           std::string& body, std::chrono::seconds maxAge) const
{
    FeedCopy copy;
    return m_store.Read(url, copy) && Serve(copy, CopyUse::Fallback, reason, maxAge, trace, body);
}

void CFeedCopies::CleanNowAndThen() const
{
    const platform::WallTime now = m_store.Now();
    platform::WallTime last = g_lastClean.load();
    if (now - last < kCleanInterval && now >= last)
        return;
    if (g_lastClean.compare_exchange_strong(last, now))
        m_store.Clean();
}

CDocumentsWithCopies::CDocumentsWithCopies(CFeedDownloads& downloads,
                                           const std::vector<std::string>& urls,
                                           const CFeedCopies* copies)
    : m_downloads(downloads), m_urls(urls), m_copies(copies)
{}

bool CDocumentsWithCopies::TakeNext(CFeedDownloads::Result& document)
{
    if (!m_downloads.TakeNext(document))
        return false;
    if (!document.inTime && m_copies != nullptr &&
        m_copies->Fallback(m_urls[document.index], kNoAnswerInTime, document.trace,
                           document.text)) {
        document.failure.clear();
        document.trace.cancelled = false;
    }
    return true;
}
