#include "agent/token/cspread.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "agent/shell/log.h"
#include "agent/token/cspdata.h"
#include "agent/token/prvapi.h"

// No capacity is passed to the library; a faulty one that reports more than an area
// may also have written more, so it gets room to spare inside our allocation.
enum { CSP_READ_BUFFER_BYTES = 2 * CSP_AREA_BYTES };

static bool AllZero(const unsigned char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Reads the area into the caller's zero-filled buffer of CSP_READ_BUFFER_BYTES and gives
// the number of valid bytes. 0, or 1 after the failure was reported.
static int ReadCspArea(int tokenHandle, unsigned char* buffer, int* delivered)
{
    int length = 0;
    if (g_PrvApi.Usb_ReadCspData == NULL || g_PrvApi.Usb_ReadCspData(tokenHandle, buffer, &length, 0) != USB_OK) {
        printf("read csp data err\n");
        return 1;
    }
    // Length 0 means "never written", which makes the caller write zeros over the area:
    // only an empty buffer may say so, or a token's containers would be wiped.
    if (length < 0 || length > CSP_AREA_BYTES || (length == 0 && !AllZero(buffer, CSP_READ_BUFFER_BYTES))) {
        printf("read csp data err\n");
        WriteLogF("Usb_ReadCspData len err: %d", length);
        return 1;
    }
    *delivered = length;
    return 0;
}

// Allocates a zero-filled buffer and reads the area into it. NULL after a reported
// failure; otherwise the caller frees the buffer.
static unsigned char* AllocAndReadCspArea(int tokenHandle, int* delivered)
{
    unsigned char* buffer = (unsigned char*)malloc(CSP_READ_BUFFER_BYTES);
    if (buffer == NULL) {
        printf("malloc error !\n");
        return NULL;
    }
    memset(buffer, 0, CSP_READ_BUFFER_BYTES);
    if (ReadCspArea(tokenHandle, buffer, delivered) != 0) {
        free(buffer);
        return NULL;
    }
    return buffer;
}

int CSP_ReadContainterStaus(int tokenHandle, unsigned int* status)
{
    int delivered = 0;
    unsigned char* buffer = AllocAndReadCspArea(tokenHandle, &delivered);
    if (buffer == NULL)
        return 1;

    if (delivered == 0) {
        // Never written: initialise it. A failed write is not noticed; status reads 0.
        memset(buffer, 0, CSP_READ_BUFFER_BYTES);
        if (g_PrvApi.Usb_WriteCspData != NULL)
            g_PrvApi.Usb_WriteCspData(tokenHandle, buffer, CSP_AREA_BYTES, kPrvDefaultUserPin);
        delivered = CSP_AREA_BYTES;
    }

    uint32_t word = 0;
    if (CspDecodeStatus(buffer, (size_t)delivered, &word) != CSP_OK) {
        printf("read csp data err\n");
        WriteLogF("Usb_ReadCspData len err: %d", delivered);
        free(buffer);
        return 1;
    }
    *status = word;
    free(buffer);
    return 0;
}

// Logs why container k's record was refused.
static void LogRecordError(int k, int error, const unsigned char* area, int delivered)
{
    size_t start = CSP_RECORD_OFFSET + (size_t)CSP_RECORD_BYTES * (size_t)(k - 1);
    if (error == CSP_ERR_NAME_LENGTH) {
        uint32_t recorded = (uint32_t)area[start] | (uint32_t)area[start + 1] << 8 |
                            (uint32_t)area[start + 2] << 16 | (uint32_t)area[start + 3] << 24;
        WriteLogF("CSP container %d name len err: %d", k, (int)recorded);
    } else {
        WriteLogF("CSP container %d record past data: %d", k, delivered);
    }
}

int CSP_ReadCspInfoUnit(int tokenHandle, int k, int item, unsigned char* destination, int* length, int capacity)
{
    int delivered = 0;
    unsigned char* buffer = AllocAndReadCspArea(tokenHandle, &delivered);
    if (buffer == NULL)
        return 1;
    // A never-written area holds no container: 256 zero bytes.
    if (delivered == 0)
        delivered = CSP_AREA_BYTES;

    if (k < 1 || k > CSP_CONTAINERS) {
        free(buffer);
        return 0;
    }

    CspContainerRecord record;
    int error = CspDecodeRecord(buffer, (size_t)delivered, k, &record);
    if (error != CSP_OK) {
        LogRecordError(k, error, buffer, delivered);
        free(buffer);
        return 1;
    }

    int result = 0;
    if (item == CSP_ITEM_NAME) {
        if ((int)record.nameLength > capacity) {
            WriteLogF("CSP container %d name len err: %d", k, (int)record.nameLength);
            result = 1;
        } else {
            memcpy(destination, record.name, record.nameLength);
            *length = (int)record.nameLength;
        }
    } else if (item == CSP_ITEM_EXKEYFLAG || item == CSP_ITEM_SIGKEYFLAG) {
        uint32_t flag = item == CSP_ITEM_EXKEYFLAG ? record.exKeyFlag : record.sigKeyFlag;
        if (capacity < (int)sizeof flag) {
            WriteLogF("CSP container %d flag field too small: %d", k, capacity);
            result = 1;
        } else {
            memcpy(destination, &flag, sizeof flag);
            *length = (int)sizeof flag;
        }
    }
    free(buffer);
    return result;
}
