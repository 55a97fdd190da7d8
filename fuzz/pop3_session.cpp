// The POP3 session driven by a byte stream: the input is one client's lines, followed by
// QUIT, read by a session from memory; the replies go to memory too. Whatever the client
// sends, the session greets it first and every reply is whole: it ends in CR LF.
#include "pop3/LineChannel.h"
#include "pop3/POP3Session.h"
#include "provider/MessageProvider.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
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

// The client's lines from a text, as a connection would give them; its end closes the
// connection. What the session sends is kept.
class CMemoryLines : public ILineChannel
{
public:
    CMemoryLines(std::string input, std::string& sent) : m_input(std::move(input)), m_sent(sent) {}

    std::string ReadLine() override
    {
        const std::string::size_type end = m_input.find("\r\n", m_read);
        if (end == std::string::npos)
            throw std::runtime_error("connection closed");
        const std::string line = m_input.substr(m_read, end + 2 - m_read);
        m_read = end + 2;
        return line;
    }
    void SendLine(std::string_view text) override { m_sent.append(text); }
    void SendLines(std::initializer_list<std::string_view> pieces) override
    {
        for (const std::string_view piece : pieces)
            m_sent.append(piece);
    }

private:
    const std::string m_input;
    std::string::size_type m_read = 0;
    std::string& m_sent;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CFixedFactory factory;
    std::string sent;
    CPOP3Session session(
        std::make_unique<CMemoryLines>(
            std::string(reinterpret_cast<const char*>(data), size) + "\r\nQUIT\r\n", sent),
        &factory);
    try {
        session.Run();
    } catch (const std::exception&) {
        // The client went away without QUIT, as the input may have it.
    }
    const bool ends = sent.size() >= 2 && sent.compare(sent.size() - 2, 2, "\r\n") == 0;
    if (sent.compare(0, 4, "+OK ") != 0 || !ends) {
        std::fprintf(stderr, "the session sent:\n%s\n", sent.c_str());
        std::abort();
    }
    return 0;
}
