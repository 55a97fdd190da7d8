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

TEST(File, WritesWholeFilesByteForByte)
{
    CTempFolder folder;
    const std::string path = folder.Write("file", "old content");
    // No line end is translated, whatever the system.
    EXPECT_TRUE(WriteWholeFile(path, "a\r\nb\nc\r"));
    EXPECT_EQ(CTempFolder::Read(path), "a\r\nb\nc\r");
    EXPECT_FALSE(WriteWholeFile(folder.File("missing/file"), "x"));
    // Only the file itself is left: no temporary file beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}
