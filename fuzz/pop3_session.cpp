// The POP3 session driven by a byte stream: the input is sent to a local server as one
// client's lines, followed by QUIT, and every reply is read until the server closes.
#include "pop3/POP3Server.h"
#include "provider/MessageProvider.h"
#include "support/LineClient.h"

#include <cstdint>
#include <memory>
#include <string>

namespace {

// A mailbox of three messages, one with lines that need dot-stuffing; commits are dropped.
class CFixedProvider : public IMessageProvider
{
public:
    ProviderReply GetMessages() override
    {
        ProviderReply reply;
        reply.response = "+OK received messages\r\n";
        reply.messages = {{"Message-ID: <one>\r\n\r\nfirst\r\n.\r\n..x\r\n", "UID1"},
                          {"Subject: two\r\n\r\nsecond\n.\nend", "UID2"},
                          {"", "UID3"}};
        return reply;
    }
    void CommitDeleted(const MessageList&) override {}
};

class CFixedFactory : public IMessageProviderFactory
{
public:
    std::unique_ptr<IMessageProvider> Create(std::string, const std::string&) override
    {
        return std::make_unique<CFixedProvider>();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CFixedFactory factory;
    static CPOP3Server* const server = [] {
        auto* started = new CPOP3Server(&factory);
        started->Start(0);
        return started;
    }();
    CLineClient client(server->GetPort());
    client.Send(std::string(reinterpret_cast<const char*>(data), size) + "\r\nQUIT\r\n");
    client.ReadToClose();
    return 0;
}
