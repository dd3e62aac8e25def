#include "agent/shell/tokenpass.h"

#include <stdio.h>

#include "agent/certreg/certstore.h"
#include "agent/certreg/certtable.h"
#include "agent/certreg/reggm.h"
#include "agent/certreg/regprv.h"
#include "agent/config/IniReader.h"
#include "agent/config/config.h"
#include "agent/shell/log.h"
#include "agent/shell/msgnames.h"
#include "agent/token/prvapi.h"
#include "agent/webpage/openurl.h"

enum { TOKEN_INDEX_COUNT = 30, CLEANUP_SETTLE_MS = 20 };

int IsTokenListed(CIniReader& tokenList, int tokenIndex)
{
    char section[32];
    snprintf(section, sizeof section, "qvkey %d", tokenIndex);
    return tokenList.ReadString(section, "qvkey", "").empty() ? 0 : 1;
}

int ReadAppNum()
{
    char name[PATH_FIELD_BYTES] = {};
    int nameLength = 0;
    int appCount = 0;
    GetAppInfo(name, sizeof name, &nameLength, &appCount);
    return appCount;
}

// Takes out of "MY" everything the agent registered before, whatever library it came from.
static void RemoveRegisteredCerts()
{
    ConUnloadIECert();
    WriteLog("ConUnloadIECert END");
    Sleep(CLEANUP_SETTLE_MS);
    DeleteMyFile();
    for (int slot = 0; slot < CERT_TABLE_SLOTS; ++slot) {
        WriteLog("正在删除IE中的证书，请稍后...");
        DeleteRecordedCerts(slot, CERT_TABLE_CONTAINERS);
    }
    EmptyExportedCertList();
}

// One listed token through the private library. 0 when it could not be connected.
static int RegisterPrivateToken(int tokenIndex)
{
    WriteLog("CSPDATA");
    if (LoadPrvApi() == 0) {
        WriteLog("LoadLibrary LoadPrvApi err 证书注册失败");
        return 1;
    }
    if (g_PrvApi.Usb_Connect(tokenIndex, 0, &g_hPrvToken) != USB_OK) {
        FreePrvApi();
        WriteLog("连接设备失败");
        return 0;
    }
    CertRegPrvKey(tokenIndex);
    g_PrvApi.Usb_Disconnect(&g_hPrvToken);
    FreePrvApi();
    return 1;
}

static void NotifySiblingTools(UINT uMsgRegDone)
{
    for (int tool = 0; tool < SIBLING_TOOL_COUNT; ++tool) {
        HWND hwnd = FindWindowA(NULL, kSiblingToolTitles[tool]);
        if (hwnd != NULL && uMsgRegDone != 0)
            PostMessageA(hwnd, uMsgRegDone, 0, 0);
    }
}

int RunMonitorFinishedPass(CIniReader& tokenList, int* pbTokenInserted, UINT uMsgRegDone)
{
    WriteLog("KEY监控程序完成了!下面进行自动注册");
    RemoveRegisteredCerts();

    int appNum = ReadAppNum();
    if (appNum > 0)
        CertRegGmDevices();

    for (int i = 0; i < TOKEN_INDEX_COUNT; ++i) {
        if (!IsTokenListed(tokenList, i))
            continue;
        WriteLog("正在注册证书，请稍后...");
        // In standard mode (and with a negative AppNum) listed tokens are only logged.
        if (appNum != 0)
            continue;
        if (!RegisterPrivateToken(i))
            return 0;
    }

    if (*pbTokenInserted == 1) {
        OpenUrlPage(1);
        *pbTokenInserted = 0;
    }
    NotifySiblingTools(uMsgRegDone);
    return 1;
}

void UninstallCleanUp()
{
    for (int slot = 0; slot < CERT_TABLE_SLOTS; ++slot)
        DeleteRecordedCerts(slot, 1);
    EmptyExportedCertList();
    DeleteMyFile();
}
