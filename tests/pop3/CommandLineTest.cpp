#include "pop3/CommandLine.h"

#include <gtest/gtest.h>

#include <string>

TEST(CommandLine, NamesCommandsByTheirFirstFourBytesAndReadsTheirArguments)
{
    using Command = POP3Command;
    EXPECT_EQ(ParseCommand("quit\r\n"), Command::Quit);
    EXPECT_EQ(ParseCommand("QUITTING\r\n"), Command::Quit);
    EXPECT_EQ(ParseCommand("uSeR x\r\n"), Command::User);
    EXPECT_EQ(ParseCommand("top 1 2\r\n"), Command::Top);
    EXPECT_EQ(ParseCommand("TOP\r\n"), Command::Unknown);
    EXPECT_EQ(ParseCommand("TOP\t1 2\r\n"), Command::Unknown);
    EXPECT_EQ(ParseCommand("ABC\r\n"), Command::Unknown);
    EXPECT_EQ(ParseCommand("NOO"), Command::Unknown);

    EXPECT_EQ(SplitArguments("TOP \t 1\t\t5  extra\r\n"),
              std::make_pair(std::string("1"), std::string("5")));
    EXPECT_EQ(SplitArguments("LIST\r\n"), std::make_pair(std::string(), std::string()));

    EXPECT_EQ(ParseNumber("007"), 7);
    for (const char* notANumber : {"", "+1", "-1", "1x", "x"})
        EXPECT_EQ(ParseNumber(notANumber), -1) << notANumber;
    EXPECT_EQ(ParseNumber("4294967297"), 1); // wraps at 32 bits
    EXPECT_EQ(TwoNumbers("TOP 2 x\r\n"), std::make_pair(2, -1));
}

TEST(CommandLine, TellsAnHTTPRequestLineFromACommand)
{
    for (const char* request : {"GET / HTTP/1.1", "POST /x?a=b HTTP/1.0", "OPTIONS * HTTP/1.1"})
        EXPECT_TRUE(IsHTTPRequestLine(request + std::string("\r\n"))) << request;
    for (const char* line : {"USER /home/me/list.txt", "GET / HTTP/2.0", "GET  / HTTP/1.1",
                             "GET / HTTP/1.1 x", "GET HTTP/1.1", "GET / HTTP/1.1\n"})
        EXPECT_FALSE(IsHTTPRequestLine(line + std::string("\r\n"))) << line;
}
