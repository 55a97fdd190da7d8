#include "provider/FeedListReport.h"

#include <gtest/gtest.h>

namespace {

FeedOutcome Outcome(std::size_t items, std::size_t seen, FeedFailure failure = FeedFailure::None,
                    DocumentKind kind = DocumentKind::RSS)
{
    FeedOutcome outcome;
    outcome.url = "http://a/";
    outcome.items = items;
    outcome.seen = seen;
    outcome.failure = failure;
    outcome.download.status = failure == FeedFailure::None ? "200" : "";
    outcome.bytes = 100;
    outcome.kind = kind;
    return outcome;
}

} // namespace

TEST(FeedListReport, TheExitStatusTellsWhetherEveryFeedGivesMessages)
{
    const struct
    {
        CFeedListReport report;
        int status;
    } cases[] = {
        {CFeedListReport("list", {Outcome(2, 2)}), CFeedListReport::kEveryFeedGivesMessages},
        {CFeedListReport("list", {Outcome(2, 0), Outcome(0, 0, FeedFailure::NoAnswerInTime)}),
         CFeedListReport::kSomeFeedGivesNone},
        {CFeedListReport("list", {}), CFeedListReport::kSomeFeedGivesNone},
        {CFeedListReport("list", {}, "not found"), CFeedListReport::kListUnreadable},
    };
    for (const auto& testCase : cases)
        EXPECT_EQ(testCase.report.ExitStatus(), testCase.status) << testCase.report.ListProblem();
}

TEST(FeedListReport, EachKindOfDocumentThatGivesNothingHasItsReason)
{
    const struct
    {
        FeedOutcome outcome;
        const char* problem;
    } cases[] = {
        {Outcome(3, 1), ""},
        {Outcome(0, 0, FeedFailure::NoAnswerInTime), "timed out after 45 s"},
        {Outcome(0, 0, FeedFailure::OverMessageLimit), "over the message limit of one login"},
        {Outcome(0, 0, FeedFailure::None, DocumentKind::HTML),
         "this is a web page, not a feed: look in it for the link to its RSS feed"},
        {Outcome(0, 0, FeedFailure::None, DocumentKind::Wide),
         "written in UTF-16 or UTF-32 without a byte order mark or an XML declaration that tells "
         "which: it cannot be read"},
        {Outcome(0, 0, FeedFailure::None, DocumentKind::TooDeep),
         "elements nested too deeply to be read"},
        {Outcome(0, 0), "the feed has no items"},
    };
    for (const auto& testCase : cases)
        EXPECT_EQ(CFeedListReport::Problem(testCase.outcome), testCase.problem);
}
