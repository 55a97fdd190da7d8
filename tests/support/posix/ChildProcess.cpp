#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

extern char** environ;

namespace {

long long Now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CChildProcess::~CChildProcess()
{
    if (m_process > 0) {
        ::kill(m_process, SIGKILL);
        int status = 0;
        ::waitpid(m_process, &status, 0);
    }
    if (m_output >= 0)
        ::close(m_output);
}

bool CChildProcess::Start(const std::vector<std::string>& command,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          const std::string& input)
{
    if (command.empty() || m_process > 0)
        return false;
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr)
            variables[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
    }
    for (const auto& [name, value] : environment)
        variables[name] = value;
    std::vector<std::string> environmentText;
    for (const auto& [name, value] : variables)
        environmentText.push_back(name + "=" + value);
    std::vector<char*> environmentPointers;
    for (std::string& text : environmentText)
        environmentPointers.push_back(text.data());
    environmentPointers.push_back(nullptr);
    std::vector<std::string> arguments = command;
    std::vector<char*> argumentPointers;
    for (std::string& argument : arguments)
        argumentPointers.push_back(argument.data());
    argumentPointers.push_back(nullptr);

    int output[2];
    int inputPipe[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(inputPipe, O_CLOEXEC) != 0) {
        ::close(output[0]);
        ::close(output[1]);
        return false;
    }
    // The whole input fits the pipe's buffer, so it is written before the child runs.
    const bool inputWritten =
        input.size() <= 65536 &&
        ::write(inputPipe[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
    ::close(inputPipe[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, output[1], 2);
    // The child starts with no signal blocked, whatever this thread holds back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t process = 0;
    const int result = inputWritten
                           ? ::posix_spawnp(&process, argumentPointers[0], &actions, &attributes,
                                            argumentPointers.data(), environmentPointers.data())
                           : EINVAL;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(inputPipe[0]);
    ::close(output[1]);
    if (result != 0) {
        ::close(output[0]);
        return false;
    }
    m_process = process;
    m_output = output[0];
    return true;
}

bool CChildProcess::Receive(long long deadline)
{
    if (m_output < 0)
        return false;
    const long long remaining = deadline - Now();
    if (remaining <= 0)
        return false;
    pollfd entry{m_output, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(remaining));
    if (ready <= 0)
        return ready < 0 && errno == EINTR ? Receive(deadline) : false;
    char chunk[4096];
    const ssize_t count = ::read(m_output, chunk, sizeof chunk);
    if (count <= 0)
        return count < 0 && errno == EINTR;
    m_buffer.append(chunk, static_cast<std::size_t>(count));
    return true;
}

bool CChildProcess::ReadLine(std::string& line, int timeoutMilliseconds)
{
    const long long deadline = Now() + timeoutMilliseconds;
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return true;
        }
        if (!Receive(deadline))
            return false;
    }
}

std::string CChildProcess::ReadToEnd(int timeoutMilliseconds)
{
    const long long deadline = Now() + timeoutMilliseconds;
    while (Receive(deadline)) {
    }
    std::string result;
    result.swap(m_buffer);
    return result;
}

void CChildProcess::RequestTermination()
{
    if (m_process > 0)
        ::kill(m_process, SIGTERM);
}

bool CChildProcess::Wait(int timeoutMilliseconds, int& exitCode)
{
    if (m_process <= 0)
        return false;
    const long long deadline = Now() + timeoutMilliseconds;
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(m_process, &status, WNOHANG);
        if (result == m_process) {
            m_process = -1;
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (result < 0 && errno != EINTR)
            return false;
        if (Now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
