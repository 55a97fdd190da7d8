#include "provider/SeenStore.h"

#include "platform/File.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <system_error>
#include <unordered_set>

namespace {

// One mutex per store file, shared by every thread of the process that rewrites it. Entries
// live only while some thread uses them, so the map does not grow with every list ever seen.
class CStoreLock
{
public:
    explicit CStoreLock(const std::string& fileName) : m_key(LockKey(fileName))
    {
        Registry& registry = TheRegistry();
        {
            std::lock_guard<std::mutex> guard(registry.guard);
            m_entry = &registry.entries[m_key];
            ++m_entry->users;
        }
        m_entry->mutex.lock();
    }

    ~CStoreLock()
    {
        m_entry->mutex.unlock();
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.guard);
        if (--m_entry->users == 0)
            registry.entries.erase(m_key);
    }

    CStoreLock(const CStoreLock&) = delete;
    CStoreLock& operator=(const CStoreLock&) = delete;

private:
    struct Entry
    {
        std::mutex mutex;
        int users = 0;
    };
    struct Registry
    {
        std::mutex guard;
        std::map<std::string, Entry> entries;
    };

    // Never destroyed: a session may still commit at QUIT while the process runs its static
    // teardown, and must not find the registry gone.
    static Registry& TheRegistry()
    {
        static Registry* registry = new Registry;
        return *registry;
    }

    // Two spellings of one path ("a/../feeds.txt.UIDL", a relative and an absolute name)
    // must share one lock, so the key is the resolved path where it can be had.
    static std::string LockKey(const std::string& fileName)
    {
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(fileName, error);
        return error ? fileName : resolved.string();
    }

    std::string m_key;
    Entry* m_entry = nullptr;
};

// A name in the store's folder that no other writer picks: a crashed writer's leftover or a
// second process writing the same store at the same moment must not meet ours. It is kept
// short, so a store whose own name is near the length limit can still be replaced.
std::string TemporaryName(const std::string& fileName)
{
    static std::mutex generatorLock;
    static std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t suffix;
    {
        std::lock_guard<std::mutex> guard(generatorLock);
        suffix = generator();
    }
    char name[32];
    std::snprintf(name, sizeof name, ".seen-%016llX.tmp", static_cast<unsigned long long>(suffix));
    return (std::filesystem::path(fileName).parent_path() / name).string();
}

} // namespace

CSeenStore::CSeenStore(const std::string& listFile) : m_fileName(SeenFileName(listFile)) {}

std::string CSeenStore::SeenFileName(const std::string& listFile)
{
    return listFile + ".UIDL";
}

std::vector<std::string> CSeenStore::LoadSeen() const
{
    std::vector<std::string> uids;
    // Only a regular file is read: opening a pipe of that name would wait for a writer for
    // good, at a QUIT even while holding the store's lock, blocking every later QUIT too.
    std::error_code error;
    if (!std::filesystem::is_regular_file(m_fileName, error))
        return uids;
    std::ifstream file(m_fileName);
    std::string token;
    while (file >> token)
        uids.push_back(token);
    return uids;
}

void CSeenStore::FilterSeen(MessageList& messages, std::vector<bool>* seen) const
{
    if (seen != nullptr)
        seen->assign(messages.size(), false);
    const std::vector<std::string> stored = LoadSeen();
    if (stored.empty())
        return;
    const std::unordered_set<std::string> storedSet(stored.begin(), stored.end());
    MessageList kept;
    kept.reserve(messages.size());
    for (std::size_t index = 0; index < messages.size(); ++index) {
        if (storedSet.count(messages[index].uid) == 0)
            kept.push_back(std::move(messages[index]));
        else if (seen != nullptr)
            (*seen)[index] = true;
    }
    messages.swap(kept);
}

void CSeenStore::CommitDeleted(const MessageList& deleted) const
{
    // Without the lock two overlapping QUITs on one list would both read the old store and
    // the later rewrite would drop the earlier one's uids.
    CStoreLock lock(m_fileName);
    std::vector<std::string> uids = LoadSeen();
    uids.reserve(uids.size() + deleted.size());
    for (const MessageEntry& entry : deleted)
        uids.push_back(entry.uid);
    if (uids.size() > MaxSeen)
        uids.erase(uids.begin(), uids.end() - MaxSeen);
    WriteUids(uids);
}

void CSeenStore::WriteUids(const std::vector<std::string>& uids) const
{
    std::string text;
    for (const std::string& uid : uids) {
        text += uid;
        text += '\n';
    }
    const std::string temporary = TemporaryName(m_fileName);
    // Text mode, as the store has always been written: the platform's own line ends.
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr)
        return;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!(written && closed && platform::ReplaceFile(temporary, m_fileName)))
        std::remove(temporary.c_str());
}
