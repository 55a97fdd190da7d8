#pragma once

#include <string>
#include <vector>

// One rendered message, copied by value wherever it goes.
struct MessageEntry
{
    // The complete message as RETR sends it: header lines, an empty line and the body.
    std::string text;
    // Fingerprint of the feed item the message was made from (24 uppercase hexadecimal
    // digits); the key under which the seen store remembers a delivered item.
    std::string uid;
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
