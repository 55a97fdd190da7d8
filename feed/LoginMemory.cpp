#include "feed/LoginMemory.h"

#include "common/HeapBytes.h"
#include "platform/Memory.h"

#include <chrono>

CByteBudget& CLoginMemory::AllLogins()
{
    // A download it cannot cover says which bound it passed, as a document does.
    static CByteBudget allLogins(kMaxAllLoginsBytes, nullptr, kOverAllLogins);
    return allLogins;
}

std::size_t CLoginMemory::MessageBytes(const MessageEntry& message)
{
    // A feed's own list, which may have grown to twice its size, and the login's list.
    constexpr std::size_t kEntries = 3;
    const std::size_t places = message.uidPlaces.capacity();
    return StringHeapBytes(message.text) + StringHeapBytes(message.uid) +
           StringHeapBytes(message.identity) +
           (places == 0 ? 0 : AllocatedBytes(places * sizeof(std::size_t))) +
           kEntries * sizeof(MessageEntry);
}

CLoginMemory::CLoginMemory(std::size_t maxTreeBytes, std::size_t maxMessageBytes,
                           CByteBudget& allLogins)
    : m_allLogins(allLogins), m_maxTreeBytes(maxTreeBytes), m_messagesLeft(maxMessageBytes)
{}

CLoginMemory::~CLoginMemory()
{
    m_allLogins.Give(m_messageBytes);
}

MemoryRefusal CLoginMemory::TakeTree(std::size_t bytes)
{
    if (bytes > m_maxTreeBytes)
        return MemoryRefusal::OverLogin;
    {
        platform::CLockHolder holder(m_lock);
        // Every tree is given back once rendered, and its giving back wakes the wait.
        m_treeGiven.Wait(m_lock,
                         [&]() REQUIRES(m_lock) { return bytes <= m_maxTreeBytes - m_treeBytes; });
        m_treeBytes += bytes;
    }
    return TakeFromAllLogins(bytes);
}

MemoryRefusal CLoginMemory::TakeMoreTree(std::size_t bytes)
{
    {
        platform::CLockHolder holder(m_lock);
        if (bytes > m_maxTreeBytes - m_treeBytes)
            return MemoryRefusal::OverLogin;
        m_treeBytes += bytes;
    }
    return TakeFromAllLogins(bytes);
}

MemoryRefusal CLoginMemory::TakeFromAllLogins(std::size_t bytes)
{
    if (m_allLogins.Take(bytes))
        return MemoryRefusal::None;
    LeaveTree(bytes);
    return MemoryRefusal::OverAllLogins;
}

void CLoginMemory::GiveTree(std::size_t bytes)
{
    if (bytes == 0)
        return;
    m_allLogins.Give(bytes);
    LeaveTree(bytes);
}

void CLoginMemory::LeaveTree(std::size_t bytes)
{
    platform::CLockHolder holder(m_lock);
    m_treeBytes -= bytes;
    m_treeGiven.WakeAll();
}

MemoryRefusal CLoginMemory::TakeMessage(std::size_t bytes)
{
    if (!m_messagesLeft.Take(bytes))
        return MemoryRefusal::OverLogin;
    if (!m_allLogins.Take(bytes)) {
        m_messagesLeft.Give(bytes);
        return MemoryRefusal::OverAllLogins;
    }
    m_messageBytes += bytes;
    return MemoryRefusal::None;
}

void CLoginMemory::GiveMessages(std::size_t bytes)
{
    m_messagesLeft.Give(bytes);
    m_allLogins.Give(bytes);
    m_messageBytes -= bytes;
}

CTreeCharge::~CTreeCharge()
{
    if (m_bytes >= kReleaseTreeBytes)
        platform::ReleaseFreeMemory();
    m_memory.GiveTree(m_bytes);
}

MemoryRefusal CTreeCharge::Take(std::size_t bytes)
{
    m_memory.GiveTree(m_bytes);
    m_bytes = 0;
    const MemoryRefusal refusal = m_memory.TakeTree(bytes);
    if (refusal == MemoryRefusal::None)
        m_bytes = bytes;
    return refusal;
}

MemoryRefusal CTreeCharge::TakeMore(std::size_t bytes)
{
    const MemoryRefusal refusal = m_memory.TakeMoreTree(bytes);
    if (refusal == MemoryRefusal::None)
        m_bytes += bytes;
    return refusal;
}

void CTreeCharge::GiveMore(std::size_t bytes)
{
    m_memory.GiveTree(bytes);
    m_bytes -= bytes;
}
