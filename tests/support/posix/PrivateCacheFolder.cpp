// Gives every test process a cache folder of its own, so that the feed copies one test's
// logins keep never serve another test (or a later run) whose server got the same port.
#include "support/TempFolder.h"

#include <cstdlib>

namespace {

// Runs during static initialisation, before any test logs in; removed when the process ends.
const CTempFolder g_cacheFolder;
const bool g_usesPrivateCacheFolder = [] {
    setenv("XDG_CACHE_HOME", g_cacheFolder.Path().c_str(), 1);
    return true;
}();

} // namespace
