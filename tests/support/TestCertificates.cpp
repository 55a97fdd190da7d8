#include "support/TestCertificates.h"

#include <cstdlib>

namespace {

const std::string kCertificateDirectory = QUILLBOX_TEST_DATA_DIR "/tls";

// Runs during static initialisation, before any test can create a TLS context.
const bool g_trustsTestAuthority = [] {
    setenv("SSL_CERT_FILE", (kCertificateDirectory + "/ca.pem").c_str(), 1);
    setenv("SSL_CERT_DIR", kCertificateDirectory.c_str(), 1);
    return true;
}();

} // namespace

std::string TestCertificateFile(const std::string& name)
{
    return kCertificateDirectory + "/" + name;
}
