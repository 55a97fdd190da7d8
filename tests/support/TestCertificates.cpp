#include "support/TestCertificates.h"

std::string TestCertificateFile(const std::string& name)
{
    return QUILLBOX_TEST_DATA_DIR "/tls/" + name;
}
