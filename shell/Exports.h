#pragma once

#include "platform/PluginCall.h"

// The functions the plug-in exports to its host, by these names, with C linkage and the
// PLUGIN_CALL convention. The host calls them all from one thread.

extern "C" {
// Reads the stored port and starts the POP3 server there: 0 when it started, 1 when not.
int PLUGIN_CALL TBP_Initialize();
// Stops the server and waits a moment for its sessions. The result means nothing.
int PLUGIN_CALL TBP_Finalize();
// Give the name "QUILLBOX.vorlenta" and the version "0.17 beta" to the host's buffer of
// `size` characters, without a terminating zero; return the count (see CopyToHostBuffer).
int PLUGIN_CALL TBP_GetName(char* buffer, int size);
int PLUGIN_CALL TBP_GetVersion(char* buffer, int size);
// 0 before TBP_Initialize and after a successful start, 1 after a failed one.
int PLUGIN_CALL TBP_GetStatus();
// Always 1: the plug-in has a setup dialog.
int PLUGIN_CALL TBP_NeedConfig();
// Runs the setup dialog modally; always 0.
int PLUGIN_CALL TBP_Setup();
// Always 0: the plug-in needs no COM.
int PLUGIN_CALL TBP_NeedCOM();
}

// The exports' types, for a host that finds them by name.
using TBP_ActionFunction = int(PLUGIN_CALL*)();
using TBP_TextFunction = int(PLUGIN_CALL*)(char* buffer, int size);
