// The host program as a user runs it: a process of its own, with a private configuration
// folder, driving the built plug-in.

#include "shell/posix/ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace shelltest;

namespace {

// Runs the host program to its end and returns its output; `exitCode` gets its status.
std::string RunHost(const std::vector<std::string>& arguments, const CSettingsSandbox& sandbox,
                    int& exitCode, const std::string& input = std::string())
{
    std::vector<std::string> command{kHostProgram};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunToEnd(command, exitCode, {{"XDG_CONFIG_HOME", sandbox.ConfigurationHome()}}, input);
}

} // namespace

TEST(HostProgram, HelpExplainsServingAndSetup)
{
    CSettingsSandbox sandbox;
    int exitCode = -1;
    const std::string output = RunHost({"--help"}, sandbox, exitCode);
    EXPECT_EQ(exitCode, 0);
    for (const char* part : {"quillbox setup", "--plugin PATH", "127.0.0.1", "SIGTERM"})
        EXPECT_TRUE(Contains(output, part)) << part << " in:\n" << output;

    EXPECT_EQ((RunHost({"--bogus"}, sandbox, exitCode), exitCode), 2);
}

TEST(HostProgram, NamesThePortAndExitsWhenItCannotServe)
{
    CSettingsSandbox sandbox;
    CBusyPort busy;
    sandbox.StoreText(std::to_string(busy.Port()));
    int exitCode = -1;
    const std::string output = RunHost({}, sandbox, exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(Contains(output, "cannot serve POP3 on 127.0.0.1:" + std::to_string(busy.Port())))
        << output;
    EXPECT_TRUE(Contains(output, "in use")) << output;
    EXPECT_FALSE(Contains(output, " serves POP3")) << output;
}

TEST(HostProgram, ReportsAPluginItCannotLoad)
{
    CSettingsSandbox sandbox;
    int exitCode = -1;
    const std::string output =
        RunHost({"--plugin", "/nonexistent/QUILLBOX.vorlenta.tbp"}, sandbox, exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(Contains(output, "cannot load plug-in /nonexistent/QUILLBOX.vorlenta.tbp"))
        << output;
}

TEST(HostProgram, SetupStoresAFreePortTypedIntoTheTerminal)
{
    CSettingsSandbox sandbox;
    sandbox.CreateKey();
    const int port = FreePort();
    int exitCode = -1;
    const std::string output = RunHost({"setup"}, sandbox, exitCode, std::to_string(port) + "\n");
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Contains(output, "QUILLBOX configuration")) << output;
    EXPECT_TRUE(Contains(output, "[ 11100]")) << output;
    EXPECT_EQ(sandbox.StoredText(), std::to_string(port) + "\n");
    // The server the dialog started on the new port ended with the program.
    EXPECT_FALSE(IsListening(port));

    // Cancel, and the end of input, change nothing.
    for (const char* input : {"c\n", ""}) {
        RunHost({"setup"}, sandbox, exitCode, input);
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(sandbox.StoredText(), std::to_string(port) + "\n");
    }
}

TEST(HostProgram, SetupSaysWhenTheTypedPortIsInUse)
{
    CSettingsSandbox sandbox;
    sandbox.CreateKey();
    CBusyPort busy;
    int exitCode = -1;
    const std::string output =
        RunHost({"setup"}, sandbox, exitCode, std::to_string(busy.Port()) + "\n");
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Contains(output, "port " + std::to_string(busy.Port()) +
                                     " is in use; QUILLBOX stays on 11100"))
        << output;
    EXPECT_EQ(sandbox.StoredText(), "(none)");
    // The folder is there, only the port is not: nothing to create.
    EXPECT_TRUE(Contains(output, "no port is stored in")) << output;
    EXPECT_FALSE(Contains(output, "create")) << output;
}

TEST(HostProgram, ImportsTheFeedsOfAnOPMLFileWithTheirFolderAndTitle)
{
    CSettingsSandbox sandbox;
    CTempFolder folder;
    const std::string opml = folder.Write("subscriptions.opml", R"(<?xml version="1.0"?>
<opml version="2.0"><head><title>mine</title></head><body>
  <outline text="News" title="News">
    <outline type="rss" text="Daily" xmlUrl="http://news.example/rss?a=1&amp;b=2"/>
    <outline text="Local"><outline type="rss" title="Town
      hall" text="unused" xmlUrl=" http://town.example/feed "/></outline>
  </outline>
  <outline type="rss" xmlUrl="http://untitled.example/;v=2"/>
  <outline type="rss" text="Daily again" xmlUrl="http://news.example/rss?a=1&amp;b=2"/>
  <outline text="a folder with no feeds"/>
</body></opml>)");
    int exitCode = -1;
    const std::string output = RunHost({"import-opml", opml}, sandbox, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Contains(output, "# News / Daily\n"
                                 "http://news.example/rss?a=1&b=2\n"
                                 "# News / Local / Town hall\n"
                                 "http://town.example/feed\n"
                                 "# http://untitled.example/;v=2\n"
                                 "http://untitled.example/%3Bv=2\n"))
        << output;
    EXPECT_FALSE(Contains(output, "Daily again")) << output;

    // No escape sequence of the file reaches the list, where printing it would replay it.
    const std::string hostile =
        folder.Write("hostile.opml",
                     "<opml><body><outline text=\"Evil\x1B]0;pwned\x07\xC2\x9B\">"
                     "<outline title=\"x\x1B[2J\" xmlUrl=\"http://e.example/\x1B[2J\xC2\x9B\xFF\"/>"
                     "</outline></body></opml>");
    const std::string hostileOutput = RunHost({"import-opml", hostile}, sandbox, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Contains(hostileOutput, "# Evil\\x1B]0;pwned\\x07\\x9B / x\\x1B[2J\n"
                                        "http://e.example/%1B[2J%C2%9B\xEF\xBF\xBD\n"))
        << hostileOutput;
    EXPECT_FALSE(Contains(hostileOutput, "\x1B")) << hostileOutput;
    EXPECT_TRUE(Contains(output, "3 feeds from")) << output;

    std::string many = "<opml><body>";
    for (int feed = 0; feed < 61; ++feed)
        many += "<outline xmlUrl=\"http://feeds.example/" + std::to_string(feed) + "\"/>";
    many += "</body></opml>";
    const std::string manyOutput =
        RunHost({"import-opml", folder.Write("many.opml", many)}, sandbox, exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Contains(manyOutput, "61 feeds: a login reads only the first 60")) << manyOutput;

    std::string deep = "<opml><body>";
    for (int level = 0; level < 100000; ++level)
        deep += "<outline>";
    for (const std::string& bad :
         {folder.Write("feed.xml", "<rss><channel/></rss>"), folder.Write("broken.opml", "<opml"),
          folder.File("missing.opml"), folder.Write("deep.opml", deep)}) {
        RunHost({"import-opml", bad}, sandbox, exitCode);
        EXPECT_EQ(exitCode, 2) << bad;
    }
}
