#pragma once

// Start-up and clean-up of the system's network library, for systems that have one
// (Windows Sockets); elsewhere both do nothing. Calls pair up and may nest.
namespace platform {

// False when the network library cannot be used.
bool StartNetwork();
void StopNetwork();

} // namespace platform
