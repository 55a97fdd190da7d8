#pragma once

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <filesystem>
#include <string>

// Runs fetchmail once against the server for one feed list, appending every message it
// collects to `mailbox`; returns fetchmail's exit status (0: mail collected, 1: no mail), or
// -1 when it could not be run or did not end within a minute. With `keep`, fetchmail leaves
// the messages on the server and tells new ones from old ones by their UIDL values.
inline int RunFetchmail(const CTempFolder& folder, std::uint16_t port, const std::string& list,
                        const std::string& mailbox, std::string& output, bool keep = false)
{
    // The control file's quoted texts take escapes: a Windows path's backslashes are doubled.
    std::string user;
    for (char byte : list)
        user += byte == '\\' ? std::string("\\\\") : std::string(1, byte);
    const std::string control = folder.Write(
        "fetchmailrc", "set no bouncemail\npoll 127.0.0.1 service " + std::to_string(port) +
                           " protocol pop3" + (keep ? " uidl" : "") + " user \"" + user +
                           "\" password x" + (keep ? " keep" : "") +
                           " sslproto \"\" mda \"cat >> " + mailbox + "\"\n");
    std::filesystem::permissions(control, std::filesystem::perms::owner_read |
                                              std::filesystem::perms::owner_write);
    CChildProcess fetchmail;
    // Its lock and its state stay in the folder: fetchmails of other tests or users, which
    // may run at the same moment, would otherwise refuse to start beside this one.
    if (!fetchmail.Start({"fetchmail", "-f", control, "--nosyslog", "--pidfile",
                          folder.File("fetchmail.pid"), "--idfile", folder.File("fetchmail.ids")},
                         {{"FETCHMAILHOME", folder.Path().string()}}))
        return -1;
    output = fetchmail.ReadToEnd(60000);
    int exitCode = -1;
    return fetchmail.Wait(1000, exitCode) ? exitCode : -1;
}
