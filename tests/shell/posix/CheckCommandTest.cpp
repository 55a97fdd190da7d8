// "quillbox check" as a user runs it: a feed list on disk, its feeds on local HTTP servers,
// one for each way a feed can give nothing, and the report read back from the program.

#include "feed/FeedDocumentInternal.h"
#include "render/Template.h"
#include "shell/posix/ShellTestSupport.h"
#include "support/HTTPTestServer.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace shelltest;

namespace {

const char kGoodFeed[] = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>t</title>"
                         "<item><guid>a</guid><title>A</title></item>"
                         "<item><guid>b</guid><title>B</title></item></channel></rss>";

// The report line of the feed at `url`, or empty.
std::string LineOf(const std::string& report, const std::string& url)
{
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find(". ");
        if (start != std::string::npos && line.compare(start + 2, url.size() + 1, url + " ") == 0)
            return line;
        if (start != std::string::npos && line.compare(start + 2, url.size() + 1, url + ":") == 0)
            return line;
    }
    return std::string();
}

class CheckCommand : public ::testing::Test
{
protected:
    std::string Check(const std::vector<std::string>& arguments, int& exitCode)
    {
        std::vector<std::string> command{kHostProgram, "check"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return RunToEnd(command, exitCode);
    }

    CTempFolder m_folder;
    CHTTPTestServer m_server;
};

} // namespace

TEST_F(CheckCommand, NamesWhyEachFeedGivesNothingAndCountsTheRest)
{
    CHTTPTestServer wrongHost(TestCertificateFile("wrong-host.pem"),
                              TestCertificateFile("wrong-host.key"));
    m_server.Serve("/good.xml", CHTTPTestServer::OkResponse(kGoodFeed));
    m_server.Serve("/latin2.xml", CHTTPTestServer::OkResponse(
                                      "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>"
                                      "<rss version=\"2.0\"><channel><item><title>\xB1</title>"
                                      "</item></channel></rss>"));
    m_server.Serve("/moved", CHTTPTestServer::RedirectResponse(301, m_server.Url("/good.xml")));
    m_server.Serve("/loop", CHTTPTestServer::RedirectResponse(302, m_server.Url("/loop")));
    m_server.Serve("/broken.xml",
                   CHTTPTestServer::OkResponse("<rss version=\"2.0\">\n<channel>\n  <item>\n"
                                               "    <title>x</titel>\n</channel></rss>"));
    m_server.Serve("/atom.xml", CHTTPTestServer::OkResponse(
                                    "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry/></feed>"));
    m_server.Serve("/rdf.xml", CHTTPTestServer::OkResponse(
                                   "<r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                                   "xmlns=\"http://purl.org/rss/1.0/\"><item/><item/></r:RDF>"));
    m_server.Serve("/page.html", CHTTPTestServer::OkResponse(
                                     "<!DOCTYPE html>\n<html><head><link rel=alternate></head>"));
    const std::string templatePath =
        m_folder.Write("subject-only.txt", "Subject: %E/title%\r\n\r\n%/title%\r\n");
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreePort()) + "/feed";
    const std::string list = m_folder.Write(
        "list.txt", "# mine\n" + m_server.Url("/good.xml") + "\n" + m_server.Url("/latin2.xml") +
                        " ; " + templatePath + "\n" + m_server.Url("/moved") +
                        " ; no-such-template.txt\n" + m_server.Url("/missing.xml") + "\n" +
                        m_server.Url("/loop") + "\n" + wrongHost.Url("/feed.xml") + "\n" +
                        m_server.Url("/broken.xml") + "\n" + m_server.Url("/atom.xml") + "\n" +
                        m_server.Url("/rdf.xml") + "\n" + m_server.Url("/page.html") + "\n" +
                        refused + "\n");
    // One item of the good feed was deleted before; checking must not change the store.
    const std::string deleted = ParseFeed(kGoodFeed, kBuiltInTemplate)[0].uid;
    m_folder.Write("list.txt.UIDL", deleted + "\n");

    int exitCode = -1;
    const std::string report = Check({list}, exitCode);
    EXPECT_EQ(exitCode, 1) << report;
    const struct
    {
        std::string url;
        std::vector<std::string> parts;
    } expectations[] = {
        {m_server.Url("/good.xml"),
         {": 1 message (1 of 2 items deleted before)", "HTTP 200", "RSS 2.0 with 2 items",
          "built-in template"}},
        {m_server.Url("/latin2.xml"),
         {": 1 message;", "ISO-8859-2 converted to UTF-8", "template " + templatePath}},
        {m_server.Url("/moved"),
         {" -> " + m_server.Url("/good.xml") + ": 1 message",
          "template no-such-template.txt NOT FOUND (or empty), built-in template used"}},
        {m_server.Url("/missing.xml"), {": NO MESSAGES: server answered 404", "HTTP 404"}},
        {m_server.Url("/loop"), {": NO MESSAGES: redirected more than 10 times"}},
        {wrongHost.Url("/feed.xml"), {": NO MESSAGES: certificate not valid for this host"}},
        {m_server.Url("/broken.xml"), {": NO MESSAGES: not well-formed XML at line 4, column"}},
        {m_server.Url("/atom.xml"), {": 1 message;", "Atom 1.0 with 1 entry;"}},
        {m_server.Url("/rdf.xml"), {": 2 messages;", "RSS 1.0 with 2 items;"}},
        {m_server.Url("/page.html"), {": NO MESSAGES: this is a web page, not a feed"}},
        {refused, {": NO MESSAGES: cannot connect"}},
    };
    for (const auto& expected : expectations) {
        const std::string line = LineOf(report, expected.url);
        for (const std::string& part : expected.parts)
            EXPECT_TRUE(Contains(line, part)) << part << " in:\n" << line << "\nof:\n" << report;
    }
    EXPECT_TRUE(Contains(report, "\n11 feeds, 6 messages, 6 feeds with problems\n")) << report;
    EXPECT_EQ(CTempFolder::Read(m_folder.File("list.txt.UIDL")), deleted + "\n");

    // The same as JSON that a JSON reader takes.
    const std::string json = Check({"--json", list}, exitCode);
    EXPECT_EQ(exitCode, 1);
    const std::string summary =
        RunToEnd({"python3", "-c",
                  "import json, sys; r = json.load(sys.stdin); "
                  "print(len(r['feeds']), r['summary']['messages'], r['feeds'][3]['problem'])"},
                 exitCode, {}, json);
    EXPECT_EQ(summary, "11 6 server answered 404\n") << json;
}

TEST_F(CheckCommand, ExitsWithZeroOnlyWhenEveryFeedGivesMessages)
{
    m_server.Serve("/good.xml", CHTTPTestServer::OkResponse(kGoodFeed));
    std::string list;
    for (int feed = 0; feed < 61; ++feed)
        list += m_server.Url("/good.xml") + "\n";
    int exitCode = -1;
    std::string report = Check({m_folder.Write("61.txt", list)}, exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(Contains(report, "61. " + m_server.Url("/good.xml") +
                                     ": NO MESSAGES: more than 60 feeds: lines from 61 on "
                                     "are ignored\n"))
        << report;

    report = Check({m_folder.Write("one.txt", m_server.Url("/good.xml"))}, exitCode);
    EXPECT_EQ(exitCode, 0) << report;
    EXPECT_TRUE(Contains(report, "1 feed, 2 messages, 0 feeds with problems")) << report;
}

TEST_F(CheckCommand, SaysWhyATemplateThatIsThereIsNotRead)
{
    m_server.Serve("/good.xml", CHTTPTestServer::OkResponse(kGoodFeed));
    const std::string copy = m_folder.Write("feed.copy", "QUILLBOX feed copy 1\nurl: x\n\n");
    const struct
    {
        std::string file;
        std::string reason;
    } cases[] = {
        {"/proc/self/status", "the system makes up its content"},
        {copy, "it is a copy of a feed that QUILLBOX keeps"},
    };
    for (const auto& testCase : cases) {
        int exitCode = -1;
        const std::string report = Check(
            {m_folder.Write("list.txt", m_server.Url("/good.xml") + ";" + testCase.file + "\n")},
            exitCode);
        EXPECT_TRUE(Contains(report, "template " + testCase.file + " NOT READ: " + testCase.reason))
            << report;
        EXPECT_TRUE(Contains(report, "built-in template used")) << report;
    }
}

TEST_F(CheckCommand, SaysWhyTheListItselfCannotBeRead)
{
    const struct
    {
        std::string list;
        std::string reason;
    } cases[] = {
        {m_folder.File("absent.txt"), "not found"},
        {m_folder.Path().string(), "a folder, not a file"},
        {"~/feeds.txt", "\"~\" is not expanded"},
        {m_folder.Write("shared.txt", m_server.Url("/good.xml")), "other users may write to it"},
        // The administrator's or the user's, but with content others chose.
        {"/proc/self/status", "the system makes up its content"},
        {m_folder.Write("feed.copy", "QUILLBOX feed copy 1\nurl: " + m_server.Url("/good.xml") +
                                         "\n\n" + m_server.Url("/good.xml") + "\n"),
         "a copy of a feed that QUILLBOX keeps"},
    };
    std::filesystem::permissions(cases[3].list, std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    for (const auto& testCase : cases) {
        int exitCode = -1;
        const std::string report = Check({testCase.list}, exitCode);
        EXPECT_EQ(exitCode, 2) << report;
        EXPECT_TRUE(Contains(report, testCase.reason)) << report;
    }
}
