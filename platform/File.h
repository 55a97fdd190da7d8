#pragma once

#include <string>

namespace platform {

// Moves the file `from` over the file `to` in one step, replacing `to` if it exists, so that
// anyone opening `to` finds either its old content or the new one whole, never a mixture.
// The content of `from` is flushed to the disk before the move. Both names must lie on the
// same volume (in practice: in the same folder). Returns false when any step fails; `to` is
// then as it was, and `from` is left for the caller to remove. Nothing here throws.
bool ReplaceFile(const std::string& from, const std::string& to);

} // namespace platform
