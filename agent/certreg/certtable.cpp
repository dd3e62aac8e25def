#include "agent/certreg/certtable.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "agent/certreg/certstore.h"
#include "agent/config/config.h"
#include "agent/shell/log.h"

static CertTokenSlot g_certTable[CERT_TABLE_SLOTS];

// The list keeps each buffer's length beside it: the emptying deletes by encoding.
static unsigned char* g_exportedCerts[EXPORTED_LIST_CAPACITY];
static int g_exportedLengths[EXPORTED_LIST_CAPACITY];
static int g_nExportedCount;

static CertRecord* FindRecord(int tokenIndex, int containerNumber, CertKind kind)
{
    if (tokenIndex < 0 || tokenIndex >= CERT_TABLE_SLOTS || containerNumber < 1 ||
        containerNumber > CERT_TABLE_CONTAINERS)
        return NULL;
    CertContainerEntry& entry = g_certTable[tokenIndex].containers[containerNumber - 1];
    if (kind == CERT_KIND_SIGN)
        return &entry.sign;
    if (kind == CERT_KIND_EXCHANGE)
        return &entry.exchange;
    return NULL;
}

void ClearCertTable()
{
    memset(g_certTable, 0, sizeof g_certTable);
}

int RecordCert(int tokenIndex, int containerNumber, CertKind kind, const unsigned char* der, int length)
{
    CertRecord* record = FindRecord(tokenIndex, containerNumber, kind);
    if (record == NULL) {
        WriteLogF("RecordCert 位置无效 %d %d %d", tokenIndex, containerNumber, (int)kind);
        return -1;
    }
    if (der == NULL || length <= 0 || length > CERT_RECORD_BYTES) {
        WriteLogF("RecordCert 证书长度无效，不记录 %d", length);
        return -1;
    }
    memcpy(record->encoding, der, (size_t)length);
    record->length = length;
    return 0;
}

const CertRecord* GetCertRecord(int tokenIndex, int containerNumber, CertKind kind)
{
    return FindRecord(tokenIndex, containerNumber, kind);
}

static void DeleteRecord(const CertRecord* record)
{
    if (record->length > 0)
        DeleteCertFromTheSystem(record->encoding, record->length);
}

void DeleteRecordedCerts(int tokenIndex, int lastContainer)
{
    if (tokenIndex < 0 || tokenIndex >= CERT_TABLE_SLOTS)
        return;
    if (lastContainer > CERT_TABLE_CONTAINERS)
        lastContainer = CERT_TABLE_CONTAINERS;
    for (int n = 1; n <= lastContainer; ++n) {
        const CertContainerEntry& entry = g_certTable[tokenIndex].containers[n - 1];
        DeleteRecord(&entry.exchange);
        DeleteRecord(&entry.sign);
    }
}

int AppendExportedCert(unsigned char* buffer, int length)
{
    if (buffer == NULL)
        return -1;
    if (length <= 0 || length > EXPORT_BUFFER_BYTES) {
        WriteLogF("导出证书长度无效，不记录 %d", length);
        free(buffer);
        return -1;
    }
    if (g_nExportedCount >= EXPORTED_LIST_CAPACITY) {
        WriteLog("导出证书列表已满，不记录");
        free(buffer);
        return -1;
    }
    g_exportedCerts[g_nExportedCount] = buffer;
    g_exportedLengths[g_nExportedCount] = length;
    ++g_nExportedCount;
    return 0;
}

void EmptyExportedCertList()
{
    for (int i = 0; i < g_nExportedCount; ++i) {
        DeleteCertFromTheSystem(g_exportedCerts[i], g_exportedLengths[i]);
        free(g_exportedCerts[i]);
        g_exportedCerts[i] = NULL;
        g_exportedLengths[i] = 0;
    }
    g_nExportedCount = 0;
}

int GetExportedCertCount()
{
    return g_nExportedCount;
}

const unsigned char* GetExportedCert(int position, int* length)
{
    if (position < 0 || position >= g_nExportedCount) {
        if (length != NULL)
            *length = 0;
        return NULL;
    }
    if (length != NULL)
        *length = g_exportedLengths[position];
    return g_exportedCerts[position];
}

static void DeleteCacheFiles(int n, const char* const* names, int count)
{
    std::string prefix = GetKeyCertInfoPrefix(n);
    if (prefix.empty())
        return;  // no Documents folder: there is nothing of ours to delete
    for (int i = 0; i < count; ++i)
        DeleteFileA((prefix + names[i]).c_str());
}

void DeleteMyFile()
{
    static const char* const kTokenFiles[] = {"SIGNCERT.data", "EXCHCERT.data", "CSDPDATA.data"};
    static const char* const kFlagFiles[] = {"FLAG.data"};
    enum { FLAG_FILE_NUMBER = 67 };

    WriteLog("DeleteMyFile begin");
    for (int n = 0; n <= 4; ++n)
        DeleteCacheFiles(n, kTokenFiles, 3);
    DeleteCacheFiles(FLAG_FILE_NUMBER, kFlagFiles, 1);
    WriteLog("DeleteMyFile end");
}
