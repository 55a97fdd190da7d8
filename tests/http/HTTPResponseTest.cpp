#include "http/HTTPResponse.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>

TEST(HTTPResponse, StatusCodeIsTheTextBetweenTheFirstTwoSpaces)
{
    EXPECT_EQ(StatusCode("HTTP/1.1 200 OK\r\n\r\n"), "200");
    EXPECT_EQ(StatusCode("HTTP/1.0 301 Moved Permanently\r\n"), "301");
    EXPECT_EQ(StatusCode("HTTP/1.0 200\r\n\r\n"), "");
    EXPECT_EQ(StatusCode("garbage"), "");
    EXPECT_EQ(StatusCode(""), "");
    // A status line with one space: the code runs on into the next line.
    EXPECT_EQ(StatusCode("HTTP/1.0 404\r\nServer: a b\r\n\r\n"), "404\r\nServer:");
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
