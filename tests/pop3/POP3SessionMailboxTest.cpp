#include "feed/Fingerprint.h"
#include "support/POP3TestServer.h"

#include <gtest/gtest.h>

namespace {

const char kNoSuchMessage[] = "-ERR no such message\r\n";
const char kFollows[] = "+OK message follows\r\n";

MessageEntry Entry(std::string text)
{
    return {std::move(text), "UID"};
}

} // namespace

TEST(POP3Mailbox, AnEmptyMailboxListsNothing)
{
    CPOP3TestServer server;
    auto client = server.LogIn();
    EXPECT_EQ(client->Command("STAT"), "+OK 0 0\r\n");
    client->Send("LIST\r\n");
    EXPECT_EQ(client->ReadMultiLine(), "+OK message list follows\r\n.\r\n");
    client->Send("UIDL\r\n");
    EXPECT_EQ(client->ReadMultiLine(), "+OK message list follows\r\n.\r\n");
    EXPECT_EQ(client->Command("RETR 1"), kNoSuchMessage);
    EXPECT_EQ(client->Command("TOP 1 1"), kNoSuchMessage);
    EXPECT_EQ(client->Command("DELE 1"), kNoSuchMessage);
}

TEST(POP3Mailbox, StatAndListCountEveryMessageByItsSize)
{
    CPOP3TestServer server({Entry(std::string(1200, 'a')), Entry(std::string(800, 'b'))});
    auto client = server.LogIn();
    EXPECT_EQ(client->Command("STAT"), "+OK 2 2000\r\n");
    const char kWholeList[] = "+OK message list follows\r\n1 1200\r\n2 800\r\n.\r\n";
    client->Send("LIST\r\n");
    EXPECT_EQ(client->ReadMultiLine(), kWholeList);
    client->Send("LIST word\r\n"); // not a number: the whole list
    EXPECT_EQ(client->ReadMultiLine(), kWholeList);
    EXPECT_EQ(client->Command("LIST 2"), "+OK 2 800\r\n");
    EXPECT_EQ(client->Command("list 02 7"), "+OK 2 800\r\n");
    EXPECT_EQ(client->Command("LIST 0"), kNoSuchMessage);
    EXPECT_EQ(client->Command("LIST 3"), kNoSuchMessage);
    EXPECT_EQ(client->Command("DELE 3"), kNoSuchMessage);
    EXPECT_EQ(client->Command("DELE x"), kNoSuchMessage);
}

TEST(POP3Mailbox, UidlTakesTheMessageIdOrFallsBackToTheFingerprint)
{
    const MessageList messages = {
        Entry("From: a\r\nMessage-ID: <ABC>\r\n\r\nbody\r\n"),
        Entry("Subject: x\r\n\r\nno id here\r\n"),
        Entry("X-Note: see Message-ID: \t<ABC> \t\r\n\r\nthe same value again\r\n"),
        Entry("message-id: <case matters>\r\n\r\n"),
        Entry("Message-ID: <last>"),
    };
    CPOP3TestServer server(messages);
    auto client = server.LogIn();
    client->Send("UIDL\r\n");
    EXPECT_EQ(client->ReadMultiLine(), "+OK message list follows\r\n"
                                       "1 <ABC>\r\n"
                                       "2 " +
                                           Fingerprint(messages[1].text) +
                                           "\r\n"
                                           "3 <ABC>\r\n"
                                           "4 " +
                                           Fingerprint(messages[3].text) +
                                           "\r\n"
                                           "5 <last>\r\n"
                                           ".\r\n");
    EXPECT_EQ(client->Command("UIDL 1"), "+OK 1 <ABC>\r\n");
    EXPECT_EQ(client->Command("UIDL 2"), "+OK 2 " + Fingerprint(messages[1].text) + "\r\n");
    EXPECT_EQ(client->Command("UIDL 6"), kNoSuchMessage);
}

TEST(POP3Mailbox, TopSendsTheHeadersAndAsManyBodyLinesAsAsked)
{
    CPOP3TestServer server(
        {Entry("Subject: s\r\nFrom: f\r\n\r\nb1\r\nb2\r\nb3"), Entry("A: 1\n.B: 2\n\nbody\n")});
    auto client = server.LogIn();
    const auto top = [&](const std::string& command) {
        client->Send(command + "\r\n");
        return client->ReadUntil("\n.\r\n");
    };
    const std::string headers = std::string(kFollows) + "Subject: s\r\nFrom: f\r\n\r\n";
    EXPECT_EQ(top("TOP 1 0"), headers + ".\r\n");
    EXPECT_EQ(top("TOP 1 2"), headers + "b1\r\nb2\r\n.\r\n");
    // The last piece has no line end: it gets CR LF, so that the end line is a line.
    EXPECT_EQ(top("TOP 1 10"), headers + "b1\r\nb2\r\nb3\r\n.\r\n");
    EXPECT_EQ(top("TOP 1 2147483647"), headers + "b1\r\nb2\r\nb3\r\n.\r\n");
    // Bare LF lines are never the empty CR LF line, so everything counts as header; nor do
    // they begin a line whose dot would be doubled.
    EXPECT_EQ(top("TOP 2 0"), std::string(kFollows) + "A: 1\n.B: 2\n\nbody\n.\r\n");

    EXPECT_EQ(client->Command("TOP 1"), "-ERR bad param\r\n");
    EXPECT_EQ(client->Command("TOP 1 x"), "-ERR bad param\r\n");
    EXPECT_EQ(client->Command("TOP 9 5"), kNoSuchMessage);
    EXPECT_EQ(client->Command("TOP 9"), kNoSuchMessage);
}

TEST(POP3Mailbox, RetrSendsTheTextWithLineStartDotsDoubledAndDeleKeepsItServed)
{
    // A lone "." line in a feed's text must not end the message early at the client. Only
    // CR LF ends a line: a dot after a bare LF or a bare CR stays single.
    const std::string dotted = ".first\r\n\r\n.dot line\r\n.\r\n+OK a.b\n..\r.\nend\r\n";
    const std::string stuffed = "..first\r\n\r\n..dot line\r\n..\r\n+OK a.b\n..\r.\nend\r\n";
    CPOP3TestServer server({Entry(dotted), Entry("abc")});
    auto client = server.LogIn();

    // Several commands in one piece are answered in order.
    client->Send("RETR 1\r\nRETR 2\r\nDELE 1\r\nRETR 1\r\nRETR 3\r\nRETR 0\r\n");
    const std::string first = kFollows + stuffed + "\r\n.\r\n";
    EXPECT_EQ(client->ReadExactly(first.size()), first);
    EXPECT_EQ(client->ReadMultiLine(), std::string(kFollows) + "abc\r\n.\r\n");
    EXPECT_EQ(client->ReadLine(), "+OK DELE not supported 8-)\r\n");
    EXPECT_EQ(client->ReadExactly(first.size()), first);
    EXPECT_EQ(client->ReadLine(), kNoSuchMessage);
    EXPECT_EQ(client->ReadLine(), kNoSuchMessage);
    // Sizes are those of the texts as the provider made them.
    EXPECT_EQ(client->Command("STAT"), "+OK 2 " + std::to_string(dotted.size() + 3) + "\r\n");

    client->Send("TOP 1 2\r\n");
    const std::string top = kFollows + stuffed.substr(0, 27) + ".\r\n";
    EXPECT_EQ(client->ReadExactly(top.size()), top);
}
