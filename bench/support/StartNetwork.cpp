// Every benchmark program may use sockets, which Windows lends only to a process that has
// started its network library: started here before main, as the plug-in starts it before it
// serves. It stays started until the process ends.
#include "platform/Network.h"

namespace {

const bool g_networkStarted = platform::StartNetwork();

} // namespace
