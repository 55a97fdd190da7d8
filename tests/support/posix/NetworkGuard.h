#pragma once

// Keeps a test or fuzz program on this machine (see NetworkGuard.cpp, which must be linked
// into the program itself, not through a library, to take the place of the system's
// functions). A program may define this to hear of every refused lookup or connection.
extern "C" void OnForbiddenNetworkUse(const char* what) __attribute__((weak));
