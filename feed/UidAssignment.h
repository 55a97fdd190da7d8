#pragma once

#include "feed/Message.h"

#include <string>

// The UIDLs of one login's messages. Which UIDL an item gets depends on the other items of
// the login, which are known only once every feed has been read; each item is therefore
// rendered with a stand-in for its UIDL, which then gives way to its uid (PlaceUid), and once
// the whole mailbox is there, AssignUids gives the items that share a uid distinct UIDLs.
// Free functions without state; several threads may place uids at once, each in messages of
// its own.

// A stand-in for the UIDL while the items of one document are rendered: 24 random uppercase
// hexadecimal digits, as long as a uid and made of the same characters, so that every step
// of the rendering treats both alike, and which no feed can know in advance.
std::string UidStandIn();

// Writes the uid of `message` wherever its text holds `standIn`, and keeps those places in
// `message.uidPlaces`.
void PlaceUid(MessageEntry& message, const std::string& standIn);

// The UIDL of an item whose uid an item of another identity after it has too: the uid, "-"
// and the identity (41 characters, valid in a UIDL and a Message-ID). The same for the item
// at every login, as long as the other is there.
std::string DistinctUid(const MessageEntry& message);

// Gives the messages of `mailbox`, the messages of one login in the order served, their
// UIDLs. Of the items that share a uid, the last (in feeds the oldest post, which clients
// already know) keeps it, and so does every message of that item's identity; each other
// message gets its DistinctUid, in its text at its uid's places (lines it makes too long are
// broken again). Releases every message's places.
void AssignUids(MessageList& mailbox);
