#include "provider/SeenStore.h"

#include "platform/File.h"
#include "support/SeenStoreText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

TEST(SeenStore, FileNameIsTheListPathWithSuffix)
{
    EXPECT_EQ(CSeenStore::SeenFileName("C:\\feeds\\news.txt"), "C:\\feeds\\news.txt.UIDL");
    EXPECT_EQ(CSeenStore::SeenFileName(""), ".UIDL");
}

TEST(SeenStore, CommitWithoutDeletionsCreatesAnEmptyStore)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    EXPECT_TRUE(store.LoadSeen().empty());
    store.CommitDeleted({});
    ASSERT_TRUE(std::filesystem::exists(store.FileName()));
    EXPECT_EQ(CTempFolder::Read(store.FileName()), "");
}

TEST(SeenStore, ACommitRemovesOnlyTheStaleTemporaryFilesOfItsOwnStore)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    const CSeenStore other(folder.File("other.txt"));
    const auto temporary = [&](const CSeenStore& owner, const std::string& suffix, bool stale) {
        const std::string path = platform::TemporaryFilePrefix(owner.FileName()) + suffix;
        folder.Write(std::filesystem::path(path).filename().string(), "x\n");
        if (stale) {
            std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                                       std::chrono::hours(1));
        }
        return path;
    };
    const std::string crashed = temporary(store, "0123456789ABCDEF.tmp", true);
    const std::string writing = temporary(store, "FEDCBA9876543210.tmp", false);
    const std::string others = temporary(other, "0123456789ABCDEF.tmp", true);
    const std::string unrelated = temporary(store, "notes", true);
    store.CommitDeleted(Entries({"a"}));
    EXPECT_FALSE(std::filesystem::exists(crashed));
    for (const std::string& kept : {writing, others, unrelated})
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
    EXPECT_EQ(CountFiles(folder.Path()), 4);
}

TEST(SeenStore, KeepsTheNewestThousandEachOnce)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    folder.Write("feeds.txt.UIDL", Lines(1, 995));
    // A uid given twice counts once, and one the store holds already moves to the newest
    // end: neither pushes an older uid out before its time.
    store.CommitDeleted(Entries({Uid(2000), Uid(2001), Uid(2001), Uid(3), Uid(2002), Uid(2003),
                                 Uid(2004), Uid(2005), Uid(2006), Uid(2007)}));
    EXPECT_EQ(CTempFolder::Read(store.FileName()),
              Lines(5, 995) + Lines(2000, 2001) + Lines(3, 3) + Lines(2002, 2007));
}

TEST(SeenStore, ReadsAnyWhitespaceAndRewritesOneUidALine)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    folder.Write("feeds.txt.UIDL", "  A1 \t B2\r\nC3\n\n\nnot-a-uid   D4");
    EXPECT_EQ(store.LoadSeen(), (std::vector<std::string>{"A1", "B2", "C3", "not-a-uid", "D4"}));
    store.CommitDeleted({});
    EXPECT_EQ(CTempFolder::Read(store.FileName()),
              StoreText({"A1", "B2", "C3", "not-a-uid", "D4"}));
}

TEST(SeenStore, FilterDropsStoredUidsAndKeepsTheOrderOfTheRest)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    MessageList messages = Entries({"A", "B", "C", "B", "D"});
    store.FilterSeen(messages); // no store: nothing filtered
    ASSERT_EQ(messages.size(), 5u);

    folder.Write("feeds.txt.UIDL", "B\nD Z\n");
    store.FilterSeen(messages);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].uid, "A");
    EXPECT_EQ(messages[0].text, "text of A");
    EXPECT_EQ(messages[1].uid, "C");
}

TEST(SeenStore, OverlappingCommitsOnOneStoreKeepEveryDeletion)
{
    CTempFolder folder;
    // Half of the threads name the list through a detour: the same file all the same.
    const std::string direct = folder.File("feeds.txt");
    const std::string detour = (folder.Path() / "." / "feeds.txt").string();
    const int threadCount = 8;
    const int commitsPerThread = 25;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back([&, thread] {
            const CSeenStore store(thread % 2 == 0 ? direct : detour);
            for (int commit = 0; commit < commitsPerThread; ++commit)
                store.CommitDeleted(Entries({Uid(thread * 1000 + commit)}));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::vector<std::string> uids = CSeenStore(direct).LoadSeen();
    EXPECT_EQ(uids.size(), static_cast<std::size_t>(threadCount * commitsPerThread));
    std::sort(uids.begin(), uids.end());
    EXPECT_EQ(std::unique(uids.begin(), uids.end()), uids.end());
    EXPECT_EQ(CountFiles(folder.Path()), 1);
}

TEST(SeenStore, AStoreWithANameNearTheLengthLimitIsReplacedAllTheSame)
{
    CTempFolder folder;
    const CSeenStore store(folder.File(std::string(240, 'n')));
    store.CommitDeleted(Entries({Uid(1)}));
    store.CommitDeleted(Entries({Uid(2)}));
    EXPECT_EQ(CTempFolder::Read(store.FileName()), Lines(1, 2));
}

TEST(SeenStore, RemembersAnItemByItsIdentityAndStillHidesTheItemsOfBareUids)
{
    const std::string f = Uid(1), g = Uid(2), h = Uid(3), k = Uid(4);
    const std::string x = "1111111111111111", y = "2222222222222222", z = "3333333333333333";
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    // An entry of each form, one spelled with a tab and CR LF, and a line of three words: three
    // bare uids. A second word that is no identity makes two bare uids too.
    folder.Write("feeds.txt.UIDL", f + " " + x + "\n" + g + "\n" + h + "\t" + z + "\r\n" + k + " " +
                                       y + " A\n" + "B 222222222222222\n");
    EXPECT_EQ(store.LoadSeen(), (std::vector<std::string>{f + " " + x, g, h + " " + z, k, y, "A",
                                                          "B", "222222222222222"}));
    const struct
    {
        std::string uid, identity;
        bool seen;
    } cases[] = {
        {f, x, true},      {f, y, false}, // the same uid, another item
        {g, y, true},                     // a bare uid hides every item of that uid
        {h, z, true},      {k, x, true},
        {Uid(5), x, true}, // the identity decides
        {Uid(5), z, true}, {Uid(5), "4444444444444444", false},
        {"A", "", true},   {"C", "", false},
    };
    MessageList messages;
    for (const auto& known : cases)
        messages.push_back({"text", known.uid, known.identity});
    std::vector<bool> seen;
    store.FilterSeen(messages, &seen);
    for (std::size_t index = 0; index < seen.size(); ++index)
        EXPECT_EQ(seen[index], cases[index].seen) << index;
}

TEST(SeenStore, WritesTheUidAndTheIdentityOfADeletedItemEachOnce)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    folder.Write("feeds.txt.UIDL", Uid(1) + "\n" + Uid(2) + " 1111111111111111\n");
    const MessageEntry renamed{"text", Uid(1), "2222222222222222"};
    const MessageEntry again{std::string(), Uid(2), "1111111111111111"};
    EXPECT_EQ(CSeenStore::SeenEntry(renamed), Uid(1) + " 2222222222222222");
    // The bare uid stays beside the entry of the new form until it is pushed out.
    EXPECT_TRUE(store.CommitDeleted({renamed, again, renamed}));
    EXPECT_EQ(CTempFolder::Read(store.FileName()),
              Uid(1) + "\n" + Uid(2) + " 1111111111111111\n" + Uid(1) + " 2222222222222222\n");
}
