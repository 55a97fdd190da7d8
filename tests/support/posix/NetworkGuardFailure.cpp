// In the suite, a refused lookup or connection fails the test that asked for it.
#include "support/posix/NetworkGuard.h"

#include <gtest/gtest.h>

extern "C" void OnForbiddenNetworkUse(const char* what)
{
    ADD_FAILURE() << "the test tried " << what;
}
