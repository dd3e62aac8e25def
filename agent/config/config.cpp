#include "agent/config/config.h"

#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "agent/shell/log.h"

const char kDefaultProviderName[] = "Qvware Csp V1.0";
const char kDefaultMonitorName[] = "plugWatch.exe";

static const char kConfigFileName[] = "ConfigInfor.ini";
static const char kConfigPathLine[] = "获取的配置文件路径：";

enum { PROFILE_VALUE_BYTES = 260, PROFILE_WIDE_VALUE_BYTES = 1024 };

std::string GetProgramDir()
{
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    char* lastSlash = strrchr(path, '\\');
    if (lastSlash == NULL)
        return std::string();
    lastSlash[1] = '\0';
    return std::string(path);
}

std::string GetConfigInforPath()
{
    return GetProgramDir() + kConfigFileName;
}

std::string GetDocumentsDir()
{
    LPITEMIDLIST pidl = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_PERSONAL, &pidl)) || pidl == NULL) {
        WriteLog("获取我的文档路径失败");
        return std::string();
    }
    char path[MAX_PATH + 1] = {};
    BOOL ok = SHGetPathFromIDListA(pidl, path);
    CoTaskMemFree(pidl);
    if (!ok || path[0] == '\0') {
        WriteLog("获取我的文档路径失败");
        return std::string();
    }
    std::string dir(path);
    // Some shells report the folder with a trailing backslash; the agent's folder has none.
    while (dir.size() > 3 && dir[dir.size() - 1] == '\\')
        dir.erase(dir.size() - 1);
    return dir;
}

// Reads a string of ConfigInfor.ini with an empty default; the text is cut at capacity - 1.
static int ReadConfigString(const char* section, const char* key, char* value, int capacity)
{
    value[0] = '\0';
    return (int)GetPrivateProfileStringA(section, key, "", value, (DWORD)capacity, GetConfigInforPath().c_str());
}

// Reads an integer of ConfigInfor.ini as a signed number (the profile function's own
// integer reader does not say what it does with a minus sign).
static int ReadConfigInt(const char* section, const char* key, int def)
{
    char text[64];
    ReadConfigString(section, key, text, sizeof text);
    if (text[0] == '\0')
        return def;
    return (int)strtol(text, NULL, 10);
}

static void LogConfigPath()
{
    WriteLog(kConfigPathLine);
    WriteLog(GetConfigInforPath().c_str());
}

int ReadConfigInfor(const char* section, const char* key, char* value, int capacity, int* length)
{
    char buffer[PROFILE_WIDE_VALUE_BYTES];
    int n = ReadConfigString(section, key, buffer, sizeof buffer);
    *length = 0;
    if (capacity <= 0)
        return 0;
    if (n > capacity - 1) {
        WriteLogF("配置项过长，已截断: [%s] %s", section, key);
        n = capacity - 1;
    }
    memcpy(value, buffer, (size_t)n);
    *length = n;
    return 0;
}

int GetKeyListFileName(std::string& name)
{
    char value[PROFILE_VALUE_BYTES];
    ReadConfigString("UlibSdkList", "path", value, sizeof value);
    name += value[0] != '\0' ? value : "qvkey.ini";
    return 1;
}

// Documents folder + tail, or "" (logged) when the folder is unknown or the path too long.
static std::string DocumentsPath(const std::string& tail)
{
    std::string dir = GetDocumentsDir();
    if (dir.empty())
        return std::string();
    std::string path = dir + tail;
    if (path.size() > DOCUMENTS_PATH_MAX) {
        WriteLog("路径过长，不使用:");
        WriteLog(path.c_str());
        return std::string();
    }
    return path;
}

std::string GetKeyListPath()
{
    std::string name;
    GetKeyListFileName(name);
    return DocumentsPath("\\" + name);
}

std::string GetKeyCertInfoPrefix(int n)
{
    char tail[64];
    snprintf(tail, sizeof tail, "\\QVKEYCERTINFORINKEYNO%d_", n);
    return DocumentsPath(tail);
}

// Program directory + file name into the caller's field; false (field empty) when too long.
static bool ComposeProgramPath(const char* fileName, char* path, int capacity)
{
    std::string full = GetProgramDir() + fileName;
    if (capacity <= 0 || full.size() > (size_t)capacity - 1) {
        if (capacity > 0)
            path[0] = '\0';
        return false;
    }
    memcpy(path, full.c_str(), full.size() + 1);
    return true;
}

int GetMonitorPath(char* path, int capacity, int* length)
{
    char value[PATH_FIELD_BYTES];
    ReadConfigString("ConfigInfor", "PlugWatch", value, sizeof value);
    const char* name = value[0] != '\0' ? value : kDefaultMonitorName;
    if (!ComposeProgramPath(name, path, capacity)) {
        WriteLog("获取监控程序路径过长");
        *length = 0;
        return -1;
    }
    *length = (int)strlen(path);
    return (int)GetProgramDir().size();
}

static int ReadProviderName(char* name, int capacity, int* length)
{
    char value[PROFILE_WIDE_VALUE_BYTES];
    int n = ReadConfigString("ConfigInfor", "ProviderName", value, sizeof value);
    *length = 0;
    if (n == 0)
        return 1;
    if (n > capacity - 1) {
        WriteLog("ProviderName 过长，不使用");
        return -1;
    }
    memcpy(name, value, (size_t)n);
    *length = n;
    return 0;
}

int GetProviderName(char* name, int capacity, int* length)
{
    return ReadProviderName(name, capacity, length);
}

int GetUnloadProviderName(char* name, int capacity, int* length)
{
    WriteLogNoCap(GetConfigInforPath().c_str());
    return ReadProviderName(name, capacity, length);
}

struct LibraryPathRule {
    const char* key;
    const char* defaultName;
    const char* emptyNameLine;
    const char* pathLine;
};

static int GetLibraryPath(const LibraryPathRule& rule, char* path, int capacity)
{
    LogConfigPath();
    char value[PROFILE_VALUE_BYTES];
    ReadConfigString("ConfigInfor", rule.key, value, sizeof value);
    const char* name = value;
    if (value[0] == '\0') {
        WriteLog(rule.emptyNameLine);
        name = rule.defaultName;
    }
    if (!ComposeProgramPath(name, path, capacity))
        WriteLog("库文件路径过长，不加载");
    WriteLog(rule.pathLine);
    WriteLog(capacity > 0 ? path : "");
    return 1;
}

int GetPrvApiPath(char* path, int capacity)
{
    static const LibraryPathRule rule = {"DeviceManageDLLName", "QvPrvApi.dll", "获取私有库文件名称为空",
                                         "获取的私有库文件路径："};
    return GetLibraryPath(rule, path, capacity);
}

int GetGmTokApiPath(char* path, int capacity)
{
    static const LibraryPathRule rule = {"GmTokApiDLLName", "GmTokApiHID.dll", "获取GM库文件名称为空",
                                         "获取的GM库文件路径："};
    return GetLibraryPath(rule, path, capacity);
}

int GetFunctionPre(std::string& prefix)
{
    char value[PROFILE_VALUE_BYTES];
    ReadConfigString("SmartAPP", "FunctionPre", value, sizeof value);
    prefix += value[0] != '\0' ? value : "SKF";
    return 1;
}

int GetAppInfo(char* name, int capacity, int* nameLength, int* appCount)
{
    LogConfigPath();
    int count = ReadConfigInt("SmartAPP", "AppNum", 0);
    *appCount = count;
    if (count == 0) {
        *nameLength = 0;
    } else if (count == 1) {
        char value[PROFILE_VALUE_BYTES];
        int n = ReadConfigString("SmartAPP", "AppName", value, sizeof value);
        if (n > capacity - 1)
            n = capacity > 0 ? capacity - 1 : 0;
        *nameLength = n;
        if (n > 0)
            memcpy(name, value, (size_t)n);
        else
            WriteLog("获取应用名称为空");
    }
    return 1;
}

int GetWaitDevice()
{
    LogConfigPath();
    return ReadConfigInt("SmartAPP", "WaitDevice", 0) != 0 ? 1 : 0;
}
