#pragma once

// A loopback port that is free at the time of the call (the system picks it).
int FreePort();
