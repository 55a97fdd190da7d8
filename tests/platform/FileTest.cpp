#include "platform/File.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;

TEST(File, ReadsOnlyWholeRegularFilesWithinTheLimit)
{
    CTempFolder folder;
    const std::string five = folder.Write("five", std::string("1\0\r\n5", 5));
    std::string content = "stale";
    EXPECT_TRUE(ReadRegularFile(five, content));
    EXPECT_EQ(content, std::string("1\0\r\n5", 5));
    EXPECT_TRUE(ReadRegularFile(five, content, 5));
    EXPECT_FALSE(ReadRegularFile(five, content, 4));
    EXPECT_EQ(content, "");
    EXPECT_TRUE(ReadRegularFile(five, content, 4, TooLong::KeepStart));
    EXPECT_EQ(content, std::string("1\0\r\n", 4));
    content = "stale";
    EXPECT_FALSE(ReadRegularFile(folder.File("missing"), content));
    EXPECT_EQ(content, "");
    EXPECT_FALSE(ReadRegularFile(folder.Path().string(), content));
}

namespace {

int FilesIn(const std::filesystem::path& folder)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files += entry.is_regular_file() ? 1 : 0;
    return files;
}

} // namespace

TEST(File, AReplacementTakesEffectOnlyWhenCommitted)
{
    for (const bool commit : {true, false}) {
        CTempFolder folder;
        const std::string path = folder.Write("file", "old content");
        {
            CFileReplacement replacement;
            std::string first = "new ", second = "content";
            ASSERT_TRUE(replacement.Write(path, {first, second}, Durability::Unflushed));
            // The pieces are on disk already: their memory may go.
            first.assign(first.size(), 'x');
            second.clear();
            EXPECT_FALSE(replacement.Write(path, {"again"}, Durability::Unflushed));
            EXPECT_EQ(CTempFolder::Read(path), "old content");
            EXPECT_EQ(FilesIn(folder.Path()), 2);
            if (commit) {
                EXPECT_TRUE(replacement.Commit());
                EXPECT_FALSE(replacement.Commit());
            }
        }
        EXPECT_EQ(CTempFolder::Read(path), commit ? "new content" : "old content");
        EXPECT_EQ(FilesIn(folder.Path()), 1) << "commit " << commit;
    }
    CTempFolder folder;
    CFileReplacement nowhere;
    EXPECT_FALSE(nowhere.Write(folder.File("missing/file"), {"x"}, Durability::Unflushed));
    EXPECT_FALSE(nowhere.Commit());
}

TEST(File, WritesWholeFilesByteForByte)
{
    CTempFolder folder;
    const std::string path = folder.Write("file", "old content");
    // No line end is translated, whatever the system.
    EXPECT_TRUE(WriteWholeFile(path, "a\r\nb\nc\r"));
    EXPECT_EQ(CTempFolder::Read(path), "a\r\nb\nc\r");
    EXPECT_FALSE(WriteWholeFile(folder.File("missing/file"), "x"));
    // Only the file itself is left: no temporary file beside it.
    EXPECT_EQ(FilesIn(folder.Path()), 1);
}
