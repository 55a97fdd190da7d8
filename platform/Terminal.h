#pragma once

// Whether the program's standard output goes to a terminal that a person watches, rather
// than into a file or a pipe; output meant only for such a person (progress lines that
// overwrite themselves) is written only then.
namespace platform {

bool StandardOutputIsTerminal();

} // namespace platform
