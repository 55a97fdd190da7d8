#include "shell/LocalPort.h"

#include "platform/Settings.h"

#include <cstdint>

int ReadLocalPort()
{
    std::uint32_t value = 0;
    if (!platform::ReadUserNumber(kSettingsKey, kLocalPortName, value))
        return kDefaultLocalPort;
    return static_cast<int>(value);
}

void WriteLocalPort(int port)
{
    platform::WriteUserNumber(kSettingsKey, kLocalPortName, static_cast<std::uint32_t>(port));
}
