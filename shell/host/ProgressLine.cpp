#include "shell/host/ProgressLine.h"

#include <chrono>
#include <utility>

namespace {

// Back to the start of the line, and everything on it erased.
const char kEraseLine[] = "\r\x1b[K";

} // namespace

CProgressLine::CProgressLine(std::ostream& out, std::string text)
    : m_out(out), m_text(std::move(text)), m_thread(&CProgressLine::Show, this)
{}

CProgressLine::~CProgressLine()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stop = true;
    }
    m_stopped.notify_all();
    m_thread.join();
}

void CProgressLine::Show()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (int seconds = 0; !m_stop; ++seconds) {
        m_out << kEraseLine << m_text << " " << seconds << " s" << std::flush;
        m_stopped.wait_for(lock, std::chrono::seconds(1), [this] { return m_stop; });
    }
    m_out << kEraseLine << std::flush;
}
