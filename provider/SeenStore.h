#pragma once

#include "feed/Message.h"

#include <cstddef>
#include <string>
#include <vector>

// The seen store of one feed list: a text file beside the list that remembers the items a
// client deleted, so that later logins leave those items out. The file holds one entry a line,
// oldest first, each line ending in LF: the item's uid, a blank and its identity (see
// MessageEntry). An item is seen when an entry holds its identity, or when an entry of the
// older form, a bare uid, holds its uid: stores written before items had identities keep
// hiding what they hid. A line of two words whose second has the form of an identity is an
// entry of the new form; every word of any other line is a bare uid of its own, so any mix of
// blanks between bare uids reads the same. Bare uids are not checked.
//
// A CSeenStore holds only the file name; every operation goes to the file. Operations on
// the same file from several threads of the process are safe: CommitDeleted serialises its
// read and rewrite per file, and readers always find a whole file, old or new. Nothing here
// throws except on exhaustion of memory.
class CSeenStore
{
public:
    // The most entries a store keeps; older ones are pushed out by newer ones.
    static constexpr std::size_t kMaxSeen = 1000;

    // `listFile` is the feed list's path exactly as the provider holds it.
    explicit CSeenStore(const std::string& listFile);

    // The store's name for a feed list path: the path with ".UIDL" appended.
    static std::string SeenFileName(const std::string& listFile);
    const std::string& FileName() const { return m_fileName; }

    // The entry that remembers `message`: its uid, a blank and its identity; the bare uid when
    // it has no identity.
    static std::string SeenEntry(const MessageEntry& message);

    // The entries in file order, each as SeenEntry writes it (or a bare uid); empty when the
    // file is missing, is no regular file of the user's own (a link, a folder or a pipe of that
    // name, another user's file) or cannot be read.
    std::vector<std::string> LoadSeen() const;

    // Removes from `messages` every entry that the store has seen; the rest keep their order.
    // `seen`, when given, gets one flag per entry given: whether it was removed.
    void FilterSeen(MessageList& messages, std::vector<bool>* seen = nullptr) const;

    // Appends the entries of `deleted`, in the order given, to the stored ones, keeps each
    // once (at its newest place) and at most kMaxSeen, and rewrites the file; also when
    // `deleted` is empty, so a store that did not exist is created. The new content goes to
    // a temporary file beside the store, which then replaces the store in one step: if
    // anything fails, the store stays as it was and false is returned. A store that is there
    // but is no regular file of the user's own (see platform::ReadOwnFile) or cannot be read
    // is not rewritten either.
    bool CommitDeleted(const MessageList& deleted) const;

private:
    // The entries in file order; false, with none, when there is a file of that name that
    // cannot be read as a store.
    bool ReadEntries(std::vector<std::string>& entries) const;
    // Removes every entry that comes again later in `entries`; the rest keep their order.
    static void KeepLastOfEach(std::vector<std::string>& entries);
    // Writes `entries` one a line to a temporary file that then replaces the store; false when
    // that failed.
    bool WriteEntries(const std::vector<std::string>& entries) const;

    std::string m_fileName;
};
