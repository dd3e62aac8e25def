// Stand-in store inspector (not product code): shows what is in the current user's "MY"
// store, as the agent's next operation would see it, for tests and the demo.
//   storeinspector.exe                  one line per certificate, sorted
//   storeinspector.exe --count          the number of certificates
//   storeinspector.exe --clear          deletes every certificate; prints how many
//   storeinspector.exe --add FILE [CONTAINER PROVIDER TYPE KEYSPEC]
//                                       adds a DER file, bound to a key container or not
// Lines are UTF-8, fields separated by a TAB:
//   cert  subject=NAME  sha1=HEX  container=NAME  provider=NAME  type=N  flags=N  keyspec=N
// An unbound certificate ends in "binding=none" instead; a binding without a provider
// name shows "provider=(null)".
#include <windows.h>
#include <wincrypt.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

static const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

static std::string Utf8(const wchar_t* text)
{
    if (text == NULL)
        return "(null)";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (n <= 1)
        return std::string();
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &s[0], n, NULL, NULL);
    s.resize(n - 1);
    return s;
}

static std::wstring Wide(const char* text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (n <= 1)
        return std::wstring();
    std::wstring s(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &s[0], n);
    s.resize(n - 1);
    return s;
}

static std::string Sha1Hex(PCCERT_CONTEXT context)
{
    BYTE hash[20];
    DWORD size = sizeof hash;
    if (!CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash, &size))
        return "?";
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (DWORD i = 0; i < size; ++i) {
        s += d[hash[i] >> 4];
        s += d[hash[i] & 15];
    }
    return s;
}

static std::string Subject(PCCERT_CONTEXT context)
{
    wchar_t name[512] = {};
    CertGetNameStringW(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, name, 512);
    return Utf8(name);
}

static std::string Binding(PCCERT_CONTEXT context)
{
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, NULL, &size) ||
        size < sizeof(CRYPT_KEY_PROV_INFO))
        return "binding=none";
    std::vector<BYTE> buffer(size);
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
        return "binding=none";
    const CRYPT_KEY_PROV_INFO* info = (const CRYPT_KEY_PROV_INFO*)buffer.data();
    char numbers[96];
    snprintf(numbers, sizeof numbers, "\ttype=%lu\tflags=%lu\tkeyspec=%lu", (unsigned long)info->dwProvType,
             (unsigned long)info->dwFlags, (unsigned long)info->dwKeySpec);
    return "container=" + Utf8(info->pwszContainerName) + "\tprovider=" + Utf8(info->pwszProvName) + numbers;
}

static int List()
{
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (store == NULL) {
        fprintf(stderr, "cannot open MY: %lu\n", GetLastError());
        return 1;
    }
    std::vector<std::string> lines;
    PCCERT_CONTEXT context = NULL;
    while ((context = CertEnumCertificatesInStore(store, context)) != NULL)
        lines.push_back("cert\tsubject=" + Subject(context) + "\tsha1=" + Sha1Hex(context) + "\t" + Binding(context));
    CertCloseStore(store, 0);
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines)
        printf("%s\n", line.c_str());
    return 0;
}

static int Count()
{
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (store == NULL) {
        fprintf(stderr, "cannot open MY: %lu\n", GetLastError());
        return 1;
    }
    int n = 0;
    PCCERT_CONTEXT context = NULL;
    while ((context = CertEnumCertificatesInStore(store, context)) != NULL)
        ++n;
    CertCloseStore(store, 0);
    printf("%d\n", n);
    return 0;
}

static int Clear()
{
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (store == NULL) {
        fprintf(stderr, "cannot open MY: %lu\n", GetLastError());
        return 1;
    }
    // Collected first and deleted after the walk: Wine's walk does not survive a delete.
    std::vector<PCCERT_CONTEXT> all;
    PCCERT_CONTEXT context = NULL;
    while ((context = CertEnumCertificatesInStore(store, context)) != NULL)
        all.push_back(CertDuplicateCertificateContext(context));
    int removed = 0;
    for (PCCERT_CONTEXT c : all)
        removed += CertDeleteCertificateFromStore(c) ? 1 : 0;
    // Wine saves deletions only after a commit.
    BOOL committed = CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, NULL);
    CertCloseStore(store, 0);
    printf("%d\n", removed);
    return removed == (int)all.size() && committed ? 0 : 1;
}

static int Add(int argc, char** argv)
{
    FILE* f = fopen(argv[2], "rb");
    if (f == NULL) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    std::vector<BYTE> der;
    BYTE chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        der.insert(der.end(), chunk, chunk + n);
    fclose(f);

    PCCERT_CONTEXT context = CertCreateCertificateContext(kEncoding, der.data(), (DWORD)der.size());
    if (context == NULL) {
        fprintf(stderr, "not a certificate: %s\n", argv[2]);
        return 1;
    }
    int rc = 0;
    if (argc >= 7) {
        std::wstring container = Wide(argv[3]), provider = Wide(argv[4]);
        CRYPT_KEY_PROV_INFO info = {};
        info.pwszContainerName = &container[0];
        info.pwszProvName = &provider[0];
        info.dwProvType = strtoul(argv[5], NULL, 0);
        info.dwKeySpec = strtoul(argv[6], NULL, 0);
        if (!CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info))
            rc = 1;
    }
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (store == NULL || !CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_ALWAYS, NULL)) {
        fprintf(stderr, "cannot add: %lu\n", GetLastError());
        rc = 1;
    }
    if (store != NULL)
        CertCloseStore(store, 0);
    CertFreeCertificateContext(context);
    return rc;
}

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 1)
        return List();
    if (strcmp(argv[1], "--count") == 0)
        return Count();
    if (strcmp(argv[1], "--clear") == 0)
        return Clear();
    if (strcmp(argv[1], "--add") == 0 && (argc == 3 || argc == 7))
        return Add(argc, argv);
    fprintf(stderr, "usage: storeinspector [--count | --clear | --add FILE [CONTAINER PROVIDER TYPE KEYSPEC]]\n");
    return 2;
}
