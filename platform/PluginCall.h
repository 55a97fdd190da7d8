#pragma once

// How the plug-in's exported functions are declared and called, the one place where the
// systems differ in that.
//
// PLUGIN_CALL is the calling convention of every exported function and of the host's
// pointers to them. On 32-bit Windows it is stdcall, the convention of the Windows API
// (the called function takes its arguments off the stack); elsewhere a system has only one.
// PLUGIN_EXPORT marks a definition as exported with C linkage. On Windows the module's
// .def file names the exports, with their ordinals and undecorated; on POSIX the symbol is
// made visible (the module hides all others).
#if defined(_WIN32)
#define PLUGIN_CALL __stdcall
#define PLUGIN_EXPORT extern "C"
#else
#define PLUGIN_CALL
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif
