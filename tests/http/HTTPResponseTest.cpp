#include "http/HTTPResponse.h"

#include <gtest/gtest.h>

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
