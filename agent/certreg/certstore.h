// The agent's only contact with the certificate store: the current user's "MY" store.
// Each call opens the store, works and closes it again.
#pragma once

#include <wchar.h>

enum {
    CONTAINER_NAME_MAX = 511,  // bytes of a key-container name (GBK)
};

// Adds the DER certificate to "MY" bound to the configured provider and the key
// container (keySpec 1 = AT_KEYEXCHANGE, 2 = AT_SIGNATURE). 0 when the certificate is
// in the store with that binding, -1 on any failure.
int AddCertToTheSystem(const char* containerName, int containerNameLength, const unsigned char* certificate,
                       int certificateLength, int keySpec);

// Deletes every certificate of "MY" whose encoding equals the given bytes.
// 1 when the whole store was searched, 0 when it cannot be opened or a delete fails.
int DeleteCertFromTheSystem(const unsigned char* certificate, int certificateLength);

// Removes every certificate of "MY" bound to the configured provider with type 1.
// 0, or the system error code / 8 on failure.
unsigned int ConUnloadIECert();

// ANSI text to UTF-16. capacity: in, units of wideText; out, units written with the NUL.
int MultiToWide(const char* text, wchar_t* wideText, int* capacity);
