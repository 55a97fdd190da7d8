#pragma once

// The program's standard output as a terminal or as bytes.
namespace platform {

// Whether the program's standard output goes to a terminal that a person watches, rather
// than into a file or a pipe; output meant only for such a person (progress lines that
// overwrite themselves) is written only then.
bool StandardOutputIsTerminal();

// Makes the standard output pass every byte through unchanged: an LF stays an LF, as on
// POSIX systems, where the output is bytes already, rather than becoming CR LF on Windows.
// What the program prints (a feed list saved with a redirection, say) is then the same
// file on every system. Call it before the first output.
void WriteStandardOutputAsBytes();

} // namespace platform
