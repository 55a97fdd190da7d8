#pragma once

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

// A line on a terminal that tells a waiting user that work goes on: `text` followed by the
// seconds passed, rewritten in place every second from a thread of its own, and erased when
// the object goes. Only for a stream that a terminal shows.
class CProgressLine
{
public:
    CProgressLine(std::ostream& out, std::string text);
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

private:
    void Show();

    std::ostream& m_out;
    const std::string m_text;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    std::thread m_thread;
};
