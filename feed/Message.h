#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One rendered message, copied by value wherever it goes.
struct MessageEntry
{
    // The complete message as RETR sends it: header lines, an empty line and the body.
    std::string text;
    // Fingerprint of the feed item the message was made from (24 uppercase hexadecimal
    // digits). It is the UIDL of the message (in its Message-ID) unless another item of the
    // mailbox has it too (see AssignUids).
    std::string uid;
    // The strong identity of the same bytes of the item (16 uppercase hexadecimal digits,
    // StrongIdentity); with the uid, the key under which the seen store remembers a deleted
    // item. Empty for a message that is no feed item's.
    std::string identity{};
    // Where the text holds the uid, in ascending order, while the login that rendered it may
    // still give it another UIDL; empty once the login has handed the list over.
    std::vector<std::size_t> uidPlaces{};
};

// POP3 message number n is entry n-1. Entries need not be unique.
using MessageList = std::vector<MessageEntry>;

// What a provider answers at login.
struct ProviderReply
{
    // One complete POP3 status line with its CR LF, sent to the client unchanged.
    std::string response;
    MessageList messages;
};
