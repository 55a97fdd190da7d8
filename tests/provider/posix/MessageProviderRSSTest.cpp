// The provider's trust in feed lists and templates as only POSIX systems decide it: by
// owners and the write bit for others (Windows guards files by access lists instead).
#include "provider/MessageProviderRSS.h"

#include "support/ProviderFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
