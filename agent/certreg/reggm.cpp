#include "agent/certreg/reggm.h"

#include <stdlib.h>
#include <string.h>

#include "agent/certreg/certstore.h"
#include "agent/certreg/certtable.h"
#include "agent/config/config.h"
#include "agent/shell/log.h"
#include "agent/token/gmsmartapi.h"
#include "agent/token/namelist.h"

static const char kNoDeviceLine[] = "      SKF_EnumDev pulSize<=1 设备不存在 ";
static const char kNamedContainerFile[] = "VUZUVARID";

// Names are logged as arguments only, never as a format, and at most this many bytes.
static const size_t kLoggedNameBytes = 128;

static int LoggedLength(const ListName& name)
{
    return (int)(name.length < kLoggedNameBytes ? name.length : kLoggedNameBytes);
}

static void LogLongName(const char* what, const ListName& name, size_t capacity)
{
    WriteLogF("%s名称长%u字节，超过%u字节，跳过：%.*s", what, (unsigned)name.length, (unsigned)capacity - 1,
              LoggedLength(name), name.text);
}

static void LogUnterminatedName(const char* what, const ListName& name)
{
    WriteLogF("%s列表末项没有结束符，忽略：%.*s", what, LoggedLength(name), name.text);
}

// Size query, repeated once a second while WaitDevice asks for it. 0 with the size of a
// non-empty device list, or -1 when no device is there.
static int WaitForDevice(ULONG* size)
{
    *size = 0;
    for (int attempt = 0; attempt < GM_WAIT_ATTEMPTS; ++attempt) {
        // Only the size counts, whatever the call returns.
        g_GmSmartApi.EnumDev(TRUE, NULL, size);
        if (*size <= 1) {
            WriteLog(kNoDeviceLine);
            if (GetWaitDevice() == 0)
                return -1;
        }
        Sleep(GM_WAIT_SLEEP_MS);
        if (*size != 0)
            break;
    }
    if (*size <= 1) {
        WriteLog(kNoDeviceLine);
        return -1;
    }
    return 0;
}

void CertRegGmDevice(const char* deviceName)
{
    DEVHANDLE device = NULL;
    if (g_GmSmartApi.ConnectDev(const_cast<char*>(deviceName), &device) != SAR_OK)
        return;

    char apps[GM_APP_LIST_BYTES] = {};
    ULONG size = sizeof apps;
    if (g_GmSmartApi.EnumApplication(device, apps, &size) != SAR_OK || size == 0) {
        g_GmSmartApi.DisConnectDev(device);
        return;
    }

    NameListCursor cursor = NameListBegin(apps, NameListBound(size, sizeof apps));
    ListName name;
    int step;
    while ((step = NextListName(&cursor, &name)) == NAME_LIST_NAME) {
        char appName[GM_APP_NAME_BYTES];
        if (!CopyListName(name, appName, sizeof appName)) {
            LogLongName("应用", name, sizeof appName);
            continue;
        }
        CertRegGmApplication(device, appName);
    }
    if (step == NAME_LIST_UNTERMINATED)
        LogUnterminatedName("应用", name);

    g_GmSmartApi.DisConnectDev(device);
}

int CertRegGmDevices()
{
    if (!IsGMSmartAPIBound()) {
        WriteLog("GM库未加载，不注册");
        return -1;
    }

    ULONG size = 0;
    if (WaitForDevice(&size) != 0)
        return -1;

    if (size > GM_DEVICE_LIST_MAX) {
        WriteLogF("SKF_EnumDev 设备列表长度%lu过大，只读取%d字节", size, (int)GM_DEVICE_LIST_MAX);
        size = GM_DEVICE_LIST_MAX;
    }
    ULONG capacity = size;
    char* list = static_cast<char*>(calloc(1, capacity));
    if (list == NULL)
        return -1;
    if (g_GmSmartApi.EnumDev(TRUE, list, &size) != SAR_OK) {
        free(list);
        return -1;
    }

    NameListCursor cursor = NameListBegin(list, NameListBound(size, capacity));
    ListName name;
    int step;
    while ((step = NextListName(&cursor, &name)) == NAME_LIST_NAME) {
        char deviceName[GM_DEVICE_NAME_BYTES];
        if (!CopyListName(name, deviceName, sizeof deviceName)) {
            LogLongName("设备", name, sizeof deviceName);
            continue;
        }
        CertRegGmDevice(deviceName);
    }
    if (step == NAME_LIST_UNTERMINATED)
        LogUnterminatedName("设备", name);

    free(list);
    return 1;
}

// The container that the application's "VUZUVARID" file names: 1 when it was registered,
// 0 when there is no usable file or the container cannot be opened or typed.
static int CertRegNamedContainer(HAPPLICATION application)
{
    char fileName[sizeof kNamedContainerFile];
    memcpy(fileName, kNamedContainerFile, sizeof fileName);
    FILEATTRIBUTE info = {};
    if (g_GmSmartApi.GetFileInfo(application, fileName, &info) != SAR_OK)
        return 0;

    // Never ask for more than the buffer holds, whatever size the file claims.
    unsigned char content[NAMED_CONTAINER_FILE_BYTES] = {};
    ULONG length = sizeof content;
    ULONG wanted = info.FileSize < sizeof content ? info.FileSize : (ULONG)sizeof content;
    if (g_GmSmartApi.ReadFile(application, fileName, 0, wanted, content, &length) != SAR_OK || length == 0)
        return 0;

    char containerName[NAMED_CONTAINER_FILE_BYTES];
    if (DecodeNamedContainer(content, NameListBound(length, sizeof content), containerName) == 0)
        return 0;
    return CertRegGmContainer(application, containerName);
}

int CertRegGmApplication(DEVHANDLE device, const char* appName)
{
    HAPPLICATION application = NULL;
    if (g_GmSmartApi.OpenApplication(device, const_cast<char*>(appName), &application) != SAR_OK)
        return 0;

    if (CertRegNamedContainer(application) == 1) {
        g_GmSmartApi.CloseApplication(application);
        return 1;
    }

    char containers[GM_CONTAINER_LIST_BYTES] = {};
    ULONG size = sizeof containers;
    if (g_GmSmartApi.EnumContainer(application, containers, &size) != SAR_OK || size == 0) {
        g_GmSmartApi.CloseApplication(application);
        return 0;
    }

    NameListCursor cursor = NameListBegin(containers, NameListBound(size, sizeof containers));
    ListName name;
    int step;
    while ((step = NextListName(&cursor, &name)) == NAME_LIST_NAME) {
        char containerName[GM_CONTAINER_NAME_BYTES];
        if (!CopyListName(name, containerName, sizeof containerName)) {
            LogLongName("容器", name, sizeof containerName);
            continue;
        }
        CertRegGmContainer(application, containerName);
    }
    if (step == NAME_LIST_UNTERMINATED)
        LogUnterminatedName("容器", name);

    g_GmSmartApi.CloseApplication(application);
    return 1;
}

// Exports one certificate of an open container, adds it to "MY" and hands its buffer to
// the exported-certificate list. A certificate that the list could not take is not added
// either: the next clean-up could not take it out again.
static void CertRegGmCertificate(HCONTAINER container, const char* containerName, BOOL signFlag, int keySpec)
{
    unsigned char* cert = static_cast<unsigned char*>(calloc(1, EXPORT_BUFFER_BYTES));
    if (cert == NULL) {
        WriteLog("证书缓冲区分配失败");
        return;
    }
    ULONG length = EXPORT_BUFFER_BYTES;
    if (g_GmSmartApi.ExportCertificate(container, signFlag, cert, &length) != SAR_OK) {
        free(cert);
        return;
    }
    if (length == 0 || length > EXPORT_BUFFER_BYTES) {
        WriteLogF("SKF_ExportCertificate 证书长度%lu无效，不注册", length);
        free(cert);
        return;
    }
    if (GetExportedCertCount() >= EXPORTED_LIST_CAPACITY) {
        WriteLog("导出证书列表已满，不再注册");
        free(cert);
        return;
    }
    AddCertToTheSystem(containerName, (int)strlen(containerName), cert, (int)length, keySpec);
    AppendExportedCert(cert, (int)length);
}

int CertRegGmContainer(HAPPLICATION application, const char* containerName)
{
    HCONTAINER container = NULL;
    if (g_GmSmartApi.OpenContainer(application, const_cast<char*>(containerName), &container) != SAR_OK)
        return 0;

    ULONG type = 0;
    if (g_GmSmartApi.GetContainerType(container, &type) != SAR_OK) {
        g_GmSmartApi.CloseContainer(container);
        return 0;
    }
    if (type == SKF_CONTAINER_ECC)
        WriteLog("容器类型为2，不注册 改为注册");

    CertRegGmCertificate(container, containerName, TRUE, GM_KEY_SPEC_SIGNATURE);
    CertRegGmCertificate(container, containerName, FALSE, GM_KEY_SPEC_EXCHANGE);

    g_GmSmartApi.CloseContainer(container);
    return 1;
}
