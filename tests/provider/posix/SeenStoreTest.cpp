// The seen store's dealings with what only POSIX systems have: permission bits, owners,
// symbolic links, named pipes, and readers that keep a replaced file open.
#include "provider/SeenStore.h"

#include "support/SeenStoreText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>

namespace {

const std::string kStoredUid = Uid(10);
const std::string kDeletedUid = Uid(11);

MessageList Deleted()
{
    return Entries({kDeletedUid});
}

mode_t ModeOf(const std::string& path)
{
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

struct UntrustedStore
{
    const char* name;
    // Puts something that is no store of the user's in the store's place.
    std::function<void(CTempFolder& folder, const std::string& store)> plant;
    bool needsRoot;
};

} // namespace

// Whatever stands in the store's place that is not the user's own regular file is neither
// read (it could hide any item) nor replaced (a link would have its target read and written
// back where its planter can read it); a QUIT with deletions is told they were not kept.
TEST(SeenStore, OnlyAStoreOfTheUsersOwnIsReadOrReplaced)
{
    const UntrustedStore cases[] = {
        {"a link to the user's file",
         [](CTempFolder& folder, const std::string& store) {
             std::filesystem::create_symlink(folder.Write("secret", kStoredUid + "\n"), store);
         },
         false},
        {"a link to nowhere",
         [](CTempFolder& folder, const std::string& store) {
             std::filesystem::create_symlink(folder.File("nowhere"), store);
         },
         false},
        {"a store others may write",
         [](CTempFolder& folder, const std::string& store) {
             folder.Write(store.substr(folder.Path().string().size() + 1), kStoredUid + "\n");
             ::chmod(store.c_str(), 0666);
         },
         false},
        {"another user's store",
         [](CTempFolder& folder, const std::string& store) {
             folder.Write(store.substr(folder.Path().string().size() + 1), kStoredUid + "\n");
             if (::chown(store.c_str(), 65534, 65534) != 0)
                 ADD_FAILURE() << "chown";
         },
         true},
    };
    for (const UntrustedStore& entry : cases) {
        SCOPED_TRACE(entry.name);
        if (entry.needsRoot && ::geteuid() != 0) {
            std::printf("skipped (needs root): %s\n", entry.name);
            continue;
        }
        CTempFolder folder;
        const CSeenStore store(folder.File("feeds.txt"));
        entry.plant(folder, store.FileName());
        const auto before = std::filesystem::symlink_status(store.FileName()).type();
        const mode_t modeBefore = ModeOf(store.FileName());

        EXPECT_TRUE(store.LoadSeen().empty());
        EXPECT_FALSE(store.CommitDeleted(Deleted()));
        EXPECT_EQ(std::filesystem::symlink_status(store.FileName()).type(), before);
        EXPECT_EQ(ModeOf(store.FileName()), modeBefore);
    }
}

TEST(SeenStore, ANewStoreIsPrivateAndAnOldOneKeepsItsMode)
{
    CTempFolder folder;
    const CSeenStore fresh(folder.File("new.txt"));
    ASSERT_TRUE(fresh.CommitDeleted(Deleted()));
    EXPECT_EQ(ModeOf(fresh.FileName()), 0600u);

    const CSeenStore shared(folder.File("old.txt"));
    folder.Write("old.txt.UIDL", kStoredUid + "\n");
    ::chmod(shared.FileName().c_str(), 0640);
    ASSERT_TRUE(shared.CommitDeleted(Deleted()));
    EXPECT_EQ(ModeOf(shared.FileName()), 0640u);
    EXPECT_EQ(CTempFolder::Read(shared.FileName()), kStoredUid + "\n" + kDeletedUid + "\n");
}

TEST(SeenStore, NoStoreIsWrittenWhereOthersMayReplaceIt)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    ::chmod(folder.Path().c_str(), 0777);
    EXPECT_FALSE(store.CommitDeleted(Deleted()));
    EXPECT_FALSE(std::filesystem::exists(store.FileName()));
    // Where only owners may remove files, as in the system's shared temporary folder, the
    // store is the user's.
    ::chmod(folder.Path().c_str(), 01777);
    EXPECT_TRUE(store.CommitDeleted(Deleted()));
}

// Windows lets no file be replaced under a reader opened by the C++ library (the store's own
// readers allow it); the store then stays as it was, which
// provider/win32/SeenStoreHeldByAnotherProgramTest.cpp checks instead.
TEST(SeenStore, AReaderOfTheOldStoreStillFindsItWhole)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    folder.Write("feeds.txt.UIDL", Lines(1, 3));
    std::ifstream reader(store.FileName(), std::ios::binary);
    ASSERT_TRUE(reader.is_open());

    store.CommitDeleted(Entries({Uid(4)}));
    // The store was replaced, not truncated and rewritten under the open reader.
    const std::string old((std::istreambuf_iterator<char>(reader)),
                          std::istreambuf_iterator<char>());
    EXPECT_EQ(old, Lines(1, 3));
    EXPECT_EQ(CTempFolder::Read(store.FileName()), Lines(1, 4));
    EXPECT_EQ(CountFiles(folder.Path()), 1); // no temporary file left behind
}

TEST(SeenStore, AStoreThatCannotBeWrittenStaysAsItWas)
{
    CTempFolder folder;
    // A store whose folder does not exist: nothing is created, and the commit says so.
    const CSeenStore nowhere(folder.File("missing/feeds.txt"));
    EXPECT_FALSE(nowhere.CommitDeleted(Entries({Uid(1)})));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));

    // A store name taken by a folder: the replacement fails and leaves no temporary file.
    const CSeenStore blocked(folder.File("blocked.txt"));
    std::filesystem::create_directory(blocked.FileName());
    folder.Write("blocked.txt.UIDL/inside", "kept");
    EXPECT_FALSE(blocked.CommitDeleted(Entries({Uid(1)})));
    EXPECT_EQ(CTempFolder::Read(folder.File("blocked.txt.UIDL/inside")), "kept");
    EXPECT_EQ(CountFiles(folder.Path()), 1);

    const CSeenStore store(folder.File("feeds.txt"));
    folder.Write("feeds.txt.UIDL", Lines(1, 3));
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::owner_exec);
    if (std::ofstream(folder.File("probe")).is_open())
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    store.CommitDeleted(Entries({Uid(4)}));
    EXPECT_EQ(CTempFolder::Read(store.FileName()), Lines(1, 3));
}

TEST(SeenStore, APipeNamedLikeTheStoreIsNoStoreAndBlocksNothing)
{
    CTempFolder folder;
    const CSeenStore store(folder.File("feeds.txt"));
    if (std::system(("mkfifo '" + store.FileName() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot make a named pipe here";
    auto loading = std::async(std::launch::async, [&] { return store.LoadSeen(); });
    if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::ofstream(store.FileName()) << ""; // lets the blocked reader see the end
        FAIL() << "reading the store waits for a writer of the pipe";
    }
    EXPECT_TRUE(loading.get().empty());
    // A QUIT leaves the pipe alone and does not wait for it either.
    EXPECT_FALSE(store.CommitDeleted(Entries({Uid(1)})));
    EXPECT_TRUE(std::filesystem::is_fifo(store.FileName()));
}
