#include "platform/Terminal.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace platform {

bool StandardOutputIsTerminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

void WriteStandardOutputAsBytes()
{
    std::fflush(stdout);
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

} // namespace platform
