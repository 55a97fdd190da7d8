// Makes every TLS client of the test process trust the test CA: the CA goes into the current
// user's root store (of the Wine prefix the suite runs in), where Windows looks for trusted
// roots. Verification itself stays as it is.
#include "support/TestCertificates.h"

#include <windows.h>
// clang-format off
#include <wincrypt.h>
// clang-format on

#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool AddTestAuthorityToRootStore()
{
    std::ifstream file(TestCertificateFile("ca.pem"), std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    DWORD size = 0;
    if (pem.empty() ||
        !::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    std::vector<BYTE> der(size);
    if (!::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
        return false;
    const HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "Root");
    if (store == nullptr)
        return false;
    const bool added =
        ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
    ::CertCloseStore(store, 0);
    return added;
}

// Runs during static initialisation, before any test makes a TLS connection.
const bool g_trustsTestAuthority = AddTestAuthorityToRootStore();

} // namespace
