#include "platform/Log.h"

#include <windows.h>

#include <string>

namespace platform {

void WriteLogLine(const char* line)
{
    ::OutputDebugStringA((std::string(line) + "\n").c_str());
}

} // namespace platform
