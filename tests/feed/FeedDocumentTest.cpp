#include "feed/FeedDocument.h"

#include "provider/FeedListReport.h"
#include "provider/MessageProviderRSS.h"
#include "support/ProviderFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Rss(const std::string& items, const std::string& channelTitle = "News")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>" +
           channelTitle + "</title>\n" + items + "</channel></rss>\n";
}

std::string Item(const std::string& title, const std::string& description)
{
    return "<item><title>" + title + "</title><description>" + description +
           "</description></item>\n";
}

} // namespace

// Malformed documents as the web serves them, read through a whole login; each message shows
// "sender|subject|body".
TEST(FeedDocument, MalformedDocumentsGiveWhatTheyHold)
{
    const std::string fffd = "\xEF\xBF\xBD";
    std::string bomb = "<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    for (int level = 1; level <= 8; ++level) {
        std::string value;
        for (int copy = 0; copy < 10; ++copy)
            value += "&" + std::string(1, static_cast<char>('a' + level - 1)) + ";";
        bomb +=
            "<!ENTITY " + std::string(1, static_cast<char>('a' + level)) + " \"" + value + "\">";
    }
    bomb += "]>" + Rss(Item("&i;", "x"));
    const struct
    {
        const char* shape;
        std::string document;
        std::vector<std::string> messages;
        std::string problem = std::string(); // what `check` says of it, beyond line and column
    } cases[] = {
        {"ampersands and HTML names",
         Rss(Item("D&D and you", "a&nbsp;b&rsquo;c &copy; 2026"), "T&T News"),
         {"T&T News|D&D and you|a\xC2\xA0"
          "b\xE2\x80\x99"
          "c \xC2\xA9 2026"}},
        {"a bare less-than", Rss(Item("5 < 6", "1 <2")), {"News|5 < 6|1 <2"}},
        {"Latin-1 in UTF-8",
         Rss(Item("caf\xE9", "na\xEFve")),
         {"News|caf" + fffd + "|na" + fffd + "ve"}},
        {"the document's own entity",
         "<!DOCTYPE rss [ <!ENTITY site \"Example\"> ]>" + Rss(Item("&site; news", "by &site;")),
         {"News|Example news|by Example"}},
        {"cut off in its fourth item",
         Rss(Item("1", "a") + Item("2", "b") + Item("3", "c") + "<item><title>4</ti")
             .substr(0, 300),
         {"News|1|a", "News|2|b", "News|3|c"},
         "recovered 3 of 4 items"},
        {"an unclosed tag and a stray end tag in items",
         Rss(Item("1", "x<br>y") + Item("2", "z</b>w") + Item("3", "ok")),
         {"News|1|x <br />y", "News|2|zw", "News|3|ok"},
         "recovered 3 of 3 items"},
        {"an expansion bomb", bomb, {}, "its entities expand too far to be read"},
    };
    CProviderFixture fixture;
    const std::string templateFile =
        fixture.m_folder.Write("template.txt", "%-/title%|%/title%|%/description%");
    std::string list;
    for (std::size_t feed = 0; feed < std::size(cases); ++feed) {
        const std::string url = "http://feeds.example/" + std::to_string(feed);
        fixture.m_documents[url] = cases[feed].document;
        list += url + " ; " + templateFile + "\n";
    }
    const auto provider = fixture.MakeProvider(fixture.MakeList(list));
    provider->LocateParseErrors();
    const MessageList messages = provider->GetMessages().messages;
    const std::vector<FeedOutcome>& outcomes = provider->FeedOutcomes();
    ASSERT_EQ(outcomes.size(), std::size(cases));
    std::size_t next = 0;
    for (std::size_t feed = 0; feed < std::size(cases); ++feed) {
        const auto& test = cases[feed];
        EXPECT_EQ(outcomes[feed].items, test.messages.size()) << test.shape;
        for (const std::string& expected : test.messages) {
            ASSERT_LT(next, messages.size()) << test.shape;
            EXPECT_EQ(messages[next++].text, expected) << test.shape;
        }
        // What `check` says of the feed.
        const std::string words = outcomes[feed].salvaged
                                      ? CFeedListReport::NotWellFormed(outcomes[feed])
                                      : CFeedListReport::Problem(outcomes[feed]);
        if (test.problem.empty()) {
            EXPECT_EQ(words.find("XML"), std::string::npos) << words;
        } else {
            EXPECT_NE(words.find(test.problem), std::string::npos) << words;
        }
        if (outcomes[feed].salvaged) {
            EXPECT_EQ(words.rfind("not well-formed XML at line ", 0), 0u) << words;
        }
    }
    EXPECT_EQ(next, messages.size());
}
