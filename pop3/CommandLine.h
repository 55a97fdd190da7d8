#pragma once

#include <string>
#include <utility>

// What a POP3 session reads from one command line, with its line end: the command its first
// four bytes name, and its arguments. Stateless and safe on any thread; nothing here throws
// except on exhaustion of memory.

enum class POP3Command
{
    Unknown,
    Noop,
    User,
    Pass,
    Top,
    Retr,
    Uidl,
    List,
    Stat,
    Quit,
    Dele,
    Rset,
};

// The command a line names by its first four bytes, upper-cased.
POP3Command ParseCommand(const std::string& line);
// Whether a client may give the command before it has logged in.
bool IsAcceptedBeforeLogin(POP3Command command);
// The first and second blank-separated words after the command word; missing ones empty.
std::pair<std::string, std::string> SplitArguments(const std::string& line);
// The decimal value of `argument` (wrapping at 32 bits), or -1 when it is empty or holds
// anything but digits.
int ParseNumber(const std::string& argument);
// ParseNumber of the first argument, and of the first two.
int FirstNumber(const std::string& line);
std::pair<int, int> TwoNumbers(const std::string& line);
// Whether `line` is an HTTP/1.x request line: a method word, one target and the version,
// each after a single space, then the line end.
bool IsHTTPRequestLine(const std::string& line);
