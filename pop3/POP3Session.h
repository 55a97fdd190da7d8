#pragma once

#include "common/TextException.h"
#include "pop3/CommitGate.h"
#include "pop3/LineChannel.h"
#include "provider/MessageProvider.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One POP3 client connection from greeting to QUIT, run on the session thread the server
// starts for it, over the lines of its connection (a CLineSocket). The session is in the
// authorization state while no non-empty PASS has been accepted and in the transaction state
// afterwards; the mailbox is the message list the provider returned at PASS, and DELE only marks
// messages for the provider to see at QUIT.
class CPOP3Session
{
public:
    // The session's own failure: the server stopped before QUIT could commit.
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // Takes ownership of `channel`, the client's lines. `factory` is not owned and must
    // outlive the session. QUIT commits through `commitGate`, the server's, which a stopping
    // server closes and waits on; a session without a server gets one of its own that nobody
    // closes.
    CPOP3Session(std::unique_ptr<ILineChannel> channel, IMessageProviderFactory* factory,
                 std::shared_ptr<CCommitGate> commitGate = nullptr);
    // Deletes the provider, then the channel, which closes the connection.
    ~CPOP3Session();
    CPOP3Session(const CPOP3Session&) = delete;
    CPOP3Session& operator=(const CPOP3Session&) = delete;

    // Greets the client and answers commands until QUIT, which commits the marked messages
    // before it answers, so that "+OK bye" means they are kept; when they cannot be kept it
    // answers "-ERR some deleted messages not removed" and ends. Any other failure (a closed or
    // failed connection, a stopping server, a client idle for CLineSocket::kIdleTimeout, a
    // provider throwing at PASS) leaves with an exception of the std::exception family and no
    // further reply; nothing is committed then. A connection whose first line is an HTTP
    // request ends at once without a reply: no POP3 client sends one, and a web page could
    // otherwise have a browser smuggle commands in after it.
    void Run();

private:
    // The unique-id value of a message: its trimmed "Message-ID:" value, or its Fingerprint
    // when the text has none.
    static std::string MessageUidl(const std::string& text);

    void OnUser(const std::string& line);
    void OnPass(const std::string& line);
    void OnQuit();
    void OnRset();

    // The mailbox commands.
    bool IsValidMessage(int number) const;
    // The valid message number the line names, or 0 after answering that there is none.
    int RequireMessage(const std::string& line);
    void OnStat();
    void OnList(const std::string& line);
    void OnUidl(const std::string& line);
    void OnTop(const std::string& line);
    void OnRetr(const std::string& line);
    void OnDele(const std::string& line);
    void ListMessages(const std::string& line,
                      const std::function<std::string(const MessageEntry&)>& value);
    // Returns message text as it is sent: every "." that begins a line (after CR LF, or at
    // the start of `text`) doubled, as the client removes one again. Otherwise a line of a
    // feed's text that is a lone "." would end the message early at the client and turn the
    // rest into replies it never asked for. A bare LF ends no line: clients that end lines
    // at CR LF alone would show a dot doubled after it. A text with no dot to double is
    // returned as it is; otherwise the result is written to `stuffed`, which it then views.
    static std::string_view DotStuffed(std::string_view text, std::string& stuffed);

    // Declared first, so that it goes last.
    std::unique_ptr<ILineChannel> m_channel;
    std::unique_ptr<IMessageProvider> m_provider;
    IMessageProviderFactory* m_factory;
    std::shared_ptr<CCommitGate> m_commitGate;
    MessageList m_messages;
    // The indexes into m_messages that DELE marked, in the order of their first DELE, and
    // for each message whether it is marked: a client may mark the same message millions of
    // times, which must cost nothing and count once.
    std::vector<std::size_t> m_deleted;
    std::vector<bool> m_marked;
    std::string m_user;
    std::string m_password;
};
