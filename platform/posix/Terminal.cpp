#include "platform/Terminal.h"

#include <unistd.h>

namespace platform {

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

void WriteStandardOutputAsBytes() {}

} // namespace platform
