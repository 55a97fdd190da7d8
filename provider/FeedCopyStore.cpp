#include "provider/FeedCopyStore.h"

#include "http/HTTPGet.h"
#include "platform/File.h"
#include "platform/Folder.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string_view>
#include <vector>

namespace {

const char kMagicLine[] = "QUILLBOX feed copy 1";
const char kStampMagicLine[] = "QUILLBOX feed copy confirmed 1";
const char kSuffix[] = ".copy";
const char kStampSuffix[] = ".confirmed";
constexpr std::size_t kShortHeaderBytes = 4 * 1024;
// A temporary file this old is a killed writer's.
constexpr std::chrono::seconds kLeftoverAge = std::chrono::hours(24);

std::string Hexadecimal(std::uint64_t value, int digits)
{
    char text[17];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// A value goes into its line as it is, unless it would break the line.
std::string LineValue(const std::string& value)
{
    return value.find_first_of("\r\n") == std::string::npos ? value : std::string();
}

bool ReadNumber(const std::string& text, std::int64_t& value)
{
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoll(text);
    return true;
}

bool ReadTime(const std::string& text, platform::WallTime& time)
{
    std::int64_t seconds = 0;
    if (!ReadNumber(text, seconds))
        return false;
    time = platform::WallTime(std::chrono::seconds(seconds));
    return true;
}

// A time as its line states it: seconds since 1970, none before.
std::string TimeValue(platform::WallTime time)
{
    return std::to_string(std::max<std::int64_t>(time.time_since_epoch().count(), 0));
}

// The name of the files of `url` without their suffix: its 64-bit FNV-1a digest.
std::string DigestName(const std::string& url)
{
    std::uint64_t digest = 14695981039346656037ull;
    for (const char byte : url) {
        digest ^= static_cast<unsigned char>(byte);
        digest *= 1099511628211ull;
    }
    return Hexadecimal(digest, 16);
}

// Reads the LF-ended lines of `content` before `end`: gives back the first (the magic line)
// and calls `field` with the name and value of each "name: value" line after it.
template <typename Field>
std::string ReadLines(const std::string& content, std::string::size_type end, Field field)
{
    std::string magic;
    std::string::size_type start = 0;
    for (int line = 0; start < end; ++line) {
        const std::string::size_type lineEnd = std::min(content.find('\n', start), end);
        const std::string text = content.substr(start, lineEnd - start);
        start = lineEnd + 1;
        if (line == 0) {
            magic = text;
            continue;
        }
        const std::string::size_type colon = text.find(": ");
        field(text.substr(0, colon), colon == std::string::npos ? "" : text.substr(colon + 2));
    }
    return magic;
}

} // namespace

CFeedCopyStore::CFeedCopyStore(std::string folder, const platform::IClock& clock)
    : m_folder(std::move(folder)), m_clock(&clock)
{}

std::string CFeedCopyStore::DefaultFolder()
{
    const std::string cache = platform::UserCacheFolder();
    return cache.empty() ? cache : platform::JoinPath(cache, "quillbox");
}

bool CFeedCopyStore::IsCopy(const std::string& text)
{
    // The magic line without its version, so that copies of later formats count too.
    static const std::string kMagicStart = "QUILLBOX feed copy ";
    return text.compare(0, kMagicStart.size(), kMagicStart) == 0;
}

std::string CFeedCopyStore::FileName(const std::string& url) const
{
    return platform::JoinPath(m_folder, DigestName(url) + kSuffix);
}

bool CFeedCopyStore::ReadHeader(const std::string& url, FeedCopy& copy) const
{
    // The lines before the body rarely take a kilobyte; only long URLs need more.
    std::string content;
    return ReadFile(url, copy, content, kShortHeaderBytes, platform::TooLong::KeepStart) ||
           ReadFile(url, copy, content, kMaxHeaderBytes, platform::TooLong::KeepStart);
}

bool CFeedCopyStore::Read(const std::string& url, FeedCopy& copy) const
{
    std::string content;
    if (!ReadFile(url, copy, content, kMaxHeaderBytes + kMaxResponseBytes,
                  platform::TooLong::Fail) ||
        static_cast<std::int64_t>(content.size()) != copy.bodyBytes ||
        copy.checksum != Checksum(content))
        return false;
    copy.body = std::move(content);
    return true;
}

bool CFeedCopyStore::ReadFile(const std::string& url, FeedCopy& copy, std::string& content,
                              std::size_t maxBytes, platform::TooLong tooLong) const
{
    copy = FeedCopy();
    if (m_folder.empty() || !platform::ReadTrustedFile(FileName(url), content, maxBytes, tooLong))
        return false;
    const std::string::size_type end = content.find("\n\n");
    if (end == std::string::npos)
        return false;
    std::string fileUrl;
    bool numbersRead = true;
    const std::string magic =
        ReadLines(content, end, [&](const std::string& name, const std::string& value) {
            if (name == "url")
                fileUrl = value;
            else if (name == "final-url")
                copy.finalUrl = value;
            else if (name == "etag")
                copy.etag = value;
            else if (name == "last-modified")
                copy.lastModified = value;
            else if (name == "fetched")
                numbersRead = ReadTime(value, copy.fetched) && numbersRead;
            else if (name == "quiet-until")
                numbersRead = ReadTime(value, copy.quietUntil) && numbersRead;
            else if (name == "body-bytes")
                numbersRead = ReadNumber(value, copy.bodyBytes) && numbersRead;
            else if (name == "checksum")
                copy.checksum = value;
        });
    if (magic != kMagicLine || fileUrl != url || !numbersRead)
        return false;
    copy.url = url;
    copy.confirmed = ReadConfirmed(copy);
    content.erase(0, end + 2);
    return true;
}

platform::WallTime CFeedCopyStore::ReadConfirmed(const FeedCopy& copy) const
{
    std::string content;
    if (!platform::ReadTrustedFile(
            platform::JoinPath(m_folder, DigestName(copy.url) + kStampSuffix), content,
            kShortHeaderBytes + copy.url.size()) ||
        content.empty() || content.back() != '\n')
        return copy.fetched;
    std::string url, checksum;
    platform::WallTime fetched, confirmed;
    bool numbersRead = true;
    const std::string magic = ReadLines(
        content, content.size() - 1, [&](const std::string& name, const std::string& value) {
            if (name == "url")
                url = value;
            else if (name == "fetched")
                numbersRead = ReadTime(value, fetched) && numbersRead;
            else if (name == "checksum")
                checksum = value;
            else if (name == "confirmed")
                numbersRead = ReadTime(value, confirmed) && numbersRead;
        });
    const bool confirms = magic == kStampMagicLine && numbersRead && url == copy.url &&
                          fetched == copy.fetched && checksum == copy.checksum;
    return confirms ? std::max(confirmed, copy.fetched) : copy.fetched;
}

bool CFeedCopyStore::Confirm(const FeedCopy& copy, platform::WallTime when) const
{
    if (m_folder.empty() || copy.url.find_first_of("\r\n") != std::string::npos)
        return false;
    const std::string lines = std::string(kStampMagicLine) + "\nurl: " + copy.url +
                              "\nfetched: " + TimeValue(copy.fetched) +
                              "\nchecksum: " + LineValue(copy.checksum) +
                              "\nconfirmed: " + TimeValue(when) + "\n";
    // Like the copy, the stamp is checked whenever it is read.
    return platform::WriteWholeFile(
        platform::JoinPath(m_folder, DigestName(copy.url) + kStampSuffix), lines,
        platform::Durability::Unflushed);
}

std::string CFeedCopyStore::Checksum(const std::string& body)
{
    uLong sum = crc32(0L, Z_NULL, 0);
    // zlib takes at most 4 GB a call; bodies are far smaller.
    sum = crc32(sum, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return Hexadecimal(sum, 8);
}

bool CFeedCopyStore::Write(const FeedCopy& copy) const
{
    platform::CFileReplacement replacement;
    return WriteAside(copy, copy.body, replacement) && replacement.Commit();
}

bool CFeedCopyStore::WriteAside(const FeedCopy& copy, const std::string& body,
                                platform::CFileReplacement& replacement) const
{
    if (m_folder.empty())
        return false;
    const std::string lines =
        std::string(kMagicLine) + "\nurl: " + LineValue(copy.url) +
        "\nfinal-url: " + LineValue(copy.finalUrl) + "\netag: " + LineValue(copy.etag) +
        "\nlast-modified: " + LineValue(copy.lastModified) +
        "\nfetched: " + TimeValue(copy.fetched) + "\nquiet-until: " + TimeValue(copy.quietUntil) +
        "\nbody-bytes: " + std::to_string(body.size()) + "\nchecksum: " + Checksum(body) + "\n\n";
    // A copy is checked whenever it is read: waiting for the disk would only slow logins.
    // The folder is made when the first write finds none.
    const std::string path = FileName(copy.url);
    const std::vector<std::string_view> pieces{lines, body};
    return replacement.Write(path, pieces, platform::Durability::Unflushed) ||
           (platform::MakeFolders(m_folder) &&
            replacement.Write(path, pieces, platform::Durability::Unflushed));
}

void CFeedCopyStore::Clean() const
{
    if (m_folder.empty())
        return;
    std::vector<platform::FolderFile> files = platform::ListFiles(m_folder, kSuffix);
    // Newest first: the oldest are the ones to go.
    std::sort(files.begin(), files.end(),
              [](const platform::FolderFile& left, const platform::FolderFile& right) {
                  return left.modified > right.modified;
              });
    const platform::WallTime oldest = Now() - kMaxUnused;
    std::uint64_t total = 0;
    std::set<std::string> kept;
    for (const platform::FolderFile& file : files) {
        total += file.bytes;
        if (file.modified < oldest || total > kMaxTotalBytes)
            platform::RemoveFile(platform::JoinPath(m_folder, file.name));
        else
            kept.insert(file.name.substr(0, file.name.size() - (sizeof kSuffix - 1)));
    }
    // A stamp goes with its copy.
    for (const platform::FolderFile& file : platform::ListFiles(m_folder, kStampSuffix)) {
        if (kept.count(file.name.substr(0, file.name.size() - (sizeof kStampSuffix - 1))) == 0)
            platform::RemoveFile(platform::JoinPath(m_folder, file.name));
    }
    // What a writer killed while writing left of a copy it never wrote again.
    for (const platform::FolderFile& file : platform::ListFiles(m_folder, ".tmp")) {
        if (file.modified < Now() - kLeftoverAge)
            platform::RemoveFile(platform::JoinPath(m_folder, file.name));
    }
}
