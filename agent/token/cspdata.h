// The token's CSP data area: which of its four key containers exist, their names and
// which keys they hold. Pure decoding of bytes read from the token (no windows.h), so
// it also builds natively. Everything in the area is untrusted.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
    CSP_AREA_BYTES = 256,
    CSP_RECORD_OFFSET = 4,   // record 1 follows the status word
    CSP_RECORD_BYTES = 63,
    CSP_NAME_MAX = 51,       // the longest name that leaves room for both flags
    CSP_CONTAINERS = 4,
    CERT_DER_MAX = 4096      // the most a certificate read from the token may hold
};

// Items of a container record.
enum { CSP_ITEM_NAME = 1, CSP_ITEM_EXKEYFLAG = 2, CSP_ITEM_SIGKEYFLAG = 4 };

// Results of the decoders.
enum {
    CSP_OK = 0,
    CSP_ERR_CONTAINER = 1,    // container number not 1 to 4
    CSP_ERR_NAME_LENGTH = 2,  // recorded name length above 51 (negative ones included)
    CSP_ERR_SHORT = 3         // the field lies past the bytes delivered
};

struct CspContainerRecord {
    uint32_t nameLength;         // L, at most CSP_NAME_MAX after a successful decode
    const unsigned char* name;   // L bytes inside the area, no terminator
    uint32_t exKeyFlag;          // EXKEYEXISTFLAG as recorded
    uint32_t sigKeyFlag;         // SIGKEYEXISTFLAG as recorded
};

// The container status word (first 32-bit little-endian word) of an area of which
// `delivered` bytes are valid. CSP_OK, or CSP_ERR_SHORT when fewer than 4 bytes came.
int CspDecodeStatus(const unsigned char* area, size_t delivered, uint32_t* status);

// 1 when container k (1 to 4) is marked in the status word; other bits are ignored.
int CspContainerPresent(uint32_t status, int k);

// Record of container k of an area of which `delivered` bytes are valid (at most
// CSP_AREA_BYTES are looked at). The name and both flags must lie inside the record and
// inside the delivered bytes; otherwise nothing is stored and the error is returned.
int CspDecodeRecord(const unsigned char* area, size_t delivered, int k, CspContainerRecord* record);

// 1 when a key flag counts as set: bit 0 or bit 1; other bits are ignored.
int CspKeyFlagSet(uint32_t flag);

// Certificate identifiers of container k (1 to 4) for the private library; -1 otherwise.
int CspExchangeCertId(int k);
int CspSignatureCertId(int k);

// Total length (header included) that the outer DER element of `der` claims, or 0 when
// the first bytes are not a definite-length SEQUENCE header that fits in `length`.
size_t DerOuterLength(const unsigned char* der, size_t length);
