#include "shell/HostBuffer.h"

#include <cstring>

int CopyToHostBuffer(const char* text, char* buffer, int size)
{
    const int length = static_cast<int>(std::strlen(text));
    if (buffer == nullptr || size <= 0 || length == 0)
        return length;
    const int count = length < size ? length : size;
    std::memcpy(buffer, text, static_cast<std::size_t>(count));
    return count;
}
