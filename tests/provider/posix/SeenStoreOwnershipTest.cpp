#include "provider/SeenStore.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

const std::string kStoredUid = "00000000000000000000000A";
const std::string kDeletedUid = "00000000000000000000000B";

MessageList Deleted()
{
    return {{std::string(), kDeletedUid}};
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
