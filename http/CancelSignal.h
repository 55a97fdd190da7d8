#pragma once

#include "platform/Socket.h"
#include "platform/Thread.h"

// Lets one thread stop a download that another thread runs. The downloading thread attaches
// each socket it opens and detaches it before closing it; Cancel, from any thread, marks the
// download cancelled and shuts the attached socket down, which wakes a blocking connect, send
// or receive on it. Attach refuses once cancelled, so no socket is opened after the fact.
// A socket is only ever shut down while attached, never after its owner closed it.
class CCancelSignal
{
public:
    CCancelSignal() = default;
    CCancelSignal(const CCancelSignal&) = delete;
    CCancelSignal& operator=(const CCancelSignal&) = delete;

    void Cancel();
    bool IsCancelled() const;

    // Returns false, attaching nothing, when the download is already cancelled.
    bool Attach(platform::SocketHandle socket);
    void Detach();

private:
    mutable platform::CLock m_lock;
    bool m_cancelled GUARDED_BY(m_lock) = false;
    platform::SocketHandle m_socket GUARDED_BY(m_lock) = platform::kInvalidSocket;
};
