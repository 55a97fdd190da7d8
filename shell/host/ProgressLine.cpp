#include "shell/host/ProgressLine.h"

#include <chrono>
#include <utility>

namespace {

// Back to the start of the line, and everything on it erased.
const char kEraseLine[] = "\r\x1b[K";

} // namespace

// Without a thread there is no progress line, and the work it watches goes on all the same.
CProgressLine::CProgressLine(std::ostream& out, std::string text)
    : m_out(out), m_text(std::move(text))
{
    m_thread.Start([this] { Show(); });
}

CProgressLine::~CProgressLine()
{
    {
        platform::CLockHolder holder(m_lock);
        m_stop = true;
    }
    m_stopped.WakeAll();
    m_thread.Join();
}

void CProgressLine::Show()
{
    platform::CLockHolder holder(m_lock);
    for (int seconds = 0; !m_stop; ++seconds) {
        m_out << kEraseLine << m_text << " " << seconds << " s" << std::flush;
        m_stopped.WaitFor(m_lock, std::chrono::seconds(1),
                          [this]() REQUIRES(m_lock) { return m_stop; });
    }
    m_out << kEraseLine << std::flush;
}
