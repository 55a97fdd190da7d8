#pragma once

#include "platform/Thread.h"

#include <ostream>
#include <string>

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
    platform::CLock m_lock;
    platform::CCondition m_stopped;
    bool m_stop GUARDED_BY(m_lock) = false;
    platform::CThread m_thread;
};
