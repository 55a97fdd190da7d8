#pragma once

#include "platform/Clock.h"
#include "platform/File.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// The last good answer of one feed URL, as a login keeps it.
struct FeedCopy
{
    std::string url;
    // The URL that gave the body, after redirections.
    std::string finalUrl;
    // The validators exactly as the server sent them; empty when it sent none.
    std::string etag;
    std::string lastModified;
    // When the server last gave the body, or confirmed it when the copy was written.
    platform::WallTime fetched;
    // When the server last gave or confirmed the body: `fetched`, or later when a confirmation
    // since was stamped beside the copy (CFeedCopyStore::Confirm). Read only, never written
    // into the copy's file.
    platform::WallTime confirmed;
    // No request for the feed before this time (Retry-After, max-age); 1970 for none.
    platform::WallTime quietUntil;
    // The body as received, after decoding and before any conversion; its size and
    // checksum as the file states them.
    std::string body;
    std::int64_t bodyBytes = -1;
    std::string checksum;
};

// The copies of feeds, one file per feed URL in one folder (the user's cache folder, under
// "quillbox"), shared by every feed list and every login of the user. A file is named by a
// 64-bit FNV-1a digest of its URL in hexadecimal, with ".copy" after it, and holds
//
//     QUILLBOX feed copy 1            the magic line
//     url: <URL>
//     final-url: <URL>
//     etag: <value>                   empty when none came
//     last-modified: <value>          empty when none came
//     fetched: <seconds since 1970-01-01 UTC>
//     quiet-until: <seconds since 1970-01-01 UTC>
//     body-bytes: <decimal>
//     checksum: <CRC-32 of the body, 8 hexadecimal digits>
//                                     an empty line
//     <the body, byte for byte>
//
// with every line ended by LF. A server that confirms a copy (a 304, or a 200 that repeats it)
// does not have it rewritten each time: the time of the confirmation goes into a stamp beside
// it, named as the copy with ".confirmed" for ".copy", which holds
//
//     QUILLBOX feed copy confirmed 1
//     url: <URL>
//     fetched: <seconds>              those of the copy it confirms
//     checksum: <checksum>
//     confirmed: <seconds>
//
// and counts only for the copy whose lines it repeats, so that a copy written since, by this
// version or an older one, is never taken for confirmed. A file is replaced whole
// (platform::CFileReplacement), so a reader finds the old copy or the new one; several logins may
// read and write at once, and the last writer wins. A file that does not read back whole
// (truncated, damaged, of another URL or format) is no copy, and a stamp that does not is no
// confirmation. Files go when Clean finds them unused for 30 days or finds more than 256 MB of
// copies, least recently written first; a stamp goes with its copy.
//
// The object holds the folder and the clock only; safe from several threads at once. Nothing
// here throws except on exhaustion of memory.
class CFeedCopyStore
{
public:
    static constexpr std::chrono::seconds kMaxUnused = std::chrono::hours(30 * 24);
    static constexpr std::uint64_t kMaxTotalBytes = 256 * 1024 * 1024;
    // The most the lines before a copy's body may take.
    static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

    // `folder` empty: a store that keeps nothing. `clock` must outlive the store; its wall
    // time dates the copies.
    explicit CFeedCopyStore(std::string folder,
                            const platform::IClock& clock = platform::SteadyClock());

    // "quillbox" in the user's cache folder; empty when the user has none.
    static std::string DefaultFolder();

    platform::WallTime Now() const { return m_clock->WallNow(); }
    const std::string& Folder() const { return m_folder; }
    std::string FileName(const std::string& url) const;
    // Whether `text` begins the way a copy's file does, wherever the file lies: what follows
    // is what a server sent, so such a file is never read as a feed list or a template.
    static bool IsCopy(const std::string& text);

    // The copy of `url`, with its `confirmed` time; false when there is none that reads back
    // whole.
    bool Read(const std::string& url, FeedCopy& copy) const;
    // The lines before the body alone (no body, and the body unchecked), and the `confirmed`
    // time: false when there is no copy of `url` or they do not read as a copy's.
    bool ReadHeader(const std::string& url, FeedCopy& copy) const;
    // Stores `copy` over the one before; false when it could not be written.
    bool Write(const FeedCopy& copy) const;
    // Write in two steps: the file of `copy` with `body` (a body held elsewhere than in
    // `copy`) is written beside its place into `replacement` at once, and goes in place when
    // the caller commits it. False when it could not be written.
    bool WriteAside(const FeedCopy& copy, const std::string& body,
                    platform::CFileReplacement& replacement) const;
    // Stamps that the server confirmed `copy` (as ReadHeader or Read gave it) at `when`,
    // without rewriting it; false when the stamp could not be written.
    bool Confirm(const FeedCopy& copy, platform::WallTime when) const;
    // The checksum a copy of `body` states.
    static std::string Checksum(const std::string& body);

    // Removes the copies unused for kMaxUnused, then the least recently written until
    // the rest take at most kMaxTotalBytes, and temporary files a day old.
    void Clean() const;

private:
    // Reads at most `maxBytes` of the file of `url` into `content`, and the lines before the
    // body into `copy`, leaving the body (or as much as was read) in `content`.
    bool ReadFile(const std::string& url, FeedCopy& copy, std::string& content,
                  std::size_t maxBytes, platform::TooLong tooLong) const;

    // The time the stamp beside `copy` confirms it at, when it does and that is later than
    // `copy.fetched`; else `copy.fetched`.
    platform::WallTime ReadConfirmed(const FeedCopy& copy) const;

    std::string m_folder;
    const platform::IClock* m_clock;
};
