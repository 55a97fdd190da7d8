#include "pop3/POP3Session.h"

#include "pop3/CommandLine.h"
#include "pop3/Replies.h"

#include <stdexcept>

CPOP3Session::CPOP3Session(std::unique_ptr<ILineChannel> channel, IMessageProviderFactory* factory,
                           std::shared_ptr<CCommitGate> commitGate)
    : m_channel(std::move(channel)), m_factory(factory),
      m_commitGate(commitGate ? std::move(commitGate) : std::make_shared<CCommitGate>())
{}

CPOP3Session::~CPOP3Session()
{
    m_provider.reset();
}

void CPOP3Session::Run()
{
    m_channel->SendLine(pop3reply::kWelcome);
    for (bool firstLine = true;; firstLine = false) {
        const std::string line = m_channel->ReadLine();
        if (firstLine && IsHTTPRequestLine(line))
            return;
        const POP3Command command = ParseCommand(line);
        if (m_password.empty() && !IsAcceptedBeforeLogin(command)) {
            m_channel->SendLine(pop3reply::kNotAuthorized);
            continue;
        }
        switch (command) {
        case POP3Command::Noop:
            m_channel->SendLine(pop3reply::kNoOperation);
            break;
        case POP3Command::User:
            OnUser(line);
            break;
        case POP3Command::Pass:
            OnPass(line);
            break;
        case POP3Command::Top:
            OnTop(line);
            break;
        case POP3Command::Retr:
            OnRetr(line);
            break;
        case POP3Command::Uidl:
            OnUidl(line);
            break;
        case POP3Command::List:
            OnList(line);
            break;
        case POP3Command::Stat:
            OnStat();
            break;
        case POP3Command::Quit:
            OnQuit();
            return;
        case POP3Command::Dele:
            OnDele(line);
            break;
        case POP3Command::Rset:
            OnRset();
            break;
        case POP3Command::Unknown:
            m_channel->SendLine(pop3reply::kUnknownCommand);
            break;
        }
    }
}

void CPOP3Session::OnUser(const std::string& line)
{
    if (!m_user.empty()) {
        m_channel->SendLine(pop3reply::kSecondUser);
        return;
    }
    m_channel->SendLine(pop3reply::kPassRequested);
    // Whatever follows "USER" and one more byte, line end included: the provider trims it.
    m_user = line.substr(5);
}

void CPOP3Session::OnPass(const std::string& line)
{
    if (m_user.empty()) {
        m_channel->SendLine(pop3reply::kUserFirst);
        return;
    }
    if (!m_password.empty()) {
        m_channel->SendLine(pop3reply::kNotInTransaction);
        return;
    }
    m_password = SplitArguments(line).first;
    m_provider = m_factory->Create(m_user, m_password);
    if (!m_provider)
        throw std::runtime_error("no message provider");
    ProviderReply reply = m_provider->GetMessages();
    m_messages = std::move(reply.messages);
    m_marked.assign(m_messages.size(), false);
    m_channel->SendLine(reply.response);
}

void CPOP3Session::OnQuit()
{
    if (!m_provider) {
        m_channel->SendLine(pop3reply::kBye);
        return;
    }
    // The deletes are kept before the client hears so. The pass lasts until the reply is
    // out, so a stopping server lets both finish; once it has closed the gate nothing is
    // committed, and the silence tells the client so.
    const CCommitGate::CPass pass(*m_commitGate);
    if (!pass)
        throw exception("server stopping");
    MessageList deleted;
    deleted.reserve(m_deleted.size());
    for (const std::size_t index : m_deleted)
        deleted.push_back({std::string(), m_messages[index].uid, m_messages[index].identity});
    try {
        m_provider->CommitDeleted(deleted);
    } catch (const std::exception&) {
        // The client keeps the messages it deleted and learns why; the session then ends.
        m_channel->SendLine(pop3reply::kDeletionsNotKept);
        throw;
    }
    m_channel->SendLine(pop3reply::kBye);
}

void CPOP3Session::OnRset()
{
    m_deleted.clear();
    m_marked.assign(m_marked.size(), false);
    m_channel->SendLine(pop3reply::kReset);
}
