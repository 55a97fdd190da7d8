#pragma once

// The host program's texts that speak of the system's own ways (how it is stopped, where
// the port is kept); one file per system, chosen by the build.

// The --help text.
extern const char kUsage[];
// Said after the setup dialog when no port is stored, after the place the store would be.
extern const char kNoStoredPortHint[];
