#pragma once

#include <windows.h>

// The plug-in module's own instance handle, saved when the system loaded it; the setup
// dialog's resource is loaded through it.
HINSTANCE ModuleInstance();
