#include "agent/certreg/certstore.h"

#include <windows.h>
#include <wincrypt.h>

#include <string.h>

#include "agent/config/config.h"
#include "agent/shell/log.h"

static const DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
static const DWORD kProviderType = PROV_RSA_FULL;

enum {
    CONTAINER_FIELD_BYTES = 1024,
    WIDE_NAME_UNITS = 512,      // UTF-16 container and provider names, NUL included
    UNLOAD_NAME_UNITS = 256,    // ConUnloadIECert's converted provider name
    CODE_PAGE_GBK = 936
};

// Contexts picked during a walk of the store, deleted once the walk is over.
struct MatchList {
    PCCERT_CONTEXT* items;
    int count;
    int capacity;
};

// Appends a duplicate of the context; false when the duplicate or the memory cannot be had.
static bool KeepMatch(MatchList* list, PCCERT_CONTEXT context)
{
    if (list->count == list->capacity) {
        int capacity = list->capacity == 0 ? 16 : list->capacity * 2;
        HLOCAL grown = list->items == NULL
                           ? LocalAlloc(LMEM_FIXED, capacity * sizeof(PCCERT_CONTEXT))
                           : LocalReAlloc(list->items, capacity * sizeof(PCCERT_CONTEXT), LMEM_MOVEABLE);
        if (grown == NULL)
            return false;
        list->items = (PCCERT_CONTEXT*)grown;
        list->capacity = capacity;
    }
    PCCERT_CONTEXT duplicate = CertDuplicateCertificateContext(context);
    if (duplicate == NULL)
        return false;
    list->items[list->count++] = duplicate;
    return true;
}

// Deletes every kept context (each delete frees its context) and empties the list.
// Returns the number of failed deletions; after a failure with stopAtFirstFailure the
// remaining contexts are only freed.
static int DeleteMatches(MatchList* list, bool stopAtFirstFailure)
{
    int failures = 0;
    for (int i = 0; i < list->count; ++i) {
        if (failures > 0 && stopAtFirstFailure) {
            CertFreeCertificateContext(list->items[i]);
            continue;
        }
        if (!CertDeleteCertificateFromStore(list->items[i]))
            ++failures;
    }
    if (list->items != NULL)
        LocalFree(list->items);
    list->items = NULL;
    list->count = list->capacity = 0;
    return failures;
}

static void FreeMatches(MatchList* list)
{
    for (int i = 0; i < list->count; ++i)
        CertFreeCertificateContext(list->items[i]);
    if (list->items != NULL)
        LocalFree(list->items);
    list->items = NULL;
    list->count = list->capacity = 0;
}

static bool SameEncoding(PCCERT_CONTEXT context, const unsigned char* certificate, int certificateLength)
{
    return certificate != NULL && certificateLength > 0 && context->cbCertEncoded == (DWORD)certificateLength &&
           memcmp(context->pbCertEncoded, certificate, (size_t)certificateLength) == 0;
}

// Walks the whole store and keeps a duplicate of every certificate with this encoding.
static bool CollectSameEncoding(HCERTSTORE store, const unsigned char* certificate, int certificateLength,
                                MatchList* matches)
{
    PCCERT_CONTEXT context = NULL;
    while ((context = CertEnumCertificatesInStore(store, context)) != NULL) {
        if (SameEncoding(context, certificate, certificateLength) && !KeepMatch(matches, context)) {
            CertFreeCertificateContext(context);
            return false;
        }
    }
    return true;
}

// Deletions through a system store are saved at close only after a commit under Wine;
// on Windows the commit is harmless.
static bool CommitStore(HCERTSTORE store)
{
    return CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, NULL) != FALSE;
}

// GBK bytes to UTF-16 in a zero-filled area of WIDE_NAME_UNITS; 0 units when it fails or
// would leave no room for the terminator.
static int GbkToWide(const char* text, int length, wchar_t* wide)
{
    if (length <= 0)
        return 0;
    return MultiByteToWideChar(CODE_PAGE_GBK, MB_PRECOMPOSED, text, length, wide, WIDE_NAME_UNITS - 1);
}

// Deletes identical copies of the certificate already in the store; false when one cannot be.
static bool RemoveIdenticalCopies(HCERTSTORE store, const unsigned char* certificate, int certificateLength,
                                  int* removed)
{
    MatchList matches = {};
    if (!CollectSameEncoding(store, certificate, certificateLength, &matches)) {
        FreeMatches(&matches);
        return false;
    }
    *removed = matches.count;
    return DeleteMatches(&matches, true) == 0;
}

int AddCertToTheSystem(const char* containerName, int containerNameLength, const unsigned char* certificate,
                       int certificateLength, int keySpec)
{
    if (containerNameLength > CONTAINER_NAME_MAX) {
        WriteLog("容器名过长，不注册证书");
        return -1;
    }
    if (containerName == NULL || containerNameLength <= 0 || certificate == NULL || certificateLength <= 0)
        return -1;

    char container[CONTAINER_FIELD_BYTES] = {};
    memcpy(container, containerName, (size_t)containerNameLength);

    char provider[PROVIDER_FIELD_BYTES] = {};
    int providerLength = 0;
    // A refused (too long) name is logged by the reader; never bind to a name not configured.
    if (GetProviderName(provider, sizeof provider, &providerLength) < 0)
        return -1;
    if (providerLength == 0) {
        providerLength = (int)strlen(kDefaultProviderName);
        memcpy(provider, kDefaultProviderName, (size_t)providerLength);
    }

    wchar_t wideContainer[WIDE_NAME_UNITS] = {};
    if (GbkToWide(container, containerNameLength, wideContainer) == 0)
        return -1;
    wchar_t wideProvider[WIDE_NAME_UNITS] = {};
    if (GbkToWide(provider, providerLength, wideProvider) == 0)
        return -1;

    CRYPT_KEY_PROV_INFO binding = {};
    binding.pwszContainerName = wideContainer;
    binding.pwszProvName = wideProvider;
    binding.dwProvType = kProviderType;
    binding.dwFlags = 0;
    binding.cProvParam = 0;
    binding.rgProvParam = NULL;
    binding.dwKeySpec = (DWORD)keySpec;

    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (store == NULL)
        return -1;
    PCCERT_CONTEXT context = CertCreateCertificateContext(kCertEncoding, certificate, (DWORD)certificateLength);
    if (context == NULL) {
        CertCloseStore(store, 0);
        return -1;
    }
    if (!CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &binding)) {
        CertFreeCertificateContext(context);
        CertCloseStore(store, 0);
        return -1;
    }

    // Wine keeps the old binding when replacing an existing copy; deleting the identical
    // copy first (and committing) gives one copy with the new binding on both platforms.
    int removed = 0;
    if (!RemoveIdenticalCopies(store, certificate, certificateLength, &removed)) {
        WriteLog("CertDeleteCertificateFromStore err");
        CertFreeCertificateContext(context);
        CertCloseStore(store, 0);
        return -1;
    }

    int result = 0;
    if (!CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_REPLACE_EXISTING, NULL)) {
        DWORD error = GetLastError();
        if (error != (DWORD)CRYPT_E_EXISTS) {
            WriteLog("CertAddEncodedCertificateToStore err");
            WriteLogHex(&error, sizeof error);
            result = -1;
        }
    }
    if (result == 0 && removed > 0 && !CommitStore(store)) {
        WriteLog("CertControlStore commit err");
        result = -1;
    }
    CertFreeCertificateContext(context);
    CertCloseStore(store, 0);
    return result;
}

int DeleteCertFromTheSystem(const unsigned char* certificate, int certificateLength)
{
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (store == NULL)
        return 0;

    // Under Wine a walk continued from a deleted certificate never ends, so the matches are
    // collected during the walk and deleted after it: the same outcome on both platforms.
    MatchList matches = {};
    if (!CollectSameEncoding(store, certificate, certificateLength, &matches)) {
        FreeMatches(&matches);
        CertCloseStore(store, 0);
        return 0;
    }
    bool any = matches.count > 0;
    int result = DeleteMatches(&matches, true) == 0 ? 1 : 0;
    // A failed delete may follow successful ones: keep what was done.
    if (any && !CommitStore(store))
        result = 0;
    CertCloseStore(store, 0);
    return result;
}

// The record's provider name when it lies wholly inside the buffer of `size` bytes, else NULL.
static const wchar_t* ProvNameInBuffer(const CRYPT_KEY_PROV_INFO* info, DWORD size)
{
    const BYTE* start = (const BYTE*)info;
    const BYTE* end = start + size;
    const BYTE* name = (const BYTE*)info->pwszProvName;
    if (name < start || name >= end)
        return NULL;
    for (const BYTE* p = name; p + sizeof(wchar_t) <= end; p += sizeof(wchar_t)) {
        if (*(const wchar_t*)p == L'\0')
            return info->pwszProvName;
    }
    return NULL;
}

unsigned int ConUnloadIECert()
{
    WriteLogNoCap("ConUnloadIECert begin");

    unsigned int result = 0;
    const char* failure = NULL;
    CRYPT_KEY_PROV_INFO* info = NULL;
    MatchList matches = {};
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_NO_CRYPT_RELEASE_FLAG, L"MY");
    if (store == NULL) {
        result = GetLastError();
        failure = "CertOpenStore err";
    }

    char name[PROVIDER_FIELD_BYTES] = {};
    wchar_t wideName[UNLOAD_NAME_UNITS] = {};
    if (failure == NULL) {
        int length = 0;
        int read = GetUnloadProviderName(name, sizeof name, &length);
        WriteLogNoCap(name);
        if (read < 0) {
            // A name too long for the field was never used to bind: remove nothing.
            result = ERROR_INVALID_PARAMETER;
            failure = "ProviderName err";
        } else if (length == 0) {
            strcpy(name, kDefaultProviderName);
        }
    }
    if (failure == NULL) {
        int capacity = UNLOAD_NAME_UNITS;
        MultiToWide(name, wideName, &capacity);
    }

    PCCERT_CONTEXT context = NULL;
    while (failure == NULL && (context = CertEnumCertificatesInStore(store, context)) != NULL) {
        DWORD size = 0;
        if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, NULL, &size))
            continue;
        if (info != NULL)
            LocalFree(info);
        info = (CRYPT_KEY_PROV_INFO*)LocalAlloc(LPTR, size);
        if (info == NULL) {
            CertFreeCertificateContext(context);
            result = ERROR_NOT_ENOUGH_MEMORY;
            failure = "LocalAlloc err ";
            break;
        }
        DWORD got = size;
        if (size < sizeof(CRYPT_KEY_PROV_INFO) ||
            !CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, info, &got))
            continue;
        if (info->pwszProvName == NULL) {
            WriteLogNoCap("pwszProvName==NULL");
            continue;
        }
        const wchar_t* provName = ProvNameInBuffer(info, size);
        if (provName != NULL && wcscmp(provName, wideName) == 0 && info->dwProvType == kProviderType) {
            WriteLogNoCap("wcscmp 0 ");
            // Deleted after the walk: under Wine a walk continued from a deleted
            // certificate never ends.
            if (!KeepMatch(&matches, context)) {
                CertFreeCertificateContext(context);
                result = ERROR_NOT_ENOUGH_MEMORY;
                failure = "LocalAlloc err ";
                break;
            }
        }
        WriteLogNoCap("wcscmp end");
    }

    // What matched before a failure is removed as well, as a delete during the walk would have.
    if (matches.count > 0) {
        DeleteMatches(&matches, false);
        if (!CommitStore(store))
            WriteLogNoCap("CertControlStore commit err");
    }
    FreeMatches(&matches);

    if (failure == NULL) {
        WriteLogNoCap("while end ");
        if (info != NULL)
            LocalFree(info);
        WriteLogNoCap("LocalFree pCryptKeyProvInfo");
        WriteLogNoCap("CertCloseStore 1");
        CertCloseStore(store, 0);
        WriteLogNoCap("CertCloseStore 2");
        WriteLogNoCap("ConUnloadIECert end");
        return 0;
    }

    WriteLogNoCap(failure);
    WriteLogNoCap("ConUnloadIECert err 1");
    if (info != NULL)
        LocalFree(info);
    WriteLogNoCap("LocalFree pCryptKeyProvInfo 2");
    if (store != NULL) {
        WriteLogNoCap("CertCloseStore 1");
        CertCloseStore(store, 0);
        WriteLogNoCap("CertCloseStore 2");
    }
    WriteLogNoCap("ConUnloadIECert err2 ");
    return result;
}

int MultiToWide(const char* text, wchar_t* wideText, int* capacity)
{
    if (text == NULL || wideText == NULL || capacity == NULL)
        return 0;
    int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (needed <= 0) {
        WriteLogNoCap("MultiToWide err");
        return 0;
    }
    if (*capacity < needed) {
        WriteLogNoCap("MultiToWide  buf small");
        return 0;
    }
    *capacity = needed;
    MultiByteToWideChar(CP_ACP, 0, text, -1, wideText, needed);
    return 1;
}
