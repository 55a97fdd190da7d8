// Makes every TLS client of the test process trust the test CA, and only it.
#include "support/TestCertificates.h"

#include <cstdlib>

namespace {

// Runs during static initialisation, before any test can create a TLS context.
const bool g_trustsTestAuthority = [] {
    setenv("SSL_CERT_FILE", TestCertificateFile("ca.pem").c_str(), 1);
    setenv("SSL_CERT_DIR", TestCertificateFile("").c_str(), 1);
    return true;
}();

} // namespace
