#pragma once

#include <string>

namespace platform {

// Moves the file `from` over the file `to` in one step, replacing `to` if it exists, so that
// anyone opening `to` finds either its old content or the new one whole, never a mixture.
// The content of `from` is flushed to the disk before the move. Both names must lie on the
// same volume (in practice: in the same folder). Returns false when any step fails; `to` is
// then as it was, and `from` is left for the caller to remove. Nothing here throws.
bool ReplaceFile(const std::string& from, const std::string& to);

// Reads the whole of the file at `path` into `content` and returns true when it is a regular
// file that only the process's own user or the administrator could have written: owned by
// one of them and not writable by others. Otherwise returns false with `content` empty: also
// when `path` holds a NUL byte (the system would read a shorter name than the one given),
// names a folder, device or pipe (which is never waited on), or cannot be read. The checks
// are made on the very file that is read, not on its name beforehand. Nothing here throws
// except on exhaustion of memory.
bool ReadTrustedFile(const std::string& path, std::string& content);

} // namespace platform
