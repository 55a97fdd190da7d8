#include "platform/Terminal.h"

#include <io.h>

#include <cstdio>

namespace platform {

bool StandardOutputIsTerminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

} // namespace platform
