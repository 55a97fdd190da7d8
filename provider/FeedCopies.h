#pragma once

#include "http/FeedDownloads.h"
#include "platform/File.h"
#include "provider/FeedCopyStore.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CByteBudget;
class CCancelSignal;

// How the logins of the process use the copies of feeds (CFeedCopyStore) around their
// downloads, so that a feed server's bad minute costs no messages and an unchanged feed
// costs its server next to nothing:
//
// - Download asks with the copy's validators (If-None-Match, If-Modified-Since), and a 304
//   serves the copy; it does not ask at all while the copy's quiet time lasts (Retry-After
//   of a 429 or 503, max-age of a 200 or 304); a failed download (no connection, no name,
//   TLS, a 5xx, 429, 401 or 403) serves a copy up to 30 days old, a 404 or 410 one up to 7
//   days old, a copy's age counting from the last answer that gave or confirmed it.
// - A 200 whose body turns out to be a feed replaces the copy (Prepare, committed once it
//   proved to be a feed); one whose body is no feed any more serves the copy instead
//   (Fallback), as does a download that gave nothing within the login's wait; a feed that has
//   no items any more serves a copy up to 7 days old, and replaces it once there is none that
//   young.
//
// Shared by a login and its download threads, which may outlive it. Safe from several threads
// at once; nothing here throws except on exhaustion of memory, and Download what DownloadFeed
// throws.
class CFeedCopies
{
public:
    static constexpr std::chrono::seconds kMaxFallbackAge = std::chrono::hours(30 * 24);
    static constexpr std::chrono::seconds kMaxGoneFallbackAge = std::chrono::hours(7 * 24);
    // A copy that a 200 answer repeats byte for byte, or a 304 confirms, is rewritten at most
    // this often (sooner for a new quiet time); in between, the confirmation is stamped.
    static constexpr std::chrono::seconds kRewriteUnchangedEvery = std::chrono::hours(24);
    // A confirmation is stamped at most this often: logins in quick succession write nothing,
    // and the fallback days still count from within a minute of the last confirmation.
    static constexpr std::chrono::seconds kStampConfirmationEvery = std::chrono::minutes(1);
    // Old copies are looked for at most this often by one process.
    static constexpr std::chrono::seconds kCleanInterval = std::chrono::hours(1);

    explicit CFeedCopies(CFeedCopyStore store) : m_store(std::move(store)) {}

    const CFeedCopyStore& Store() const { return m_store; }

    // A FeedFetch: the document of `url`, from its server or from its copy, as above. The
    // trace tells which and why.
    std::string Download(const std::string& url, CCancelSignal* cancel, CByteBudget* budget,
                         DownloadTrace& trace) const;

    // The copy file for a fresh 200 answer to `url` with `body`, written beside its place
    // while the body is as received, so that no second copy of the body is held while the
    // document is read: committed once the body proved to be a feed, it replaces the copy
    // kept; left uncommitted, it is removed. Nothing is written when the answer was anything
    // else, or repeats the copy kept, or the write failed: a feed is served all the same,
    // only not kept.
    platform::CFileReplacement Prepare(const std::string& url, const DownloadTrace& trace,
                                       const std::string& body) const;

    // The copy of `url` for a download that gave no feed (`reason` says why): true, with the
    // body in `body` and the trace telling of the fallback, when a copy of at most `maxAge`
    // serves.
    bool Fallback(const std::string& url, const std::string& reason, DownloadTrace& trace,
                  std::string& body, std::chrono::seconds maxAge = kMaxFallbackAge) const;

    // CFeedCopyStore::Clean, when this process has not cleaned for kCleanInterval.
    void CleanNowAndThen() const;

private:
    // Serves `copy` for a download that gave nothing: true when the copy is young enough.
    bool Serve(FeedCopy& copy, CopyUse use, const std::string& reason, std::chrono::seconds maxAge,
               DownloadTrace& trace, std::string& body) const;

    CFeedCopyStore m_store;
};

// The documents of a login's downloads as CFeedDownloads hands them out, a download that the
// end of the wait cut off replaced by its feed's copy when one serves (CFeedCopies::Fallback).
// Holds no state of its own: several threads may take documents at once.
class CDocumentsWithCopies
{
public:
    // All three must outlive the object; `copies` may be null (no copies: nothing for the
    // feeds without an answer).
    CDocumentsWithCopies(CFeedDownloads& downloads, const std::vector<std::string>& urls,
                         const CFeedCopies* copies);

    bool TakeNext(CFeedDownloads::Result& document);

private:
    CFeedDownloads& m_downloads;
    const std::vector<std::string>& m_urls;
    const CFeedCopies* m_copies;
};
