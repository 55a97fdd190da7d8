#pragma once

#include "feed/Message.h"
#include "http/ByteBudget.h"
#include "http/FeedDownloads.h"
#include "platform/Thread.h"
#include "platform/ThreadSafety.h"

#include <atomic>
#include <cstddef>

// Whether memory a login asks for may be taken, and if not, which bound it would pass.
enum class MemoryRefusal
{
    None,          // taken
    OverLogin,     // more than the login may hold
    OverAllLogins, // more than is left of what all logins of the process may hold together
};

// The memory one login holds beyond its downloads (which kMaxLoginDownloadBytes bounds): the
// trees of the documents it parses and the messages it renders. Each is bounded for the login
// alone and drawn, as well, from one budget that all logins of the process share, so that
// many logins at once cannot add up past it either; the login's downloads draw on that
// budget too (see CFeedDownloads). A tree is charged with its estimate
// before it is built and given back once it is freed; messages stay charged until this object
// ends with its login. Owned by the login's provider; safe from the login's rendering threads
// at once.
class CLoginMemory
{
public:
    // The trees one login may hold at once, and the messages it renders (real feeds render
    // to about their own size, far below this with the download limit of a login, but a few
    // bytes of item can fill a long template). Beside its downloads (kMaxLoginDownloadBytes)
    // a login then stays within 256 MB.
    static constexpr std::size_t kMaxTreeBytes = kMaxLoginDownloadBytes;
    static constexpr std::size_t kMaxMessageBytes = 2 * kMaxLoginDownloadBytes;
    // The trees and messages of all logins of the process together.
    static constexpr std::size_t kMaxAllLoginsBytes = 512 * 1024 * 1024;
    // Why a document or a download that the budget of all logins cannot cover gives nothing.
    static constexpr const char* kOverAllLogins = "over the memory limit of all logins";

    // The budget all logins draw on: kMaxAllLoginsBytes, made on first use.
    static CByteBudget& AllLogins();

    // The memory a rendered message holds while a login keeps it: its text, uid, identity and
    // the places of its uid, and its entry in the lists it passes through on the way to the
    // session.
    static std::size_t MessageBytes(const MessageEntry& message);

    CLoginMemory(std::size_t maxTreeBytes, std::size_t maxMessageBytes, CByteBudget& allLogins);
    // Gives the messages' memory back to all logins.
    ~CLoginMemory();
    CLoginMemory(const CLoginMemory&) = delete;
    CLoginMemory& operator=(const CLoginMemory&) = delete;

    // The budget of all logins this login draws on, for its downloads too.
    CByteBudget& AllLoginsBudget() { return m_allLogins; }

    // Takes `bytes` for a tree. A tree that fits the login's bound but not beside the trees
    // its other threads hold right now waits until they give back enough, so that what a
    // login reads does not depend on which documents happen to be parsed at the same time.
    MemoryRefusal TakeTree(std::size_t bytes);
    // Takes `bytes` more for a tree whose thread holds a tree already, without waiting: a
    // thread that held memory while it waited for more could wait for another that does the
    // same. OverLogin when the trees the login holds right now leave too little.
    MemoryRefusal TakeMoreTree(std::size_t bytes);
    void GiveTree(std::size_t bytes);

    // Takes `bytes` for a rendered message, kept until this object ends unless given back.
    MemoryRefusal TakeMessage(std::size_t bytes);
    void GiveMessages(std::size_t bytes);

private:
    // Takes `bytes`, counted to the login already, from all logins too.
    MemoryRefusal TakeFromAllLogins(std::size_t bytes);
    // Gives back a tree's bytes to the login alone.
    void LeaveTree(std::size_t bytes);

    CByteBudget& m_allLogins;
    const std::size_t m_maxTreeBytes;
    platform::CLock m_lock;
    std::size_t m_treeBytes GUARDED_BY(m_lock) = 0;
    platform::CCondition m_treeGiven;
    CByteBudget m_messagesLeft;
    std::atomic<std::size_t> m_messageBytes{0};
};

// The memory of one tree, from its estimate until the tree is freed: declare it before the
// tree, so that it ends after it. A large tree's memory goes back to the system as it is
// given back (platform::ReleaseFreeMemory): a tree is made of many small blocks, which the
// heap keeps for the thread that freed them, so that trees read one after the other by
// several threads would otherwise hold the memory of one tree for each thread. Used by one
// thread.
class CTreeCharge
{
public:
    // Trees of this estimate and more are handed back to the system once freed.
    static constexpr std::size_t kReleaseTreeBytes = 4 * 1024 * 1024;

    explicit CTreeCharge(CLoginMemory& memory) : m_memory(memory) {}
    ~CTreeCharge();
    CTreeCharge(const CTreeCharge&) = delete;
    CTreeCharge& operator=(const CTreeCharge&) = delete;

    // Takes `bytes` for the tree, in place of what it took for an earlier tree.
    MemoryRefusal Take(std::size_t bytes);
    // Takes `bytes` more while the tree grows for a while (CLoginMemory::TakeMoreTree), and
    // gives them back.
    MemoryRefusal TakeMore(std::size_t bytes);
    void GiveMore(std::size_t bytes);

private:
    CLoginMemory& m_memory;
    std::size_t m_bytes = 0;
};
