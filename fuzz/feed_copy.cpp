// The copy file reader: the input is stored as the file of a feed's copy and read back, whole
// and by its header lines. A copy that reads back whole is written again, and must then read
// back the same, unless a value of it holds a CR.
#include "provider/FeedCopyStore.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char kUrl[] = "http://127.0.0.1/feed.xml";

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
    folder.Write(name, std::string(reinterpret_cast<const char*>(data), size));
    FeedCopy header;
    store.ReadHeader(kUrl, header);
    FeedCopy copy;
    // A value with a CR, which no copy written here holds, is written as an empty one.
    if (!store.Read(kUrl, copy) ||
        (copy.finalUrl + copy.etag + copy.lastModified).find('\r') != std::string::npos)
        return 0;
    FeedCopy again;
    if (!store.Write(copy) || !store.Read(kUrl, again) || !(again == copy)) {
        std::fprintf(stderr, "a copy did not read back the same once written again\n");
        std::abort();
    }
    return 0;
}
