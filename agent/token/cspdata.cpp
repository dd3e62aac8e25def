#include "agent/token/cspdata.h"

static uint32_t ReadLe32(const unsigned char* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int CspDecodeStatus(const unsigned char* area, size_t delivered, uint32_t* status)
{
    if (delivered < 4)
        return CSP_ERR_SHORT;
    *status = ReadLe32(area);
    return CSP_OK;
}

int CspContainerPresent(uint32_t status, int k)
{
    if (k < 1 || k > CSP_CONTAINERS)
        return 0;
    return (status >> (k - 1)) & 1u;
}

int CspDecodeRecord(const unsigned char* area, size_t delivered, int k, CspContainerRecord* record)
{
    if (k < 1 || k > CSP_CONTAINERS)
        return CSP_ERR_CONTAINER;
    if (delivered > CSP_AREA_BYTES)
        delivered = CSP_AREA_BYTES;

    size_t start = CSP_RECORD_OFFSET + (size_t)CSP_RECORD_BYTES * (size_t)(k - 1);
    if (start + 4 > delivered)
        return CSP_ERR_SHORT;
    const unsigned char* rec = area + start;
    // Read as unsigned: a negative length shows as a huge one and is refused with it.
    uint32_t nameLength = ReadLe32(rec);
    if (nameLength > CSP_NAME_MAX)
        return CSP_ERR_NAME_LENGTH;
    // With L at most 51 the flags end inside the record; the delivered bytes may not.
    if (start + 12 + nameLength > delivered)
        return CSP_ERR_SHORT;

    record->nameLength = nameLength;
    record->name = rec + 4;
    record->exKeyFlag = ReadLe32(rec + 4 + nameLength);
    record->sigKeyFlag = ReadLe32(rec + 8 + nameLength);
    return CSP_OK;
}

int CspKeyFlagSet(uint32_t flag)
{
    return (flag & 3u) != 0 ? 1 : 0;
}

int CspExchangeCertId(int k)
{
    static const int ids[CSP_CONTAINERS] = {1, 5, 6, 7};
    return (k >= 1 && k <= CSP_CONTAINERS) ? ids[k - 1] : -1;
}

int CspSignatureCertId(int k)
{
    static const int ids[CSP_CONTAINERS] = {0, 8, 9, 10};
    return (k >= 1 && k <= CSP_CONTAINERS) ? ids[k - 1] : -1;
}

size_t DerOuterLength(const unsigned char* der, size_t length)
{
    if (length < 2 || der[0] != 0x30)
        return 0;
    size_t header = 2;
    size_t content;
    unsigned char first = der[1];
    if (first < 0x80) {
        content = first;
    } else {
        size_t count = first & 0x7Fu;
        // Indefinite lengths and lengths wider than four bytes are no certificate's.
        if (count == 0 || count > 4 || length < 2 + count)
            return 0;
        content = 0;
        for (size_t n = 0; n < count; ++n)
            content = content << 8 | der[2 + n];
        header += count;
    }
    if (content > SIZE_MAX - header)
        return 0;
    return header + content;
}
