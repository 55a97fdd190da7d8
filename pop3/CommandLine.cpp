#include "pop3/CommandLine.h"

#include "common/ByteString.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

struct CommandEntry
{
    const char* keyword; // the first four bytes of a line, upper-cased
    POP3Command command;
    bool acceptedBeforeLogin;
};

// A constant table, so sessions starting at the same moment share it without any set-up.
constexpr std::array<CommandEntry, 11> kCommands = {{
    {"NOOP", POP3Command::Noop, false},
    {"USER", POP3Command::User, true},
    {"PASS", POP3Command::Pass, true},
    {"TOP ", POP3Command::Top, false},
    {"RETR", POP3Command::Retr, false},
    {"UIDL", POP3Command::Uidl, false},
    {"LIST", POP3Command::List, false},
    {"STAT", POP3Command::Stat, false},
    {"QUIT", POP3Command::Quit, true},
    {"DELE", POP3Command::Dele, false},
    {"RSET", POP3Command::Rset, false},
}};

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

bool IsAcceptedBeforeLogin(POP3Command command)
{
    for (const CommandEntry& entry : kCommands) {
        if (entry.command == command)
            return entry.acceptedBeforeLogin;
    }
    return false;
}

POP3Command ParseCommand(const std::string& line)
{
    if (line.size() < 4)
        return POP3Command::Unknown;
    const std::string keyword = ToUpperASCII(line.substr(0, 4));
    for (const CommandEntry& entry : kCommands) {
        if (std::memcmp(entry.keyword, keyword.data(), 4) == 0)
            return entry.command;
    }
    return POP3Command::Unknown;
}

bool IsHTTPRequestLine(const std::string& line)
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

std::pair<std::string, std::string> SplitArguments(const std::string& line)
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

int ParseNumber(const std::string& argument)
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

int FirstNumber(const std::string& line)
{
    return ParseNumber(SplitArguments(line).first);
}

std::pair<int, int> TwoNumbers(const std::string& line)
{
    const auto arguments = SplitArguments(line);
    return {ParseNumber(arguments.first), ParseNumber(arguments.second)};
}
