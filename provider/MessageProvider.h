#pragma once

#include "feed/Message.h"

#include <memory>
#include <string>

// The mailbox behind one POP3 login. A provider belongs to exactly one session, which
// creates it at PASS and deletes it when the session ends; it is used only on that
// session's thread. The session calls GetMessages once, then CommitDeleted at most once
// (at QUIT), with the uids of entries of the list GetMessages returned.
class IMessageProvider
{
public:
    virtual ProviderReply GetMessages() = 0;
    // The session's deleted entries, in the order of their first DELE, each once. Only their
    // uids and identities are read, and the session hands over entries that carry those alone,
    // not their text. Throws when they could not be kept.
    virtual void CommitDeleted(const MessageList& deleted) = 0;
    virtual ~IMessageProvider() = default;
};

// Creates providers for the sessions of a server. Shared by all session threads at once,
// so implementations keep no mutable state. Never deleted through this interface.
class IMessageProviderFactory
{
public:
    virtual std::unique_ptr<IMessageProvider> Create(std::string mailbox,
                                                     const std::string& password) = 0;

protected:
    ~IMessageProviderFactory() = default;
};
