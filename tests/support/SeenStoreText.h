#pragma once

#include "feed/Message.h"

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

// Seen-store contents for tests: uids of the stored form and the text a store holds.

// A uid of the stored form, distinct for every number.
inline std::string Uid(int number)
{
    char digits[25];
    std::snprintf(digits, sizeof digits, "%024X", number);
    return digits;
}

inline MessageList Entries(std::initializer_list<std::string> uids)
{
    MessageList entries;
    for (const std::string& uid : uids)
        entries.push_back({"text of " + uid, uid});
    return entries;
}

// A store's text as every system writes it: one uid a line, each ending in LF alone.
inline std::string StoreText(const std::vector<std::string>& uids)
{
    std::string text;
    for (const std::string& uid : uids)
        text += uid + "\n";
    return text;
}

inline std::string Lines(int first, int last)
{
    std::vector<std::string> uids;
    for (int number = first; number <= last; ++number)
        uids.push_back(Uid(number));
    return StoreText(uids);
}

inline int CountFiles(const std::filesystem::path& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}
