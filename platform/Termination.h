#pragma once

// Waiting for the request to end the program: SIGINT (Ctrl+C) or SIGTERM on POSIX.
namespace platform {

// From construction on, the termination signals no longer end the program: they are held
// for Wait, in the constructing thread and in every thread it starts afterwards. Construct
// it before any thread is started, so that no other thread takes the signal. Destruction
// gives the signals back their former handling. One instance at a time.
class CTerminationWait
{
public:
    CTerminationWait();
    ~CTerminationWait();
    CTerminationWait(const CTerminationWait&) = delete;
    CTerminationWait& operator=(const CTerminationWait&) = delete;

    // False when the signals could not be held; Wait then returns at once.
    bool IsValid() const { return m_valid; }
    // Blocks until a termination request arrives (one that arrived since construction
    // counts) and returns its signal number.
    int Wait();

private:
    bool m_valid;
};

} // namespace platform
