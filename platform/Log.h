#pragma once

// The system's place for a program's notes to its administrator: standard error on POSIX
// systems (the journal, for a service), the debugger's output on Windows, where a plug-in
// has no console. For conditions worth a note once, never for every connection. Safe to call
// from many threads at once; nothing here throws.
namespace platform {

// Writes `line` (without a line end) as one line.
void WriteLogLine(const char* line);

} // namespace platform
