#include "provider/SeenStore.h"

#include "feed/Fingerprint.h"
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

std::string CSeenStore::SeenEntry(const MessageEntry& message)
{
    return message.identity.empty() ? message.uid : message.uid + " " + message.identity;
}

std::vector<std::string> CSeenStore::LoadSeen() const
{
    std::vector<std::string> entries;
    ReadEntries(entries);
    return entries;
}

bool CSeenStore::ReadEntries(std::vector<std::string>& entries) const
{
    entries.clear();
    // Only a file of the user's own is a store: a link planted in its place could have
    // another file read and written back, and another user's file could hide any item. A
    // pipe of that name must not hold a QUIT either, which reads while holding the store's
    // lock and would block every later QUIT too; ReadOwnFile leaves it alone.
    std::string text;
    const platform::OwnFile read = platform::ReadOwnFile(m_fileName, text);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::istringstream line(text.substr(start, end - start));
        start = end + 1;
        std::vector<std::string> words;
        std::string word;
        while (line >> word)
            words.push_back(std::move(word));
        if (words.size() == 2 && IsStrongIdentity(words[1])) {
            entries.push_back(words[0] + " " + words[1]);
            continue;
        }
        for (std::string& bareUid : words)
            entries.push_back(std::move(bareUid));
    }
    return read != platform::OwnFile::Refused;
}

void CSeenStore::FilterSeen(MessageList& messages, std::vector<bool>* seen) const
{
    if (seen != nullptr)
        seen->assign(messages.size(), false);
    const std::vector<std::string> stored = LoadSeen();
    if (stored.empty())
        return;
    // The views look into `stored`, which stays as it is.
    std::unordered_set<std::string_view> identities;
    std::unordered_set<std::string_view> bareUids;
    for (const std::string& entry : stored) {
        const std::size_t blank = entry.find(' ');
        if (blank == std::string::npos)
            bareUids.insert(entry);
        else
            identities.insert(std::string_view(entry).substr(blank + 1));
    }
    MessageList kept;
    kept.reserve(messages.size());
    for (std::size_t index = 0; index < messages.size(); ++index) {
        const MessageEntry& message = messages[index];
        const bool isSeen =
            (!message.identity.empty() && identities.count(message.identity) != 0) ||
            bareUids.count(message.uid) != 0;
        if (!isSeen)
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
    std::vector<std::string> entries;
    // A store that is there but cannot be read (another program holds it and lets nobody
    // read it, or it is not the user's own) stays as it is: a rewrite would drop every entry
    // it holds, or write them where they do not belong.
    if (!ReadEntries(entries))
        return false;
    entries.reserve(entries.size() + deleted.size());
    for (const MessageEntry& message : deleted)
        entries.push_back(SeenEntry(message));
    KeepLastOfEach(entries);
    if (entries.size() > kMaxSeen)
        entries.erase(entries.begin(), entries.end() - kMaxSeen);
    return WriteEntries(entries);
}

void CSeenStore::KeepLastOfEach(std::vector<std::string>& entries)
{
    // An entry counted twice would push an older one out before its time, and that item would
    // come back. The newest place of each is kept, so an item deleted again counts as new.
    // The views look into `kept`, which is never reallocated.
    std::vector<std::string> kept;
    kept.reserve(entries.size());
    std::unordered_set<std::string_view> later;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (later.count(*entry) != 0)
            continue;
        kept.push_back(std::move(*entry));
        later.insert(kept.back());
    }
    entries.assign(std::make_move_iterator(kept.rbegin()), std::make_move_iterator(kept.rend()));
}

bool CSeenStore::WriteEntries(const std::vector<std::string>& entries) const
{
    std::string text;
    for (const std::string& entry : entries) {
        text += entry;
        text += '\n';
    }
    // LF on every system, so that a store is the same file wherever it was written; reading
    // takes either line end.
    return platform::WriteWholeFile(m_fileName, text);
}
