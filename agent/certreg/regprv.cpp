#include "agent/certreg/regprv.h"

#include <string.h>

#include <string>

#include "agent/certreg/certstore.h"
#include "agent/certreg/certtable.h"
#include "agent/config/config.h"
#include "agent/shell/log.h"
#include "agent/shell/tokenflags.h"
#include "agent/token/cspdata.h"
#include "agent/token/cspread.h"
#include "agent/token/prvapi.h"
#include "agent/webpage/openurl.h"

enum {
    CONTAINER_NAME_FIELD_BYTES = 500,
    SWITCH_FIELD_BYTES = 32,
    // No capacity is passed to Usb_ReadCert; a faulty library that reports more than
    // 4096 bytes may also have written more, so it gets room to spare.
    CERT_BUFFER_BYTES = 2 * CERT_DER_MAX
};

struct ContainerLines {
    const char* exists;
    const char* error;
};

static const ContainerLines kContainerLines[CSP_CONTAINERS] = {
    {"一号包容器存在!", "注册一号包容器证书出错!"},
    {"二号包容器存在!", "注册二号包容器证书出错!"},
    {"三号包容器存在!", "注册三号包容器证书出错!"},
    {"四号包容器存在!", "注册四号包容器证书出错!"},
};

// The texts of one certificate kind.
struct CertKindInfo {
    CertKind kind;
    int keySpec;
    const char* readErr;
    const char* emptyLine;
    const char* addErr;
};

static const CertKindInfo kExchangeInfo = {CERT_KIND_EXCHANGE, 1, "Usb_ReadCert TYPE_ENCRYPT err!",
                                           "Usb_ReadCert TYPE_ENCRYPT derCertLen=0!",
                                           "AddCertToTheSystem TYPE_ENCRYPT err!"};
static const CertKindInfo kSignatureInfo = {CERT_KIND_SIGN, 2, "Usb_ReadCert TYPE_SIGN err!",
                                            "Usb_ReadCert TYPE_SIGN derCertLen=0!",
                                            "AddCertToTheSystem TYPE_SIGN err!"};

int CertRegPrvKey(int tokenIndex)
{
    unsigned int status = 0;
    if (CSP_ReadContainterStaus(g_hPrvToken, &status) != 0) {
        WriteLog("CSP_ReadContainterStaus err!");
        return -1;
    }
    WriteLog("CSP_ReadContainterStaus OK!");

    for (int k = 1; k <= CSP_CONTAINERS; ++k) {
        if (!CspContainerPresent(status, k))
            continue;
        WriteLog(kContainerLines[k - 1].exists);
        if (CertRegContainer(tokenIndex, k) != 0)
            WriteLog(kContainerLines[k - 1].error);
    }
    return 0;
}

// 1 when the UKEYTOOL switch `key` turns its certificate kind off (first character "2").
static int SwitchedOff(const char* key)
{
    char value[SWITCH_FIELD_BYTES] = {};
    int length = 0;
    ReadConfigInfor("UKEYTOOL", key, value, sizeof value, &length);
    return value[0] == '2' ? 1 : 0;
}

// Reads certificate `certId` into the caller's buffer. 0 with its length (0 = none),
// or -1 after the failure was logged. A length outside 0..4096 or a DER header that
// claims more than was delivered is refused.
static int ReadTokenCert(int certId, const CertKindInfo& info, unsigned char* cert, int* certLength)
{
    memset(cert, 0, CERT_BUFFER_BYTES);
    int length = 0;
    if (g_PrvApi.Usb_ReadCert == NULL || g_PrvApi.Usb_ReadCert(g_hPrvToken, certId, cert, &length) != USB_OK) {
        WriteLog(info.readErr);
        return -1;
    }
    if (length < 0 || length > CERT_DER_MAX) {
        WriteLogF("Usb_ReadCert len err: %d", length);
        WriteLog(info.readErr);
        return -1;
    }
    if (length > 0) {
        size_t claimed = DerOuterLength(cert, (size_t)length);
        if (claimed == 0 || claimed > (size_t)length) {
            WriteLogF("Usb_ReadCert der len err: %d", length);
            WriteLog(info.readErr);
            return -1;
        }
    }
    *certLength = length;
    return 0;
}

// The two index lines and dumps written after each added certificate.
static void LogIndexes(int tokenIndex)
{
    int announced = g_nAnnouncedToken;
    WriteLog("Ukey open Url索引号");
    WriteLogHex(&announced, sizeof announced);
    WriteLog("i 索引号");
    WriteLogHex(&tokenIndex, sizeof tokenIndex);
}

int CertRegContainer(int tokenIndex, int containerNumber)
{
    const int k = containerNumber;
    WriteLogF("注册%d号包容器中的证书", k);

    unsigned char name[CONTAINER_NAME_FIELD_BYTES] = {};
    int nameLength = 0;
    if (CSP_ReadCspInfoUnit(g_hPrvToken, k, CSP_ITEM_NAME, name, &nameLength, sizeof name - 1) != 0) {
        WriteLog("CSP_ReadCspInfoUnit get CONTAINTERNAME err!");
        return -1;
    }
    if (nameLength == 0) {
        WriteLog("CSP_ReadCspInfoUnit 包容器名称长度为 0 !");
        return -1;
    }
    // The name comes from the token: logged as its bytes, never used as a format.
    std::string nameLine = "包容器名称:";
    nameLine.append((const char*)name, (size_t)nameLength);
    WriteLog(nameLine.c_str());

    uint32_t exFlag = 0;
    int flagLength = 0;
    if (CSP_ReadCspInfoUnit(g_hPrvToken, k, CSP_ITEM_EXKEYFLAG, (unsigned char*)&exFlag, &flagLength,
                            sizeof exFlag) != 0) {
        WriteLog("CSP_ReadCspInfoUnit get EXKEYEXISTFLAG err!");
        return -1;
    }
    uint32_t sigFlag = 0;
    if (CSP_ReadCspInfoUnit(g_hPrvToken, k, CSP_ITEM_SIGKEYFLAG, (unsigned char*)&sigFlag, &flagLength,
                            sizeof sigFlag) != 0) {
        WriteLog("CSP_ReadCspInfoUnit get SIGKEYEXISTFLAG err!");
        return -1;
    }

    if (SwitchedOff("CertRegSign")) {
        WriteLog("不注册签名证书");
        sigFlag = 0;
    }
    if (SwitchedOff("CertRegEnc")) {
        WriteLog("不注册加密证书");
        exFlag = 0;
    }

    unsigned char cert[CERT_BUFFER_BYTES];
    int certLength = 0;
    const char* containerName = (const char*)name;

    if (CspKeyFlagSet(exFlag)) {
        WriteLog("CSP_ReadCspInfoUnit 加密标志存在!");
        if (ReadTokenCert(CspExchangeCertId(k), kExchangeInfo, cert, &certLength) != 0)
            return -1;
        if (certLength == 0) {
            WriteLog(kExchangeInfo.emptyLine);
        } else {
            if (AddCertToTheSystem(containerName, nameLength, cert, certLength, kExchangeInfo.keySpec) != 0) {
                WriteLog(kExchangeInfo.addErr);
                return -1;
            }
            LogIndexes(tokenIndex);
            if (g_nAnnouncedToken == tokenIndex) {
                if (g_bTokenPresent) {
                    WriteLog("UKey 插入 --Open Url");
                    OpenUrlCert(cert, certLength);
                } else {
                    WriteLog("UKey 拔下 --Not Open Url");
                }
            }
            RecordCert(tokenIndex, k, kExchangeInfo.kind, cert, certLength);
        }
    }

    if (!CspKeyFlagSet(sigFlag))
        return 0;
    WriteLog("CSP_ReadCspInfoUnit 签名标志存在!");
    if (ReadTokenCert(CspSignatureCertId(k), kSignatureInfo, cert, &certLength) != 0)
        return -1;
    if (certLength == 0) {
        WriteLog(kSignatureInfo.emptyLine);
        return 0;
    }
    if (AddCertToTheSystem(containerName, nameLength, cert, certLength, kSignatureInfo.keySpec) != 0) {
        WriteLog(kSignatureInfo.addErr);
        return -1;
    }
    LogIndexes(tokenIndex);
    if (g_nAnnouncedToken == tokenIndex)
        OpenUrlCert(cert, certLength);
    RecordCert(tokenIndex, k, kSignatureInfo.kind, cert, certLength);
    return 0;
}
