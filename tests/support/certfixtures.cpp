#include "tests/support/certfixtures.h"

#include "tests/support/testsupport.h"

#include <windows.h>
#include <wincrypt.h>

namespace qmtest {

std::string LoadFixtureCert(const char* name)
{
    return ReadFileBytes(ProgramDir() + "certs\\" + name);
}

namespace {

struct Tlv {
    size_t start;   // tag byte
    size_t body;    // first content byte
    size_t end;     // one past the last content byte
};

// One DER element at POS within [POS, LIMIT); false when it does not fit.
bool ReadTlv(const std::string& der, size_t pos, size_t limit, Tlv* out)
{
    if (pos + 2 > limit)
        return false;
    size_t p = pos + 1;
    size_t len = (unsigned char)der[p++];
    if (len & 0x80) {
        size_t n = len & 0x7F;
        if (n == 0 || n > 3 || p + n > limit)
            return false;
        len = 0;
        while (n--)
            len = (len << 8) | (unsigned char)der[p++];
    }
    if (len > limit - p)
        return false;
    out->start = pos;
    out->body = p;
    out->end = p + len;
    return true;
}

std::string Element(unsigned char tag, const std::string& body)
{
    std::string s(1, (char)tag);
    size_t n = body.size();
    if (n < 0x80) {
        s += (char)n;
    } else if (n < 0x100) {
        s += (char)0x81;
        s += (char)n;
    } else if (n < 0x10000) {
        s += (char)0x82;
        s += (char)(n >> 8);
        s += (char)n;
    } else {
        s += (char)0x83;
        s += (char)(n >> 16);
        s += (char)(n >> 8);
        s += (char)n;
    }
    return s + body;
}

}  // namespace

std::string CertVariant(const std::string& cert, unsigned index)
{
    Tlv outer, tbs, first, serial;
    if (!ReadTlv(cert, 0, cert.size(), &outer) || (unsigned char)cert[0] != 0x30)
        return std::string();
    if (!ReadTlv(cert, outer.body, outer.end, &tbs) || (unsigned char)cert[tbs.start] != 0x30)
        return std::string();
    if (!ReadTlv(cert, tbs.body, tbs.end, &first))
        return std::string();
    serial = first;
    if ((unsigned char)cert[first.start] == 0xA0 && !ReadTlv(cert, first.end, tbs.end, &serial))
        return std::string();
    if ((unsigned char)cert[serial.start] != 0x02)
        return std::string();

    // "QM", the original serial, then the index: never equal to any fixture's own serial.
    std::string number = "QM" + cert.substr(serial.body, serial.end - serial.body);
    for (int shift = 24; shift >= 0; shift -= 8)
        number += (char)(index >> shift);

    std::string tbsBody = cert.substr(tbs.body, serial.start - tbs.body) + Element(0x02, number) +
                          cert.substr(serial.end, tbs.end - serial.end);
    std::string outerBody = Element(0x30, tbsBody) + cert.substr(tbs.end, outer.end - tbs.end);
    return Element(0x30, outerBody);
}

std::vector<std::string> CertVariants(const std::string& cert, unsigned count, unsigned first)
{
    std::vector<std::string> certs;
    certs.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        certs.push_back(CertVariant(cert, first + i));
    return certs;
}

static HCERTSTORE OpenMy()
{
    return CertOpenSystemStoreA(0, "MY");
}

static void ReadBinding(PCCERT_CONTEXT context, StoreCert* cert)
{
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, NULL, &size) ||
        size < sizeof(CRYPT_KEY_PROV_INFO))
        return;
    std::vector<BYTE> buffer(size);
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
        return;
    const CRYPT_KEY_PROV_INFO* info = (const CRYPT_KEY_PROV_INFO*)buffer.data();
    cert->bound = true;
    if (info->pwszContainerName != NULL)
        cert->binding.container = info->pwszContainerName;
    cert->binding.providerNull = info->pwszProvName == NULL;
    if (info->pwszProvName != NULL)
        cert->binding.provider = info->pwszProvName;
    cert->binding.type = info->dwProvType;
    cert->binding.flags = info->dwFlags;
    cert->binding.keySpec = info->dwKeySpec;
}

std::vector<StoreCert> ReadMyStore()
{
    std::vector<StoreCert> certs;
    HCERTSTORE store = OpenMy();
    if (store == NULL)
        return certs;
    PCCERT_CONTEXT context = NULL;
    while ((context = CertEnumCertificatesInStore(store, context)) != NULL) {
        StoreCert cert;
        cert.der.assign((const char*)context->pbCertEncoded, context->cbCertEncoded);
        ReadBinding(context, &cert);
        certs.push_back(cert);
    }
    CertCloseStore(store, 0);
    return certs;
}

int CountInMyStore(const std::string& der)
{
    int count = 0;
    for (const StoreCert& cert : ReadMyStore())
        count += cert.der == der;
    return count;
}

bool ClearMyStore()
{
    HCERTSTORE store = OpenMy();
    if (store == NULL)
        return false;
    // Collected first, deleted after the walk: Wine's walk does not survive a delete.
    std::vector<PCCERT_CONTEXT> all;
    PCCERT_CONTEXT context = NULL;
    while ((context = CertEnumCertificatesInStore(store, context)) != NULL)
        all.push_back(CertDuplicateCertificateContext(context));
    bool ok = true;
    for (PCCERT_CONTEXT c : all)
        ok = CertDeleteCertificateFromStore(c) && ok;
    ok = CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, NULL) && ok;
    CertCloseStore(store, 0);
    return ok;
}

bool AddToMyStore(const std::vector<std::string>& certs, const KeyBinding* binding)
{
    HCERTSTORE store = OpenMy();
    if (store == NULL)
        return false;
    bool ok = true;
    for (const std::string& der : certs) {
        PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                              (const BYTE*)der.data(), (DWORD)der.size());
        if (context == NULL) {
            ok = false;
            continue;
        }
        if (binding != NULL) {
            std::wstring container = binding->container, provider = binding->provider;
            CRYPT_KEY_PROV_INFO info = {};
            info.pwszContainerName = &container[0];
            info.pwszProvName = binding->providerNull ? NULL : &provider[0];
            info.dwProvType = binding->type;
            info.dwFlags = binding->flags;
            info.dwKeySpec = binding->keySpec;
            ok = CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) && ok;
        }
        ok = CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_ALWAYS, NULL) && ok;
        CertFreeCertificateContext(context);
    }
    CertCloseStore(store, 0);
    return ok;
}

bool AddToMyStore(const std::string& cert, const KeyBinding* binding)
{
    return AddToMyStore(std::vector<std::string>(1, cert), binding);
}

bool AddToMachineMyStore(const std::string& cert)
{
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"MY");
    if (store == NULL)
        return false;
    bool ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                               (const BYTE*)cert.data(), (DWORD)cert.size(),
                                               CERT_STORE_ADD_ALWAYS, NULL) != FALSE;
    CertCloseStore(store, 0);
    return ok;
}

}  // namespace qmtest
