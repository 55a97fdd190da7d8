#include "platform/Log.h"

#include <cstdio>

namespace platform {

void WriteLogLine(const char* line)
{
    std::fprintf(stderr, "%s\n", line);
}

} // namespace platform
