// The provider's trust in feed lists and templates as only POSIX systems decide it: by
// owners and the write bit for others (Windows guards files by access lists instead).
#include "provider/MessageProviderRSS.h"

#include "support/ProviderFixture.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

// A process whose command line, which the system shows as a file of /proc, is `text`: a
// file that other users' processes can fill with what they like, although the
// administrator or the user owns it. Ended when the object goes.
class CProcessFile
{
public:
    explicit CProcessFile(const std::string& text) : m_process(::fork())
    {
        if (m_process == 0) {
            ::execlp("sleep", text.c_str(), "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_path = "/proc/" + std::to_string(m_process) + "/cmdline";
        // The file shows the new command line only once the child has started it.
        for (int attempt = 0; attempt < 500 && Content().compare(0, text.size(), text) != 0;
             ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~CProcessFile()
    {
        if (m_process > 0) {
            ::kill(m_process, SIGKILL);
            ::waitpid(m_process, nullptr, 0);
        }
    }
    CProcessFile(const CProcessFile&) = delete;
    CProcessFile& operator=(const CProcessFile&) = delete;

    const std::string& Path() const { return m_path; }
    std::string Content() const
    {
        std::ifstream file(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

private:
    pid_t m_process;
    std::string m_path;
};

} // namespace

TEST(MessageProviderRSS, ListsAndTemplatesOthersCouldHaveWrittenCountAsMissing)
{
    CProviderFixture fixture;
    fixture.m_documents["http://one"] = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>"
                                        "<title>News</title><item><title>Alpha</title>"
                                        "<guid>a</guid></item></channel></rss>\n";
    const std::string secret = fixture.m_folder.Write("secret.tpl", "X-Secret: yes\n");
    const std::string list = fixture.MakeList("http://one;" + secret + "\n");
    using std::filesystem::perms;
    const auto othersMayWrite = [](const std::string& path, bool allowed) {
        std::filesystem::permissions(path, perms::others_write,
                                     allowed ? std::filesystem::perm_options::add
                                             : std::filesystem::perm_options::remove);
    };
    const auto secretShown = [&] {
        const ProviderReply reply = fixture.MakeProvider(list)->GetMessages();
        EXPECT_EQ(reply.messages.size(), 1u);
        return reply.messages.at(0).text.find("X-Secret") != std::string::npos;
    };
    EXPECT_TRUE(secretShown());

    othersMayWrite(secret, true);
    EXPECT_FALSE(secretShown());
    othersMayWrite(secret, false);
    othersMayWrite(list, true);
    auto untrusted = fixture.MakeProvider(list);
    EXPECT_EQ(untrusted->GetMessages().response, "+OK no messages\r\n");
    untrusted->CommitDeleted({});
    EXPECT_FALSE(std::filesystem::exists(list + ".UIDL")); // and no store beside it
    othersMayWrite(list, false);

    // A file of another user; only the administrator can give one away.
    const std::string command = "chown 65534 '" + secret + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "cannot give a file to another user here";
    EXPECT_FALSE(secretShown());
}

// Files the user owns, or the administrator does, whose content somebody else chose: a
// process's own file under /proc (another user's process can name any template there), and
// a feed's copy (its lines are what a server sent).
TEST(MessageProviderRSS, ListsAndTemplatesWhoseContentTheUserDidNotChooseCountAsMissing)
{
    CProviderFixture fixture;
    fixture.m_documents["http://one"] = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>"
                                        "<title>News</title><item><title>Alpha</title>"
                                        "<guid>a</guid></item></channel></rss>\n";
    const std::string secretText = "X-Secret: yes\n\n<p>secret</p>\n";
    const std::string secret = fixture.m_folder.Write("secret.tpl", secretText);
    const std::string listText = "\nhttp://one;" + secret + "\n";
    const std::string copyStart = "QUILLBOX feed copy 1\nurl: http://one\n\n";
    const CProcessFile processList(listText);
    const CProcessFile processTemplate(secretText);
    ASSERT_EQ(processList.Content().compare(0, listText.size(), listText), 0);
    ASSERT_EQ(processTemplate.Content().compare(0, secretText.size(), secretText), 0);

    // The same list, as a file of the user's own, gives the secret away.
    const auto messagesOf = [&](const std::string& list) {
        return fixture.MakeProvider(list)->GetMessages().messages;
    };
    const MessageList trusted = messagesOf(fixture.MakeList(listText));
    ASSERT_EQ(trusted.size(), 1u);
    EXPECT_NE(trusted[0].text.find("X-Secret"), std::string::npos);

    const struct
    {
        const char* what;
        std::string list;
    } lists[] = {
        {"a process's file under /proc", processList.Path()},
        {"a feed's copy", fixture.m_folder.Write("copy.copy", copyStart + listText)},
        {"a list naming a process's file as its template",
         fixture.m_folder.Write("proc.txt", "http://one;" + processTemplate.Path() + "\n")},
        {"a list naming a feed's copy as its template",
         fixture.m_folder.Write(
             "copied.txt", "http://one;" +
                               fixture.m_folder.Write("template.copy", copyStart + secretText) +
                               "\n")},
    };
    for (const auto& entry : lists) {
        SCOPED_TRACE(entry.what);
        for (const MessageEntry& message : messagesOf(entry.list))
            EXPECT_EQ(message.text.find("X-Secret"), std::string::npos);
    }
    // The lists themselves are not read at all.
    EXPECT_TRUE(messagesOf(lists[0].list).empty());
    EXPECT_TRUE(messagesOf(lists[1].list).empty());
    EXPECT_EQ(messagesOf(lists[2].list).size(), 1u);
}
