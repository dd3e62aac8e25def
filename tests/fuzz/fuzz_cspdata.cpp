// Fuzzes the CSP data area decoder: the input is what the token delivered, given to the
// decoder as a block of exactly that size; its tail doubles as a DER header.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "agent/token/cspdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> area(data, data + size);
    uint32_t status = 0;
    CspDecodeStatus(area.data(), area.size(), &status);
    for (int k = 0; k <= CSP_CONTAINERS + 1; ++k) {
        CspContainerRecord record;
        if (CspDecodeRecord(area.data(), area.size(), k, &record) != CSP_OK)
            continue;
        if (record.nameLength > CSP_NAME_MAX)
            __builtin_trap();
        size_t start = (size_t)(record.name - area.data());
        if (start + record.nameLength + 8 > area.size() || start + record.nameLength + 8 > CSP_AREA_BYTES)
            __builtin_trap();
        volatile unsigned char sum = 0;
        for (uint32_t i = 0; i < record.nameLength; ++i)
            sum = sum + record.name[i];
        CspKeyFlagSet(record.exKeyFlag);
        CspKeyFlagSet(record.sigKeyFlag);
    }
    DerOuterLength(area.data(), area.size());
    return 0;
}
