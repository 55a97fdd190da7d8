#pragma once

#include <string>

// Certificates for TLS tests in tests/data/tls/, made by tools/make-test-certificates.sh.
// The test binary trusts the test CA that signed them. Before main runs, on Linux
// SSL_CERT_FILE and SSL_CERT_DIR are pointed at the test data, so every TLS client of the
// process verifies against the test CA instead of the system's trust store; on Windows the
// CA is added to the current user's root store (support/*/TrustTestAuthority.cpp).
//   server.pem / server.key        for localhost and 127.0.0.1, signed by the test CA
//   wrong-host.pem / wrong-host.key for wrong-host.invalid only, signed by the test CA
//   untrusted.pem / untrusted.key  for localhost and 127.0.0.1, signed by nobody trusted
std::string TestCertificateFile(const std::string& name);
