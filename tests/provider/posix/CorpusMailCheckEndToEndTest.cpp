// Every document of a feed collection through the whole system: served over HTTP, listed in
// feed lists, downloaded, converted, parsed and rendered at login, and collected by a real
// POP3 client (fetchmail) that deletes what it collected, so that the next check is empty.
// The server is this build's, or the Windows build's under Wine (see MailServerUnderTest.h):
// the clients are Linux programs, run as children of the test.
#include "feed/FeedDocumentInternal.h"
#include "http/FeedLink.h"
#include "provider/FeedList.h"
#include "provider/MessageProviderRSS.h"
#include "provider/SeenStore.h"
#include "render/Charset.h"
#include "render/Template.h"
#include "support/ChildProcess.h"
#include "support/FeedCollection.h"
#include "support/FetchmailClient.h"
#include "support/HTTPTestServer.h"
#include "support/LineClient.h"
#include "support/MailServerUnderTest.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

// Feed lists over a collection in manifest order, each within the limits of one list: at most
// kMaxFeeds feeds, and few enough items that the seen store keeps every one of them.
struct FeedList
{
    std::string lines;
    std::size_t items = 0;
};

std::vector<FeedList> MakeFeedLists(const CHTTPTestServer& http,
                                    const std::vector<FeedDocument>& documents)
{
    const std::size_t maxItems = CSeenStore::kMaxSeen - 100;
    std::vector<FeedList> lists(1);
    std::size_t feeds = 0;
    for (const FeedDocument& document : documents) {
        const std::size_t items = document.messages;
        if (feeds == kMaxFeeds || lists.back().items + items > maxItems) {
            lists.emplace_back();
            feeds = 0;
        }
        lists.back().lines += http.Url("/" + document.file) + "\n";
        lists.back().items += items;
        ++feeds;
    }
    return lists;
}

std::size_t CountOccurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A header line of the built-in template, once in every message. fetchmail hands messages to
// its delivery command with LF line ends.
const char kMarker[] = "\nX-QUILLBOX: vorlenta\n";

std::string WithLFLineEnds(std::string text)
{
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

// The message a RETR reply carries after its status line: without the line end and the dot
// that end the reply, and without the dot the server put before each line that began with one.
std::string RetrievedMessage(const std::string& reply)
{
    std::string text;
    for (std::size_t at = 0; at + 5 < reply.size(); ++at) {
        if (reply[at] != '.' || (at > 0 && reply[at - 1] != '\n'))
            text += reply[at];
    }
    return text;
}

std::size_t LongestLine(const std::string& text)
{
    std::size_t longest = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        longest = std::max(longest, end - start);
    return std::max(longest, text.size() - start);
}

// Whether a line could have been broken: it has a blank after its first byte that no
// angle brackets enclose.
bool HasBlankOutsideTags(const std::string& line)
{
    int depth = 0;
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] == '<')
            ++depth;
        else if (line[at] == '>' && depth > 0)
            --depth;
        else if ((line[at] == ' ' || line[at] == '\t') && depth == 0 && at > 0)
            return true;
    }
    return false;
}

// Checks what a message's bytes alone can tell: CR LF as the only line end, no line over 998
// bytes unless nothing outside its tags can break it, no encoded word over 75 characters.
void ExpectMessageLines(const std::string& text, const std::string& file)
{
    std::size_t lineStart = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at == text.size() || text[at] == '\r' || text[at] == '\n') {
            ASSERT_TRUE(at == text.size() ||
                        (text.compare(at, 2, "\r\n") == 0 && (at == 0 || text[at - 1] != '\r')))
                << file << " at byte " << at;
            const std::string line = text.substr(lineStart, at - lineStart);
            EXPECT_TRUE(line.size() <= 998 || !HasBlankOutsideTags(line))
                << file << ": " << line.substr(0, 200);
            lineStart = at + 2;
            ++at;
        }
    }
    const std::string header = text.substr(0, text.find("\r\n\r\n"));
    for (std::size_t word = header.find("=?"); word != std::string::npos;
         word = header.find("=?", word + 2)) {
        const std::size_t end = header.find_first_of(" \t\r\n", word);
        EXPECT_LE((end == std::string::npos ? header.size() : end) - word, 75u) << file;
    }
}

// Renders each item of `document` to whether it, or else its channel, gives any date.
const char kDateProbe[] = "%/pubDate%%/dc:date%%-/pubDate%%-/lastBuildDate%%-/dc:date%";

// Reads records of a converted document ("D" and its bytes) or of one of its messages ("M",
// "d" when the feed gives a date for it or "-", and the bytes), each ended by a NUL byte, and
// prints what mail clients would read wrongly: a message that is not UTF-8 though its
// document is, a date that Python's mail module cannot read though the feed gives one in a
// form it could (dates in other forms, such as with localised names, stay as they are).
const char kMessageCheck[] = R"(
import email.utils, re, sys
document_is_utf8 = True
for record in open(sys.argv[1], 'rb').read().split(b'\0')[:-1]:
    kind, text = record[:1], record[1:]
    if kind == b'D':
        try:
            text.decode('utf-8'); document_is_utf8 = True
        except UnicodeDecodeError:
            document_is_utf8 = False
        continue
    dated, text = text[:1], text[1:]
    if document_is_utf8:
        try:
            text.decode('utf-8')
        except UnicodeDecodeError as error:
            print('not UTF-8:', text[max(0, error.start - 30):error.end + 30])
    date = re.search(rb'^Date:[ \t]*([^\r\n]*)', text.split(b'\r\n\r\n')[0], re.M | re.I)
    value = date.group(1).strip().decode('utf-8', 'replace') if date else ''
    if dated == b'd':
        try:
            email.utils.parsedate_to_datetime(value)
        except Exception:
            if not value or re.match(r'\d{4}-\d\d-\d\d', value):
                print('unreadable date:', repr(value))
)";

} // namespace

using MailCheckOverFeedsEndToEnd = CFeedCollectionTest;

TEST_P(MailCheckOverFeedsEndToEnd, EveryItemArrivesOnceThroughARealClient)
{
    CHTTPTestServer http;
    ASSERT_TRUE(http.IsRunning());
    std::size_t expected = 0;
    // A web page of the collection that links to its feed would send the login to the feed's
    // real server: such pages are left out.
    std::vector<FeedDocument> documents;
    for (const FeedDocument& document : m_documents) {
        const std::string text = GetParam().Read(document);
        if (IsWebPage(std::string(), text) && !FindFeedLink(text, http.Url("/")).empty())
            continue;
        http.Serve("/" + document.file, CHTTPTestServer::OkResponse(text));
        expected += document.messages;
        documents.push_back(document);
    }

    CTempFolder folder;
    CMailServerUnderTest server;
    ASSERT_NE(server.GetPort(), 0);
    std::size_t delivered = 0;
    const std::vector<FeedList> lists = MakeFeedLists(http, documents);
    for (std::size_t index = 0; index < lists.size(); ++index) {
        const std::string list =
            folder.Write("feeds" + std::to_string(index) + ".txt",
                         "# part " + std::to_string(index) + "\n" + lists[index].lines);
        const std::string mailbox = folder.File("mailbox" + std::to_string(index));
        // The messages the server serves, made by a provider of this build beforehand: a
        // Windows server must serve the very same bytes.
        const MessageList served = CMessageProviderRSS(list, "x").GetMessages().messages;
        // The server sends each of them byte for byte: read by a client of our own, which
        // then leaves without deleting anything.
        {
            CLineClient client(server.GetPort(), std::chrono::minutes(1));
            client.ReadLine();
            client.Command("USER " + server.FileName(list));
            ASSERT_EQ(client.Command("PASS x").rfind("+OK", 0), 0u) << list;
            for (std::size_t number = 1; number <= served.size(); ++number) {
                ASSERT_EQ(client.Command("RETR " + std::to_string(number)).rfind("+OK", 0), 0u);
                EXPECT_EQ(RetrievedMessage(client.ReadMultiLine()), served[number - 1].text)
                    << number;
            }
            EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
        }
        ASSERT_TRUE(server.WaitForSessions());
        std::string output;
        // fetchmail says "no mail" (1) for a list without items.
        EXPECT_EQ(RunFetchmail(folder, server.GetPort(), server.FileName(list), mailbox, output),
                  served.empty() ? 1 : 0)
            << output;
        ASSERT_TRUE(server.WaitForSessions());
        const std::string collected = CTempFolder::Read(mailbox);
        EXPECT_EQ(CountOccurrences(collected, kMarker), served.size()) << list;
        // Each item is stored once, also when a feed repeats it.
        std::set<std::string> entries;
        for (const MessageEntry& message : served)
            entries.insert(CSeenStore::SeenEntry(message));
        EXPECT_EQ(CSeenStore(list).LoadSeen().size(), entries.size());
        delivered += CountOccurrences(collected, kMarker);
        // fetchmail's copy of each message is the served text, in order, but for the line
        // ends it gives to its delivery command and the header lines it puts in front. It
        // damages lines of several kilobytes, which a few messages keep where nothing outside
        // a tag can break them.
        std::size_t position = 0;
        for (const MessageEntry& message : served) {
            if (LongestLine(message.text) > 998)
                continue;
            const std::size_t found = collected.find(WithLFLineEnds(message.text), position);
            ASSERT_NE(found, std::string::npos) << message.text.substr(0, 300);
            position = found + 1;
        }

        // Everything collected was deleted: the next check finds nothing new.
        EXPECT_EQ(RunFetchmail(folder, server.GetPort(), server.FileName(list), mailbox, output), 1)
            << output;
        ASSERT_TRUE(server.WaitForSessions());
        EXPECT_EQ(CTempFolder::Read(mailbox), collected);
    }
    // Documents the XML library alone does not read give at most their complete items.
    EXPECT_LE(delivered, expected);
    EXPECT_GT(delivered, 0u);
}

TEST_P(MailCheckOverFeedsEndToEnd, EveryMessageIsReadTheSameByEveryMailClient)
{
    // Each document as a login converts, parses and renders it.
    CTempFolder folder;
    std::string records;
    std::size_t messageCount = 0;
    for (const FeedDocument& entry : m_documents) {
        std::string document = GetParam().Read(entry);
        ConvertToUtf8(document);
        const MessageList messages = ParseFeed(document, kBuiltInTemplate);
        if (messages.empty())
            continue;
        const MessageList dates = ParseFeed(document, kDateProbe);
        ASSERT_EQ(dates.size(), messages.size()) << entry.file;
        records += "D" + document.substr(0, document.find('\0')) + '\0';
        for (std::size_t index = 0; index < messages.size(); ++index) {
            const std::string& text = messages[index].text;
            ExpectMessageLines(text, entry.file);
            records += std::string("M") + (dates[index].text.empty() ? "-" : "d") + text + '\0';
            ++messageCount;
        }
    }
    EXPECT_GT(messageCount, 0u);

    CChildProcess python;
    ASSERT_TRUE(python.Start({"python3", "-c", kMessageCheck, folder.Write("records", records)}));
    const std::string problems = python.ReadToEnd(60000);
    int exitCode = -1;
    ASSERT_TRUE(python.Wait(1000, exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(problems, "");
}

INSTANTIATE_FEED_COLLECTION_TESTS(MailCheckOverFeedsEndToEnd);
