#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The client's side of a conversation in lines that end in CR LF, as a POP3 session holds
// it: one line read at a time, texts sent whole. CLineSocket holds one over a connected TCP
// socket. Failures (the client gone, the server stopping) throw exceptions of the
// std::exception family. Used by one thread.
class ILineChannel
{
public:
    virtual ~ILineChannel() = default;

    // The next line, its CR LF included; only CR LF ends a line.
    virtual std::string ReadLine() = 0;
    // Sends all of `text`, which carries its own line ends.
    virtual void SendLine(std::string_view text) = 0;
    // Sends `pieces` one after another, as SendLine sends one text.
    virtual void SendLines(std::initializer_list<std::string_view> pieces) = 0;
};
