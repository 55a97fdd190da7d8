// The Windows build as a user meets it: the Windows host program, quillbox.exe, under Wine
// with the Windows plug-in beside it, serving feeds of a Linux HTTP server to Linux POP3
// clients (curl and fetchmail), with its port in the registry of the Wine prefix.
// Runs when QUILLBOX_WINDOWS_BUILD names the Windows build folder and QUILLBOX_WINE the Wine
// loader (tools/run-windows-plugin-tests.sh sets both, with WINEPREFIX); skipped otherwise.

#include "shell/posix/ShellTestSupport.h"
#include "support/FetchmailClient.h"
#include "support/HTTPTestServer.h"
#include "support/MailServerUnderTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace shelltest;

namespace {

const char kRegistryKey[] = "HKCU\\Software\\vorlenta.software\\QUILLBOX";
constexpr int kWinePatience = CMailServerUnderTest::kWinePatience;

// Runs a Windows program of the Wine prefix (reg, say) to its end; returns its exit status.
int RunWine(std::vector<std::string> command)
{
    command.insert(command.begin(), EnvironmentValue("QUILLBOX_WINE"));
    CChildProcess process;
    int exitCode = -1;
    if (!process.Start(command))
        return exitCode;
    process.ReadToEnd(kWinePatience);
    process.Wait(kWinePatience, exitCode);
    return exitCode;
}

class WindowsHostEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (EnvironmentValue("QUILLBOX_WINDOWS_BUILD").empty() ||
            EnvironmentValue("QUILLBOX_WINE").empty())
            GTEST_SKIP() << "no Windows build given (QUILLBOX_WINDOWS_BUILD, QUILLBOX_WINE)";
    }
    void TearDown() override { RemoveKey(); }

    static void StorePort(int port)
    {
        ASSERT_EQ(RunWine({"reg", "add", kRegistryKey, "/v", "LocalPort", "/t", "REG_DWORD", "/d",
                           std::to_string(port), "/f"}),
                  0);
    }
    static void RemoveKey()
    {
        RunWine({"reg", "delete", "HKCU\\Software\\vorlenta.software", "/f"});
    }

    // Starts quillbox.exe and returns the first line it prints.
    std::string StartHost()
    {
        const std::string program = EnvironmentValue("QUILLBOX_WINDOWS_BUILD") + "/quillbox.exe";
        EXPECT_TRUE(m_host.Start({EnvironmentValue("QUILLBOX_WINE"), program}));
        std::string line;
        EXPECT_TRUE(m_host.ReadLine(line, kWinePatience));
        return line;
    }

    CChildProcess m_host;
};

std::size_t CountLines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST_F(WindowsHostEndToEnd, ServesFeedsToLinuxClientsAndRemembersWhatFetchmailDeleted)
{
    CHTTPTestServer http;
    ASSERT_TRUE(http.IsRunning());
    ServeExampleFeeds(http);
    const int port = FreePort();
    StorePort(port);
    CTempFolder folder;
    const std::string listFile = folder.Write(
        "feeds.txt", http.Url("/news.xml") + "\r\n" + http.Url("/notes.xml") + " ; " +
                         WindowsPathUnderWine(kExamples + "short-template.txt") + "\r\n");
    const std::string user = WindowsPathUnderWine(listFile);

    EXPECT_EQ(StartHost().rfind("QUILLBOX.vorlenta 0.17 beta serves POP3 on 127.0.0.1:" +
                                    std::to_string(port) + " ",
                                0),
              0u);
    int exitCode = -1;
    const std::string list =
        RunToEnd({"curl", "--silent", "--show-error", "--max-time", "60", POP3Url(port, user, "/")},
                 exitCode);
    EXPECT_EQ(CountLines(list), 4u) << list;
    const std::string fourth = RunToEnd(
        {"curl", "--silent", "--show-error", "--max-time", "60", POP3Url(port, user, "/4")},
        exitCode);
    // The ISO-8859-2 feed arrives in UTF-8, through its own template.
    EXPECT_TRUE(Contains(fourth, "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85"))
        << fourth;

    // fetchmail collects and deletes all four; the store beside the list keeps their uids.
    std::string output;
    const std::string mailbox = folder.File("mbox");
    EXPECT_EQ(RunFetchmail(folder, static_cast<std::uint16_t>(port), user, mailbox, output), 0)
        << output;
    std::string store;
    for (int wait = 0; wait < 1000 && CountLines(store) < 4; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        store = CTempFolder::Read(listFile + ".UIDL");
    }
    EXPECT_EQ(CountLines(store), 4u) << store;
    EXPECT_EQ(RunFetchmail(folder, static_cast<std::uint16_t>(port), user, mailbox, output), 1)
        << output;
    EXPECT_TRUE(Contains(CTempFolder::Read(mailbox), "<b>town library</b>"));
}

TEST_F(WindowsHostEndToEnd, SaysSoWhenTheStoredPortIsHeldOnTheLinuxSide)
{
    CBusyPort busy;
    StorePort(busy.Port());
    const std::string line = StartHost();
    EXPECT_TRUE(Contains(line, "cannot serve POP3 on 127.0.0.1:" + std::to_string(busy.Port())))
        << line;
    int exitCode = -1;
    ASSERT_TRUE(m_host.Wait(kWinePatience, exitCode));
    EXPECT_EQ(exitCode, 1);
}

TEST_F(WindowsHostEndToEnd, UsesPort11100WithoutTheRegistryKey)
{
    RemoveKey();
    // Served there, or refused there when something else holds the port.
    EXPECT_TRUE(Contains(StartHost(), "127.0.0.1:11100"));
}

TEST_F(WindowsHostEndToEnd, ImportedFeedListHasTheLinuxLineEnds)
{
    CTempFolder folder;
    const std::string opml =
        folder.Write("subscriptions.opml",
                     "<opml version=\"2.0\"><body><outline text=\"News\">"
                     "<outline type=\"rss\" text=\"Daily\" xmlUrl=\"http://news.example/rss\"/>"
                     "<outline type=\"rss\" text=\"Town\" xmlUrl=\"http://town.example/feed\"/>"
                     "</outline></body></opml>");
    const std::string program = EnvironmentValue("QUILLBOX_WINDOWS_BUILD") + "/quillbox.exe";
    ASSERT_TRUE(m_host.Start(
        {EnvironmentValue("QUILLBOX_WINE"), program, "import-opml", WindowsPathUnderWine(opml)}));
    const std::string output = m_host.ReadToEnd(kWinePatience);
    EXPECT_TRUE(Contains(output, "# News / Daily\nhttp://news.example/rss\n"
                                 "# News / Town\nhttp://town.example/feed\n"))
        << output;
}
