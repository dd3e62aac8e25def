// The committed test certificates (testbed/fixtures/certs, copied to bin/certs).
#pragma once

#include <string>
#include <vector>

namespace qmtest {

// DER bytes of bin\certs\NAME (e.g. "tokA_c1_sign.der"); empty when missing.
std::string LoadFixtureCert(const char* name);

// A copy of CERT with another serial number made from INDEX: distinct certificates for
// the store (which compares issuer and serial, and does not check signatures). Empty when
// CERT is not a certificate this helper can rewrite.
std::string CertVariant(const std::string& cert, unsigned index);
// COUNT distinct variants of CERT, indices FIRST.. FIRST+COUNT-1.
std::vector<std::string> CertVariants(const std::string& cert, unsigned count, unsigned first = 0);

}  // namespace qmtest
