// A seen store that another program holds open (a virus scanner, a search indexer, a backup)
// while a QUIT rewrites it: what the holder's sharing allows decides whether the rewrite can
// happen, but never costs the uids already stored.
#include "provider/SeenStore.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <thread>

namespace {

MessageList Entries(std::initializer_list<std::string> uids)
{
    MessageList entries;
    for (const std::string& uid : uids)
        entries.push_back({"text of " + uid, uid});
    return entries;
}

// The file opened as another program would open it, until Release or the end of the object.
class CHolder
{
public:
    CHolder(const std::string& path, DWORD sharing)
        : m_handle(::CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr))
    {}
    ~CHolder() { Release(); }
    CHolder(const CHolder&) = delete;
    CHolder& operator=(const CHolder&) = delete;

    bool IsHolding() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

std::size_t CountFiles(const std::filesystem::path& folder)
{
    std::size_t count = 0;
    for (auto entry = std::filesystem::directory_iterator(folder);
         entry != std::filesystem::directory_iterator(); ++entry)
        ++count;
    return count;
}

} // namespace

TEST(SeenStore, AStoreHeldByAnotherProgramKeepsItsUids)
{
    // Held through the whole commit: one holder lets nobody in, one lets others read but not
    // replace the file, one lets it be replaced but not read, so the old uids are unknown.
    for (const DWORD sharing :
         {DWORD{0}, DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        CTempFolder folder;
        const CSeenStore store(folder.File("feeds.txt"));
        store.CommitDeleted(Entries({"A", "B"}));
        CHolder holder(store.FileName(), sharing);
        ASSERT_TRUE(holder.IsHolding()) << sharing;
        EXPECT_FALSE(store.CommitDeleted(Entries({"C"}))) << sharing;
        holder.Release();
        EXPECT_EQ(store.LoadSeen(), (std::vector<std::string>{"A", "B"})) << sharing;
        EXPECT_EQ(CountFiles(folder.Path()), 1u) << sharing;
    }

    // Let go during the commit: at once, as a scanner lets go of a file it looked at, the
    // commit waits it out; later, the commit may give up and say so, but never at the cost of
    // the uids stored before, which a rewrite after a failed read would drop.
    for (const int milliseconds : {50, 700}) {
        CTempFolder folder;
        const CSeenStore store(folder.File("feeds.txt"));
        store.CommitDeleted(Entries({"A", "B"}));
        CHolder holder(store.FileName(), 0);
        ASSERT_TRUE(holder.IsHolding());
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            holder.Release();
        });
        const bool stored = store.CommitDeleted(Entries({"C"}));
        releaser.join();
        EXPECT_TRUE(stored || milliseconds > 50);
        EXPECT_EQ(store.LoadSeen(), stored ? (std::vector<std::string>{"A", "B", "C"})
                                           : (std::vector<std::string>{"A", "B"}))
            << milliseconds;
    }
}
