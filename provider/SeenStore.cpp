#include "provider/SeenStore.h"

#include "platform/File.h"
#include "platform/Thread.h"

#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>
#include <unordered_set>

namespace {

// One lock per store file, shared by every thread of the process that rewrites it. Entries
// live only while some thread uses them, so the map does not grow with every list ever seen.
class CStoreLock
{
public:
    // The compiler's lock check cannot name a lock found at run time: it is told nothing
    // of the store's own lock, held from here to the end of this object.
    explicit CStoreLock(const std::string& fileName) NO_THREAD_SAFETY_ANALYSIS
        : m_key(LockKey(fileName)),
          m_entry(TheRegistry().Join(m_key))
    {
        m_entry.lock.Enter();
    }

    ~CStoreLock() NO_THREAD_SAFETY_ANALYSIS
    {
        m_entry.lock.Leave();
        TheRegistry().Quit(m_key);
    }

    CStoreLock(const CStoreLock&) = delete;
    CStoreLock& operator=(const CStoreLock&) = delete;

private:
    struct Entry
    {
        platform::CLock lock;
        int users = 0; // guarded by the registry's guard
    };
    class Registry
    {
    public:
        // The entry of `key`, made on first use, counted as used once more.
        Entry& Join(const std::string& key)
        {
            platform::CLockHolder holder(m_guard);
            Entry& entry = m_entries[key];
            ++entry.users;
            return entry;
        }
        // Counts the entry of `key` as used once less, and removes it when it is unused.
        void Quit(const std::string& key)
        {
            platform::CLockHolder holder(m_guard);
            const auto entry = m_entries.find(key);
            if (--entry->second.users == 0)
                m_entries.erase(entry);
        }

    private:
        platform::CLock m_guard;
        std::map<std::string, Entry> m_entries GUARDED_BY(m_guard);
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
    Entry& m_entry;
};

} // namespace

CSeenStore::CSeenStore(const std::string& listFile) : m_fileName(SeenFileName(listFile)) {}

std::string CSeenStore::SeenFileName(const std::string& listFile)
{
    return listFile + ".UIDL";
}

std::vector<std::string> CSeenStore::LoadSeen() const
{
    std::vector<std::string> uids;
    ReadUids(uids);
    return uids;
}

bool CSeenStore::ReadUids(std::vector<std::string>& uids) const
{
    uids.clear();
    // Only a file of the user's own is a store: a link planted in its place could have
    // another file read and written back, and another user's file could hide any item. A
    // pipe of that name must not hold a QUIT either, which reads while holding the store's
    // lock and would block every later QUIT too; ReadOwnFile leaves it alone.
    std::string text;
    const platform::OwnFile read = platform::ReadOwnFile(m_fileName, text);
    std::istringstream tokens(text);
    std::string token;
    while (tokens >> token)
        uids.push_back(token);
    return read != platform::OwnFile::Refused;
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

bool CSeenStore::CommitDeleted(const MessageList& deleted) const
{
    // Without the lock two overlapping QUITs on one list would both read the old store and
    // the later rewrite would drop the earlier one's uids.
    CStoreLock lock(m_fileName);
    std::vector<std::string> uids;
    // A store that is there but cannot be read (another program holds it and lets nobody
    // read it, or it is not the user's own) stays as it is: a rewrite would drop every uid
    // it holds, or write them where they do not belong.
    if (!ReadUids(uids))
        return false;
    uids.reserve(uids.size() + deleted.size());
    for (const MessageEntry& entry : deleted)
        uids.push_back(entry.uid);
    KeepLastOfEach(uids);
    if (uids.size() > kMaxSeen)
        uids.erase(uids.begin(), uids.end() - kMaxSeen);
    return WriteUids(uids);
}

void CSeenStore::KeepLastOfEach(std::vector<std::string>& uids)
{
    // A uid counted twice would push an older one out before its time, and that item would
    // come back. The newest place of each is kept, so a uid deleted again counts as new.
    // The views look into `kept`, which is never reallocated.
    std::vector<std::string> kept;
    kept.reserve(uids.size());
    std::unordered_set<std::string_view> later;
    for (auto uid = uids.rbegin(); uid != uids.rend(); ++uid) {
        if (later.count(*uid) != 0)
            continue;
        kept.push_back(std::move(*uid));
        later.insert(kept.back());
    }
    uids.assign(std::make_move_iterator(kept.rbegin()), std::make_move_iterator(kept.rend()));
}

bool CSeenStore::WriteUids(const std::vector<std::string>& uids) const
{
    std::string text;
    for (const std::string& uid : uids) {
        text += uid;
        text += '\n';
    }
    // LF on every system, so that a store is the same file wherever it was written; reading
    // takes either line end.
    return platform::WriteWholeFile(m_fileName, text);
}
