#pragma once

// The functions the plug-in exports to its host, by these names and with C linkage. The
// host calls them all from one thread.

extern "C" {
// Reads the stored port and starts the POP3 server there: 0 when it started, 1 when not.
int TBP_Initialize();
// Stops the server. The result means nothing.
int TBP_Finalize();
// Give the name "QUILLBOX.vorlenta" and the version "0.17 beta" to the host's buffer of
// `size` characters, without a terminating zero; return the count (see CopyToHostBuffer).
int TBP_GetName(char* buffer, int size);
int TBP_GetVersion(char* buffer, int size);
// 0 before TBP_Initialize and after a successful start, 1 after a failed one.
int TBP_GetStatus();
// Always 1: the plug-in has a setup dialog.
int TBP_NeedConfig();
// Runs the setup dialog modally; always 0.
int TBP_Setup();
// Always 0: the plug-in needs no COM.
int TBP_NeedCOM();
}

// The exports' types, for a host that finds them by name.
using TBP_ActionFunction = int (*)();
using TBP_TextFunction = int (*)(char* buffer, int size);
