// The whole system as a user meets it: the host program started with a private
// configuration, the example feeds served over HTTP, and a real POP3 client (curl) reading
// their items.

#include "shell/posix/ShellTestSupport.h"
#include "support/ChildProcess.h"
#include "support/HTTPTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace shelltest;

namespace {

// Runs curl against the server with the feed list as user name and returns what it prints.
std::string Fetch(int port, const std::string& listFile, const std::string& path,
                  const std::vector<std::string>& options = {})
{
    std::vector<std::string> command{"curl", "--silent", "--show-error",      "--max-time",
                                     "20",   "--user",   listFile + ":secret"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back("pop3://127.0.0.1:" + std::to_string(port) + path);
    int exitCode = -1;
    const std::string output = RunToEnd(command, exitCode);
    EXPECT_EQ(exitCode, 0) << output;
    return output;
}

} // namespace

TEST(HostEndToEnd, ServesTheExampleFeedsToAPOP3ClientAndEndsOnSIGTERM)
{
    CHTTPTestServer http;
    ASSERT_TRUE(http.IsRunning());
    ServeExampleFeeds(http);

    CSettingsSandbox sandbox;
    const int port = FreePort();
    sandbox.StoreText(std::to_string(port));
    CTempFolder folder;
    const std::string listFile = folder.Write(
        "feeds.txt", "# the offline walk-through's feeds\n" + http.Url("/news.xml") + "\n" +
                         http.Url("/notes.xml") + " ; " + kExamples + "short-template.txt\n");

    CChildProcess host;
    ASSERT_TRUE(host.Start({kHostProgram}, {{"XDG_CONFIG_HOME", sandbox.ConfigurationHome()}}));
    std::string line;
    ASSERT_TRUE(host.ReadLine(line, kPatience));
    EXPECT_EQ(line.rfind("QUILLBOX.vorlenta 0.17 beta serves POP3 on 127.0.0.1:" +
                             std::to_string(port) + " ",
                         0),
              0u)
        << line;

    const std::string list = Fetch(port, listFile, "/");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 4) << list;
    const std::string first = Fetch(port, listFile, "/1");
    EXPECT_TRUE(Contains(first, "Subject: =?utf-8?Q?The_new_library_opens_on_Monday?=\r\n"))
        << first;
    EXPECT_TRUE(Contains(first, "<b>town library</b>")) << first;
    // The ISO-8859-2 feed arrives in UTF-8, through its own template.
    const std::string fourth = Fetch(port, listFile, "/4");
    EXPECT_TRUE(Contains(fourth, "<h3><a href=\"http://127.0.0.1:8000/pangram.html\">"
                                 "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85"
                                 " ja\xC5\xBA\xC5\x84</a></h3>"))
        << fourth;

    // A deleted item is remembered beside the feed list and not served again.
    Fetch(port, listFile, "/1", {"--request", "DELE", "--head"});
    // The server answers QUIT once the store is written, and curl waits for that answer.
    const std::string store = CTempFolder::Read(listFile + ".UIDL");
    EXPECT_EQ(store.size(), 42u) << store; // the uid, a blank, the identity and LF
    const std::string after = Fetch(port, listFile, "/");
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 3) << after;

    host.RequestTermination();
    int exitCode = -1;
    ASSERT_TRUE(host.Wait(kPatience, exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(host.ReadToEnd(kPatience), "QUILLBOX.vorlenta 0.17 beta stopped.\n");
    EXPECT_FALSE(IsListening(port));
}
