#include "platform/Terminal.h"

#include <cstdio>
#include <io.h>

namespace platform {

bool StandardOutputIsTerminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

} // namespace platform
