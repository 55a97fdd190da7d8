#pragma once

// The peak resident memory of this process so far, in kilobytes.
long PeakMemoryKilobytes();
