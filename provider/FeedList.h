#pragma once

#include "feed/FeedOutcome.h"

#include <cstddef>
#include <string>
#include <vector>

// Reading a feed list: the text file, named by a login's user name, of which each line names a
// feed URL and, after a ";", optionally a template file for that feed's items. Free functions
// without state; any thread.

// The most feeds of one list that are read; later lines are ignored.
constexpr std::size_t kMaxFeeds = 60;

// The file's bytes, without a leading UTF-8 byte order mark; empty when it cannot be read
// or its content is not the user's choice: another user could have written it, the system
// makes it up (platform::ReadTrustedFile), or it is a feed's copy, which a server wrote
// (CFeedCopyStore::IsCopy). Otherwise anyone on the machine could have a list or template of
// theirs read with this user's rights.
std::string ReadWholeFile(const std::string& path);

// Why the file at `path`, which can be read, is not read as a list or template: the end of a
// sentence ("other users may write to it (or it is theirs)"); empty when it is read, or
// cannot be read at all.
std::string WhyNotTheUsers(const std::string& path);

// Reads the first `maxBytes` bytes of the file at `path` into `text`, without a leading
// UTF-8 byte order mark; false, with `text` empty, when it cannot be read (see
// ReadWholeFile).
bool ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& text);

// Reads the feed list at `listFile` into parallel lists of URLs and template texts, at
// most `maxFeeds` of each; only the first 4 MB of the file are read. A feed without a
// template file, or whose file is missing, empty or larger than 1 MB, gets the built-in
// template; a relative template name is looked for in the current folder first, then in the
// list's folder. `outcomes`, when given, gets an outcome for each feed with its URL and
// template file. False when there is no list the user could have written (see ReadWholeFile).
bool ReadFeedList(const std::string& listFile, std::vector<std::string>& urls,
                  std::vector<std::string>& templates, std::vector<FeedOutcome>* outcomes = nullptr,
                  std::size_t maxFeeds = kMaxFeeds);
