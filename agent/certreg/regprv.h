// Registration from the private token library: the certificates of each existing key
// container of the connected token (g_hPrvToken) go into "MY", bound to the provider and
// the container, and into the registered-certificate table.
#pragma once

// Registers containers 1 to 4 of token index i as marked in the status word.
// 0, or -1 when the status word cannot be read.
int CertRegPrvKey(int tokenIndex);

// Registers the exchange, then the signature certificate of container k (1 to 4).
// 0 when handled (also when it yielded nothing), -1 after a logged failure.
int CertRegContainer(int tokenIndex, int containerNumber);
