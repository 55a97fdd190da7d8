#include "http/HTTPResponse.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <utility>

TEST(HTTPResponse, StatusCodeIsTheThreeDigitsOfTheStatusLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", "200"},
        {"HTTP/1.0 301 Moved Permanently\r\n", "301"},
        {"HTTP/1.0 200\r\n\r\n", "200"},
        {"HTTP/1.1 404\nServer: a b\n\n", "404"},
        {"HTTP/1.1 200", "200"},
        {"garbage", ""},
        {"", ""},
        {"ICY 200 OK\r\n", ""},
        {"HTTP/1.1 2000 OK\r\n", ""},
        {"HTTP/1.1 20 OK\r\n", ""},
        {"HTTP/1.1\n200 OK\r\n", ""},
        // A status line that runs on into lines of its own choosing gives its code alone.
        {"HTTP/1.1 200\n3. http://x/trusted:\xC2\xA0"
         "999\xC2\xA0messages\n\n",
         "200"},
        {"HTTP/1.1 2x0 OK\r\n", ""},
    };
    for (const auto& [block, code] : cases)
        EXPECT_EQ(StatusCode(block), code) << block;
}

TEST(HTTPResponse, HeaderNamesAreLowerCasedValuesTrimmedAndTheFirstOccurrenceWins)
{
    const std::string block = "HTTP/1.0 302 Found\r\n"
                              "LOCATION: \t http://first.example/feed \r\n"
                              "Location: http://second.example/feed\r\n"
                              "X-Empty:\r\n"
                              "NoColon Line\r\n"
                              "\r\n";
    const HeaderMap map = ParseHeaders(block);
    EXPECT_EQ(map.at("location"), "http://first.example/feed");
    EXPECT_EQ(map.at("x-empty"), "");
    EXPECT_EQ(map.at("nocolon line\r"), "");
    EXPECT_EQ(map.count("\r"), 1u); // the empty line
    EXPECT_EQ(GetHeader(block, "location"), "http://first.example/feed");
    EXPECT_EQ(GetHeader(block, "content-type"), "");
    // A last line without a line feed still counts; a name is not trimmed.
    EXPECT_EQ(GetHeader("HTTP/1.0 301 x\nLocation:/a", "location"), "/a");
    EXPECT_EQ(GetHeader("HTTP/1.0 301 x\nLocation :/a", "location"), "");
}

#if defined(__GLIBC__)
// A host process may set a locale in which the C library lowers "I" to another byte (a
// dotless i under Turkish rules); "LOCATION" must still be found.
TEST(HTTPResponse, CaseIsFoldedByASCIIRulesWhateverTheLocale)
{
    const CTempFolder folder;
    const std::string command = "localedef -i tr_TR -f ISO-8859-9 '" +
                                folder.File("tr_TR.ISO-8859-9") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "cannot build a Turkish locale here";
    setenv("LOCPATH", folder.Path().c_str(), 1);
    if (std::setlocale(LC_CTYPE, "tr_TR.ISO-8859-9") == nullptr)
        GTEST_SKIP() << "cannot load a Turkish locale here";
    ASSERT_NE(std::tolower('I'), 'i');

    EXPECT_EQ(GetHeader("HTTP/1.0 301 Moved\r\nLOCATION: /feed\r\n\r\n", "location"), "/feed");
    std::setlocale(LC_CTYPE, "C");
}
#endif
