#pragma once

// The peak resident memory of this process so far, in kilobytes.
long PeakMemoryKilobytes();

// The peak resident memory of the largest child process this process has waited for so far,
// in kilobytes; -1 where the system does not tell.
long ChildrenPeakMemoryKilobytes();
