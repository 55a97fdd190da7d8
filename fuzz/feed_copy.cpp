// The copy file reader: the input is stored as the file of a feed's copy, and what follows a
// line "~~stamp~~" in it as the stamp beside the copy, and read back, whole and by its header
// lines. A copy that reads back is never confirmed before it was fetched; once written again,
// it must read back the same, unless a value of it holds a CR.
#include "provider/FeedCopyStore.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char kUrl[] = "http://127.0.0.1/feed.xml";
const char kStampLine[] = "~~stamp~~\n";

void Fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

bool operator==(const FeedCopy& one, const FeedCopy& other)
{
    return one.url == other.url && one.finalUrl == other.finalUrl && one.etag == other.etag &&
           one.lastModified == other.lastModified && one.fetched == other.fetched &&
           one.quietUntil == other.quietUntil && one.body == other.body &&
           one.bodyBytes == other.bodyBytes && one.checksum == other.checksum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const CTempFolder folder;
    static const CFeedCopyStore store(folder.Path().string());
    static const std::string name = std::filesystem::path(store.FileName(kUrl)).filename().string();
    static const std::string stampName = name.substr(0, name.rfind('.')) + ".confirmed";
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string::size_type stamp = input.find(kStampLine);
    folder.Write(name, input.substr(0, stamp));
    folder.Write(stampName, stamp == std::string::npos
                                ? std::string()
                                : input.substr(stamp + sizeof kStampLine - 1));
    FeedCopy header;
    if (store.ReadHeader(kUrl, header) && header.confirmed < header.fetched)
        Fail("a copy was confirmed before it was fetched");
    FeedCopy copy;
    // A value with a CR, which no copy written here holds, is written as an empty one.
    if (!store.Read(kUrl, copy) ||
        (copy.finalUrl + copy.etag + copy.lastModified).find('\r') != std::string::npos)
        return 0;
    FeedCopy again;
    if (!store.Write(copy) || !store.Read(kUrl, again) || !(again == copy))
        Fail("a copy did not read back the same once written again");
    return 0;
}
