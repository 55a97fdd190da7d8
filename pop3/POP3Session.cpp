#include "pop3/POP3Session.h"

#include "common/ByteString.h"
#include "pop3/Replies.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

struct CommandEntry
{
    const char* keyword; // the first four bytes of a line, upper-cased
    CPOP3Session::Command command;
    bool acceptedBeforeLogin;
};

// A constant table, so sessions starting at the same moment share it without any set-up.
constexpr std::array<CommandEntry, 11> kCommands = {{
    {"NOOP", CPOP3Session::Command::Noop, false},
    {"USER", CPOP3Session::Command::User, true},
    {"PASS", CPOP3Session::Command::Pass, true},
    {"TOP ", CPOP3Session::Command::Top, false},
    {"RETR", CPOP3Session::Command::Retr, false},
    {"UIDL", CPOP3Session::Command::Uidl, false},
    {"LIST", CPOP3Session::Command::List, false},
    {"STAT", CPOP3Session::Command::Stat, false},
    {"QUIT", CPOP3Session::Command::Quit, true},
    {"DELE", CPOP3Session::Command::Dele, false},
    {"RSET", CPOP3Session::Command::Rset, false},
}};

bool IsAcceptedBeforeLogin(CPOP3Session::Command command)
{
    for (const CommandEntry& entry : kCommands) {
        if (entry.command == command)
            return entry.acceptedBeforeLogin;
    }
    return false;
}

// A byte that may appear in an HTTP method word.
bool IsTokenByte(char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || std::strchr("!#$%&'*+-.^_`|~", byte) != nullptr;
}

bool IsDelimiter(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

} // namespace

CPOP3Session::CPOP3Session(platform::SocketHandle socket,
                           std::shared_ptr<platform::CEvent> endEvent,
                           IMessageProviderFactory* factory,
                           std::shared_ptr<CCommitGate> commitGate)
    : CLineSocket(socket, std::move(endEvent)), m_factory(factory),
      m_commitGate(commitGate ? std::move(commitGate) : std::make_shared<CCommitGate>())
{}

CPOP3Session::~CPOP3Session()
{
    m_provider.reset();
}

void CPOP3Session::Run()
{
    SendLine(pop3reply::kWelcome);
    for (bool firstLine = true;; firstLine = false) {
        const std::string line = ReadLine();
        if (firstLine && IsHTTPRequestLine(line))
            return;
        const Command command = ParseCommand(line);
        if (m_password.empty() && !IsAcceptedBeforeLogin(command)) {
            SendLine(pop3reply::kNotAuthorized);
            continue;
        }
        switch (command) {
        case Command::Noop:
            SendLine(pop3reply::kNoOperation);
            break;
        case Command::User:
            OnUser(line);
            break;
        case Command::Pass:
            OnPass(line);
            break;
        case Command::Top:
            OnTop(line);
            break;
        case Command::Retr:
            OnRetr(line);
            break;
        case Command::Uidl:
            OnUidl(line);
            break;
        case Command::List:
            OnList(line);
            break;
        case Command::Stat:
            OnStat();
            break;
        case Command::Quit:
            OnQuit();
            return;
        case Command::Dele:
            OnDele(line);
            break;
        case Command::Rset:
            OnRset();
            break;
        case Command::Unknown:
            SendLine(pop3reply::kUnknownCommand);
            break;
        }
    }
}

CPOP3Session::Command CPOP3Session::ParseCommand(const std::string& line)
{
    if (line.size() < 4)
        return Command::Unknown;
    const std::string keyword = ToUpperASCII(line.substr(0, 4));
    for (const CommandEntry& entry : kCommands) {
        if (std::memcmp(entry.keyword, keyword.data(), 4) == 0)
            return entry.command;
    }
    return Command::Unknown;
}

bool CPOP3Session::IsHTTPRequestLine(const std::string& line)
{
    std::size_t position = 0;
    while (position < line.size() && line[position] != '\0' && IsTokenByte(line[position]))
        ++position;
    if (position == 0 || position >= line.size() || line[position] != ' ')
        return false;
    const std::size_t targetStart = ++position;
    while (position < line.size() && static_cast<unsigned char>(line[position]) > ' ')
        ++position;
    if (position == targetStart || position >= line.size() || line[position] != ' ')
        return false;
    const std::string_view version = std::string_view(line).substr(position + 1);
    return version.size() == 10 && version.compare(0, 7, "HTTP/1.") == 0 && version[7] >= '0' &&
           version[7] <= '9' && version.compare(8, 2, "\r\n") == 0;
}

std::pair<std::string, std::string> CPOP3Session::SplitArguments(const std::string& line)
{
    std::size_t position = 0;
    const auto skip = [&](bool delimiters) {
        while (position < line.size() && IsDelimiter(line[position]) == delimiters)
            ++position;
    };
    const auto word = [&] {
        const std::size_t start = position;
        skip(false);
        return line.substr(start, position - start);
    };
    skip(false);
    skip(true);
    std::string first = word();
    skip(true);
    std::string second = word();
    return {std::move(first), std::move(second)};
}

int CPOP3Session::ParseNumber(const std::string& argument)
{
    if (argument.empty())
        return -1;
    std::uint32_t value = 0;
    for (const char byte : argument) {
        if (byte < '0' || byte > '9')
            return -1;
        value = value * 10u + static_cast<std::uint32_t>(byte - '0');
    }
    return static_cast<std::int32_t>(value);
}

int CPOP3Session::FirstNumber(const std::string& line)
{
    return ParseNumber(SplitArguments(line).first);
}

std::pair<int, int> CPOP3Session::TwoNumbers(const std::string& line)
{
    const auto arguments = SplitArguments(line);
    return {ParseNumber(arguments.first), ParseNumber(arguments.second)};
}

void CPOP3Session::OnUser(const std::string& line)
{
    if (!m_user.empty()) {
        SendLine(pop3reply::kSecondUser);
        return;
    }
    SendLine(pop3reply::kPassRequested);
    // Whatever follows "USER" and one more byte, line end included: the provider trims it.
    m_user = line.substr(5);
}

void CPOP3Session::OnPass(const std::string& line)
{
    if (m_user.empty()) {
        SendLine(pop3reply::kUserFirst);
        return;
    }
    if (!m_password.empty()) {
        SendLine(pop3reply::kNotInTransaction);
        return;
    }
    m_password = SplitArguments(line).first;
    m_provider = m_factory->Create(m_user, m_password);
    if (!m_provider)
        throw std::runtime_error("no message provider");
    ProviderReply reply = m_provider->GetMessages();
    m_messages = std::move(reply.messages);
    m_marked.assign(m_messages.size(), false);
    SendLine(reply.response);
}

void CPOP3Session::OnQuit()
{
    if (!m_provider) {
        SendLine(pop3reply::kBye);
        return;
    }
    // The deletes are kept before the client hears so. The pass lasts until the reply is
    // out, so a stopping server lets both finish; once it has closed the gate nothing is
    // committed, and the silence tells the client so.
    const CCommitGate::CPass pass(*m_commitGate);
    if (!pass)
        throw exception();
    MessageList deleted;
    deleted.reserve(m_deleted.size());
    for (const std::size_t index : m_deleted)
        deleted.push_back({std::string(), m_messages[index].uid});
    try {
        m_provider->CommitDeleted(deleted);
    } catch (const std::exception&) {
        // The client keeps the messages it deleted and learns why; the session then ends.
        SendLine(pop3reply::kDeletionsNotKept);
        throw;
    }
    SendLine(pop3reply::kBye);
}

void CPOP3Session::OnRset()
{
    m_deleted.clear();
    m_marked.assign(m_marked.size(), false);
    SendLine(pop3reply::kReset);
}
