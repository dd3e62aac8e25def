// The committed test certificates (testbed/fixtures/certs, copied to bin/certs).
#pragma once

#include <string>
#include <wchar.h>
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

// The current user's "MY" store as the tests see it: every call opens the store anew
// (as the agent's next operation would) and closes it again.
struct KeyBinding {
    std::wstring container;
    std::wstring provider;
    bool providerNull = false;  // a binding without a provider name
    unsigned long type = 1;
    unsigned long flags = 0;
    unsigned long keySpec = 2;
};

struct StoreCert {
    std::string der;
    bool bound = false;  // has a key-provider binding
    KeyBinding binding;
};

std::vector<StoreCert> ReadMyStore();
// Certificates in "MY" with exactly this encoding.
int CountInMyStore(const std::string& der);
// Deletes every certificate of "MY" (and commits, so the deletions are saved).
bool ClearMyStore();
// Adds the certificates through one store handle, each with the binding or none.
bool AddToMyStore(const std::vector<std::string>& certs, const KeyBinding* binding);
bool AddToMyStore(const std::string& cert, const KeyBinding* binding);
// Adds an unbound copy to the local machine's "MY", which Wine's current-user "MY" takes
// in as well: a second copy of one encoding in the store the agent sees.
bool AddToMachineMyStore(const std::string& cert);

}  // namespace qmtest
