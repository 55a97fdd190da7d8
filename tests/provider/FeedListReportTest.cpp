#include "provider/FeedListReport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

FeedOutcome Outcome(const std::string& url, std::size_t items, std::size_t seen,
                    FeedFailure failure = FeedFailure::None)
{
    FeedOutcome outcome;
    outcome.url = url;
    outcome.items = items;
    outcome.seen = seen;
    outcome.failure = failure;
    outcome.status = failure == FeedFailure::None ? "200" : "";
    outcome.kind = DocumentKind::RSS;
    return outcome;
}

} // namespace

TEST(FeedListReport, AFeedWhoseItemsWereAllDeletedIsNoProblemButATimeOutIs)
{
    const CFeedListReport deletedOnly("list", {Outcome("http://a/", 2, 2)});
    EXPECT_EQ(deletedOnly.ExitStatus(), CFeedListReport::kEveryFeedGivesMessages);
    std::ostringstream text;
    deletedOnly.WriteText(text);
    EXPECT_NE(text.str().find("0 messages (2 of 2 items deleted before)"), std::string::npos)
        << text.str();

    const CFeedListReport timedOut(
        "list",
        {Outcome("http://a/", 2, 0), Outcome("http://b/", 0, 0, FeedFailure::NoAnswerInTime)});
    EXPECT_EQ(timedOut.ExitStatus(), CFeedListReport::kSomeFeedGivesNone);
    text.str("");
    timedOut.WriteText(text);
    EXPECT_NE(text.str().find(" 2. http://b/: NO MESSAGES: timed out after 45 s; built-in"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("\n2 feeds, 2 messages, 1 feed with problems\n"), std::string::npos)
        << text.str();

    EXPECT_EQ(CFeedListReport("list", {}).ExitStatus(), CFeedListReport::kSomeFeedGivesNone);
}

TEST(FeedListReport, JSONStaysValidForAnyBytesInAURL)
{
    const CFeedListReport report("list", {Outcome("http://a/\xFF\"\\\n\xC3\xA9", 1, 0)});
    std::ostringstream json;
    report.WriteJSON(json);
    EXPECT_NE(json.str().find(R"("url": "http://a/)"
                              "\xEF\xBF\xBD"
                              R"(\"\\\u000a)"
                              "\xC3\xA9\""),
              std::string::npos)
        << json.str();
}
