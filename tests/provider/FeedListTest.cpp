#include "provider/FeedList.h"

#include "render/Template.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

struct FeedListContent
{
    std::vector<std::string> urls;
    std::vector<std::string> templates;
};

FeedListContent ReadList(const std::string& path)
{
    FeedListContent list;
    ReadFeedList(path, list.urls, list.templates);
    EXPECT_EQ(list.urls.size(), list.templates.size());
    return list;
}

} // namespace

TEST(FeedList, ReadWholeFileDropsOnlyALeadingByteOrderMark)
{
    CTempFolder folder;
    EXPECT_EQ(ReadWholeFile(folder.Write("a", "\xEF\xBB\xBFone\r\ntwo")), "one\r\ntwo");
    EXPECT_EQ(ReadWholeFile(folder.Write("b", "x\xEF\xBB\xBF")), "x\xEF\xBB\xBF");
    EXPECT_EQ(ReadWholeFile(folder.Write("c", std::string("a\0b", 3))), std::string("a\0b", 3));
    EXPECT_EQ(ReadWholeFile(folder.Write("d", "")), "");
    EXPECT_EQ(ReadWholeFile(folder.File("missing")), "");
    EXPECT_EQ(ReadWholeFile(folder.Path().string()), ""); // a folder
}

TEST(FeedList, LinesAndTemplates)
{
    CTempFolder folder;
    const std::string own = folder.Write("own.tpl", "\xEF\xBB\xBFX-Own: yes\n");
    folder.Write("empty.tpl", "");
    const std::string list = folder.Write("feeds.txt", "\xEF\xBB\xBF"
                                                       "http://a/1\r\n"
                                                       "   \t# a comment after blanks\n"
                                                       "#http://skipped\n"
                                                       "\n"
                                                       " \t \r\n"
                                                       "  http://a/2 \t;  " +
                                                           own +
                                                           " \t\r\n"
                                                           "http://a/3;\n"
                                                           "http://a/4 ; " +
                                                           folder.File("missing.tpl") +
                                                           "\n"
                                                           "http://a/5;" +
                                                           folder.File("empty.tpl") +
                                                           "\n"
                                                           "; " +
                                                           own +
                                                           "\n"
                                                           "http://a/7 # not a comment\n"
                                                           "\xEF\xBB\xBFhttp://a/8");
    const FeedListContent content = ReadList(list);
    EXPECT_EQ(content.urls,
              (std::vector<std::string>{"http://a/1", "http://a/2", "http://a/3", "http://a/4",
                                        "http://a/5", "", "http://a/7 # not a comment",
                                        "\xEF\xBB\xBFhttp://a/8"}));
    ASSERT_EQ(content.templates.size(), 8u);
    EXPECT_EQ(content.templates[0], kBuiltInTemplate);
    EXPECT_EQ(content.templates[1], "X-Own: yes\n"); // read raw, its own mark dropped
    EXPECT_EQ(content.templates[2], kBuiltInTemplate);
    EXPECT_EQ(content.templates[3], kBuiltInTemplate);
    EXPECT_EQ(content.templates[4], kBuiltInTemplate);
    EXPECT_EQ(content.templates[5], "X-Own: yes\n");
    EXPECT_EQ(content.templates[6], kBuiltInTemplate);
}

TEST(FeedList, LimitsAndMissingLists)
{
    CTempFolder folder;
    std::string lines;
    for (int line = 1; line <= 61; ++line)
        lines += "http://feed/" + std::to_string(line) + "\n";
    const FeedListContent content = ReadList(folder.Write("feeds.txt", lines));
    ASSERT_EQ(content.urls.size(), kMaxFeeds);
    EXPECT_EQ(content.urls.back(), "http://feed/60");

    EXPECT_TRUE(ReadList(folder.File("missing.txt")).urls.empty());
    EXPECT_TRUE(ReadList(folder.Write("blank.txt", "\r\n  \n# only comments\n")).urls.empty());
}

TEST(FeedList, RelativeTemplateNamesAreFoundBesideTheList)
{
    CTempFolder folder;
    folder.Write("beside.tpl", "X-Beside: yes\n");
    const FeedListContent content =
        ReadList(folder.Write("feeds.txt", "http://a/1 ; beside.tpl\nhttp://a/2 ; nowhere.tpl"));
    ASSERT_EQ(content.templates.size(), 2u);
    EXPECT_EQ(content.templates[0], "X-Beside: yes\n");
    EXPECT_EQ(content.templates[1], kBuiltInTemplate);
}

TEST(FeedList, ATemplateFileOfMoreThanOneMegabyteIsNotRead)
{
    CTempFolder folder;
    const std::string megabyte(1024 * 1024, 'x');
    const std::string fits = folder.Write("fits.tpl", megabyte);
    const std::string marked = folder.Write("marked.tpl", "\xEF\xBB\xBF" + megabyte);
    const std::string large = folder.Write("large.tpl", megabyte + "x");
    std::vector<std::string> urls, templates;
    std::vector<FeedOutcome> outcomes;
    ReadFeedList(folder.Write("feeds.txt", "http://a/1;" + fits + "\nhttp://a/2;" + marked +
                                               "\nhttp://a/3;" + large + "\n"),
                 urls, templates, &outcomes);
    ASSERT_EQ(templates.size(), 3u);
    EXPECT_EQ(templates[0], megabyte);
    EXPECT_EQ(templates[1], megabyte);
    EXPECT_EQ(templates[2], kBuiltInTemplate);
    EXPECT_FALSE(outcomes[1].templateTooLarge);
    EXPECT_TRUE(outcomes[2].templateTooLarge);
    EXPECT_FALSE(outcomes[2].templateMissing);
}

TEST(FeedList, IsReadOnlyAsFarAsItsFirstFourMegabytes)
{
    CTempFolder folder;
    const std::string filler(4 * 1024 * 1024 - 64, '#');
    // The first line counts; the one the limit cuts and the one after it do not.
    const FeedListContent content = ReadList(folder.Write(
        "feeds.txt", "http://a/1\n" + filler + "\n" + std::string(100, 'x') + "\nhttp://a/3\n"));
    EXPECT_EQ(content.urls, std::vector<std::string>{"http://a/1"});
    // Up to the limit, a last line without LF counts.
    EXPECT_EQ(ReadList(folder.Write("short.txt", "http://a/1\n" + filler + "\nhttp://a/2")).urls,
              (std::vector<std::string>{"http://a/1", "http://a/2"}));
}
