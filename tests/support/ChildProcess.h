#pragma once

#include <string>
#include <utility>
#include <vector>

// Running another program as a child process (POSIX only): for tests and benchmarks that
// drive the built programs. The child reads a given text as its standard input and writes
// its standard output and standard error into one pipe that this side reads. Used on one
// thread.
class CChildProcess
{
public:
    CChildProcess() = default;
    // Ends a child still running (forcibly) and collects it.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts `command` (the program, found along PATH unless it holds a "/", then its
    // arguments) with this process's environment plus the `environment` entries, which
    // replace variables of the same name, and with `input` (at most 64 KiB) as its whole
    // standard input. False when the program could not be started.
    bool Start(const std::vector<std::string>& command,
               const std::vector<std::pair<std::string, std::string>>& environment = {},
               const std::string& input = std::string());

    // The next line of the child's output without its LF. False when the output ended or
    // nothing complete came within `timeoutMilliseconds`.
    bool ReadLine(std::string& line, int timeoutMilliseconds);
    // Everything the child writes until it closes its output, or until the time is up.
    std::string ReadToEnd(int timeoutMilliseconds);

    // Asks the child to end (SIGTERM on POSIX).
    void RequestTermination();
    // Waits until the child has ended; false when it is still running after
    // `timeoutMilliseconds`. `exitCode` is its exit status, or 128 plus the signal that
    // ended it.
    bool Wait(int timeoutMilliseconds, int& exitCode);

private:
    // Reads what is available into m_output, waiting at most until `deadline` (steady clock
    // milliseconds); false at the end of the output or on a time-out.
    bool Receive(long long deadline);

    int m_process = -1;
    int m_output = -1;
    std::string m_buffer;
};
