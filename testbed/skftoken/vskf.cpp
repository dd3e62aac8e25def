// The virtual standard (SKF) token library: a stand-in for a GM/T 0016 library, driven
// by a fixture INI file (see README.md). Every call is appended to a call log so that
// tests can check the order and count of calls. A stand-in, not product code.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "agent/token/skf.h"

namespace {

const ULONG SAR_INVALIDHANDLEERR = 0x0A000005;
const ULONG SAR_CERTNOTFOUNTERR = 0x0A00001C;
const ULONG SAR_DEVICE_REMOVED = 0x0A000023;
const ULONG SAR_APPLICATION_NOT_EXISTS = 0x0A00002E;
const ULONG SAR_FILE_NOT_EXIST = 0x0A000031;
const int VALUE_BYTES = 65536;

const char kSection[] = "vskf";
const char kNamedFile[] = "VUZUVARID";

HMODULE g_module = NULL;
int g_sizeQueries = 0;  // SKF_EnumDev calls without a buffer since the library was loaded

std::string ModulePath()
{
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(g_module, path, MAX_PATH);
    return path;
}

std::string ModuleDir()
{
    std::string path = ModulePath();
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string WithoutExtension(const std::string& path)
{
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('\\');
    return (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? path : path.substr(0, dot);
}

// QM_VSKF_FIXTURE, else the library's own path with .ini for .dll.
std::string FixturePath()
{
    char env[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableA("QM_VSKF_FIXTURE", env, sizeof env);
    if (n > 0 && n < sizeof env)
        return env;
    return WithoutExtension(ModulePath()) + ".ini";
}

std::string Resolve(const std::string& path)
{
    bool full = (path.size() > 2 && path[1] == ':') || (path.size() > 1 && path[0] == '\\');
    return full ? path : ModuleDir() + path;
}

// Values read since the last size query of SKF_EnumDev: a pass sees one fixture, and
// a thousand calls do not parse the file a thousand times.
std::map<std::string, std::pair<bool, std::string>> g_cache;

std::string ReadValue(const std::string& section, const std::string& key, bool* present = NULL)
{
    std::string id = section + '\n' + key;
    auto cached = g_cache.find(id);
    if (cached != g_cache.end()) {
        if (present != NULL)
            *present = cached->second.first;
        return cached->second.second;
    }
    std::vector<char> value(VALUE_BYTES);
    const char* missing = "\x01missing";
    GetPrivateProfileStringA(section.c_str(), key.c_str(), missing, value.data(), VALUE_BYTES,
                             FixturePath().c_str());
    std::string s(value.data());
    bool found = s != missing;
    if (present != NULL)
        *present = found;
    g_cache[id] = std::make_pair(found, found ? s : std::string());
    return found ? s : std::string();
}

// Decimal, negative, or 0x hexadecimal; `fallback` when the key is absent or empty.
long long ReadNumber(const std::string& section, const std::string& key, long long fallback, bool* present = NULL)
{
    std::string s = ReadValue(section, key);
    if (present != NULL)
        *present = !s.empty();
    return s.empty() ? fallback : strtoll(s.c_str(), NULL, 0);
}

int HexDigit(char c)
{
    return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
         : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        int v = HexDigit(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            bytes += (char)(high << 4 | v);
            high = -1;
        }
    }
    return bytes;
}

// Byte strings: blank-separated tokens, each hex ("41 00") or a repeat "N*HEX"
// ("512*4100" is 512 times 41 00).
std::string FromByteSpec(const std::string& spec)
{
    std::string bytes;
    size_t i = 0;
    while (i < spec.size()) {
        while (i < spec.size() && (spec[i] == ' ' || spec[i] == '\t'))
            ++i;
        size_t end = spec.find_first_of(" \t", i);
        if (end == std::string::npos)
            end = spec.size();
        std::string token = spec.substr(i, end - i);
        size_t star = token.find('*');
        if (star == std::string::npos) {
            bytes += FromHex(token);
        } else {
            long count = strtol(token.substr(0, star).c_str(), NULL, 10);
            std::string unit = FromHex(token.substr(star + 1));
            for (long k = 0; k < count; ++k)
                bytes += unit;
        }
        i = end;
    }
    return bytes;
}

// "name", or "namehex" (takes precedence) for bytes an INI value cannot hold.
std::string ReadName(const std::string& section)
{
    bool hex = false;
    std::string bytes = FromHex(ReadValue(section, "namehex", &hex));
    return hex ? bytes : ReadValue(section, "name");
}

std::string DevSection(int dev)
{
    return "dev " + std::to_string(dev);
}

std::string AppSection(int dev, int app)
{
    return DevSection(dev) + " app " + std::to_string(app);
}

std::string ConSection(int dev, int app, int con)
{
    return AppSection(dev, app) + " con " + std::to_string(con);
}

void CallLog(const std::string& line)
{
    std::string path = ReadValue(kSection, "calllog");
    path = path.empty() ? WithoutExtension(FixturePath()) + ".calls.log" : Resolve(path);
    FILE* f = fopen(path.c_str(), "ab");
    if (f == NULL)
        return;
    fprintf(f, "%s\r\n", line.c_str());
    fclose(f);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string ResultText(ULONG result)
{
    return Format(" -> 0x%lX", result);
}

// An opened device, application or container. Handles are pointers to these; a call
// with a handle that is not open fails instead of touching memory.
struct Object {
    int dev = 0, app = 0, con = 0;
    std::string name;
};
std::set<Object*> g_open;

Object* Lookup(HANDLE handle, bool (*kind)(const Object*))
{
    Object* object = static_cast<Object*>(handle);
    return g_open.count(object) != 0 && kind(object) ? object : NULL;
}

bool IsDevice(const Object* o) { return o->app == 0; }
bool IsApplication(const Object* o) { return o->app != 0 && o->con == 0; }
bool IsContainer(const Object* o) { return o->con != 0; }

HANDLE Open(int dev, int app, int con, const std::string& name)
{
    Object* object = new Object;
    object->dev = dev;
    object->app = app;
    object->con = con;
    object->name = name;
    g_open.insert(object);
    return object;
}

ULONG Close(HANDLE handle, bool (*kind)(const Object*), std::string* name)
{
    Object* object = Lookup(handle, kind);
    if (object == NULL)
        return SAR_INVALIDHANDLEERR;
    *name = object->name;
    g_open.erase(object);
    delete object;
    return SAR_OK;
}

// Faults of one function: "<fn>.result" (non-zero: fail with it), "<fn>.size" (reported
// instead of the true size), "<fn>.data" (bytes delivered instead of the true ones).
struct Faults {
    ULONG result = SAR_OK;
    bool hasSize = false;
    ULONG size = 0;
    bool hasData = false;
    std::string data;
};

Faults ReadFaults(const std::string& section, const std::string& fn)
{
    Faults faults;
    faults.result = (ULONG)ReadNumber(section, fn + ".result", 0);
    bool present = false;
    long long size = ReadNumber(section, fn + ".size", 0, &present);
    faults.hasSize = present;
    faults.size = (ULONG)size;
    std::string spec = ReadValue(section, fn + ".data", &faults.hasData);
    faults.data = FromByteSpec(spec);
    return faults;
}

// Delivers a byte string the way the standard's list and data calls do: the needed size
// without a buffer, SAR_BUFFER_TOO_SMALL when the buffer is short, else the bytes.
// Injected data is delivered as far as the buffer goes, whatever its size.
ULONG Deliver(const std::string& bytes, const Faults& faults, BYTE* buffer, ULONG* size)
{
    if (size == NULL)
        return SAR_INVALIDPARAMERR;
    ULONG capacity = *size;
    ULONG result = SAR_OK;
    const std::string& out = faults.hasData ? faults.data : bytes;
    if (buffer != NULL) {
        if (faults.hasData || out.size() <= capacity)
            memcpy(buffer, out.data(), out.size() < capacity ? out.size() : capacity);
        else
            result = SAR_BUFFER_TOO_SMALL;
    }
    if (faults.result != SAR_OK)
        result = faults.result;
    // A failure leaves the size alone unless a size is injected.
    if (faults.hasSize)
        *size = faults.size;
    else if (result == SAR_OK || result == SAR_BUFFER_TOO_SMALL)
        *size = (ULONG)out.size();
    return result;
}

std::string NameList(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += name + '\0';
    return list + '\0';
}

int Count(const std::string& section, const char* key)
{
    long long n = ReadNumber(section, key, 0);
    return n < 0 ? 0 : (int)n;
}

bool DevicesPresent()
{
    return g_sizeQueries > ReadNumber(kSection, "appearafter", 0);
}

std::string FileBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = fopen(Resolve(path).c_str(), "rb");
    if (f == NULL)
        return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

// The application's "VUZUVARID" content; false when it has no such file.
bool NamedFile(const Object* app, std::string* content)
{
    std::string section = AppSection(app->dev, app->app);
    bool hex = false, text = false;
    std::string bytes = FromByteSpec(ReadValue(section, "vuzuvaridhex", &hex));
    std::string plain = ReadValue(section, "vuzuvarid", &text);
    *content = hex ? bytes : plain;
    return hex || text;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

// The definitions below must keep the standard's types: the agent calls them through
// these pointer types.
#define VSKF_CHECK(name) static_assert(std::is_same<decltype(&SKF_##name), PFN_SKF_##name>::value, #name)
VSKF_CHECK(EnumDev);
VSKF_CHECK(ConnectDev);
VSKF_CHECK(GetDevInfo);
VSKF_CHECK(ReadFile);
VSKF_CHECK(GetFileInfo);
VSKF_CHECK(DisConnectDev);
VSKF_CHECK(EnumApplication);
VSKF_CHECK(OpenApplication);
VSKF_CHECK(CloseApplication);
VSKF_CHECK(EnumContainer);
VSKF_CHECK(OpenContainer);
VSKF_CHECK(CloseContainer);
VSKF_CHECK(GetContainerType);
VSKF_CHECK(ExportCertificate);

extern "C" {

ULONG SKF_API SKF_EnumDev(BOOL bPresent, LPSTR szNameList, ULONG* pulSize)
{
    bool query = szNameList == NULL;
    if (query) {
        ++g_sizeQueries;
        g_cache.clear();
    }
    std::vector<std::string> names;
    if (DevicesPresent()) {
        int devices = Count(kSection, "devices");
        for (int dev = 1; dev <= devices; ++dev)
            names.push_back(ReadName(DevSection(dev)));
    }
    // No device: an empty list of 0 bytes.
    std::string list = names.empty() ? std::string() : NameList(names);
    Faults faults = ReadFaults(kSection, query ? "EnumDev.query" : "EnumDev");
    ULONG capacity = pulSize != NULL ? *pulSize : 0;
    ULONG result = Deliver(list, faults, reinterpret_cast<BYTE*>(szNameList), pulSize);
    ULONG size = pulSize != NULL ? *pulSize : 0;
    if (query)
        CallLog(Format("EnumDev %d query", bPresent) + ResultText(result) +
                Format(" size=%lu @%lu", size, GetTickCount()));
    else
        CallLog(Format("EnumDev %d list %lu", bPresent, capacity) + ResultText(result) + Format(" size=%lu", size));
    return result;
}

ULONG SKF_API SKF_ConnectDev(LPSTR szName, DEVHANDLE* phDev)
{
    std::string name = szName != NULL ? szName : "";
    ULONG result = SAR_DEVICE_REMOVED;
    int devices = DevicesPresent() ? Count(kSection, "devices") : 0;
    for (int dev = 1; dev <= devices; ++dev) {
        std::string section = DevSection(dev);
        if (ReadName(section) != name)
            continue;
        Faults faults = ReadFaults(section, "ConnectDev");
        result = ReadNumber(section, "connect", 1) == 0 ? SAR_DEVICE_REMOVED : faults.result;
        if (result == SAR_OK && phDev != NULL)
            *phDev = Open(dev, 0, 0, name);
        break;
    }
    CallLog("ConnectDev " + name + ResultText(result));
    return result;
}

ULONG SKF_API SKF_GetDevInfo(DEVHANDLE hDev, DEVINFO* pDevInfo)
{
    Object* device = Lookup(hDev, IsDevice);
    ULONG result = device != NULL ? (ULONG)SAR_OK : SAR_INVALIDHANDLEERR;
    if (result == SAR_OK && pDevInfo != NULL) {
        memset(pDevInfo, 0, sizeof *pDevInfo);
        pDevInfo->Version.major = 1;
        strcpy(pDevInfo->Manufacturer, "Quillmere testbed");
        strcpy(pDevInfo->Label, "vskf");
    }
    CallLog(std::string("GetDevInfo ") + (device ? device->name : "?") + ResultText(result));
    return result;
}

ULONG SKF_API SKF_DisConnectDev(DEVHANDLE hDev)
{
    std::string name = "?";
    ULONG result = Close(hDev, IsDevice, &name);
    CallLog("DisConnectDev " + name + ResultText(result));
    return result;
}

ULONG SKF_API SKF_EnumApplication(DEVHANDLE hDev, LPSTR szAppName, ULONG* pulSize)
{
    Object* device = Lookup(hDev, IsDevice);
    ULONG capacity = pulSize != NULL ? *pulSize : 0;
    ULONG result = SAR_INVALIDHANDLEERR;
    if (device != NULL) {
        std::string section = DevSection(device->dev);
        std::vector<std::string> names;
        int apps = Count(section, "apps");
        for (int app = 1; app <= apps; ++app)
            names.push_back(ReadName(AppSection(device->dev, app)));
        std::string list = names.empty() ? std::string() : NameList(names);
        result = Deliver(list, ReadFaults(section, "EnumApplication"), reinterpret_cast<BYTE*>(szAppName), pulSize);
    }
    CallLog("EnumApplication " + (device ? device->name : std::string("?")) + Format(" %lu", capacity) +
            ResultText(result) + Format(" size=%lu", pulSize != NULL ? *pulSize : 0));
    return result;
}

ULONG SKF_API SKF_OpenApplication(DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION* phApplication)
{
    Object* device = Lookup(hDev, IsDevice);
    std::string name = szAppName != NULL ? szAppName : "";
    ULONG result = device != NULL ? SAR_APPLICATION_NOT_EXISTS : SAR_INVALIDHANDLEERR;
    if (device != NULL) {
        int apps = Count(DevSection(device->dev), "apps");
        for (int app = 1; app <= apps; ++app) {
            std::string section = AppSection(device->dev, app);
            if (ReadName(section) != name)
                continue;
            result = ReadFaults(section, "OpenApplication").result;
            if (result == SAR_OK && phApplication != NULL)
                *phApplication = Open(device->dev, app, 0, name);
            break;
        }
    }
    CallLog("OpenApplication " + (device ? device->name : std::string("?")) + " " + name + ResultText(result));
    return result;
}

ULONG SKF_API SKF_CloseApplication(HAPPLICATION hApplication)
{
    std::string name = "?";
    ULONG result = Close(hApplication, IsApplication, &name);
    CallLog("CloseApplication " + name + ResultText(result));
    return result;
}

ULONG SKF_API SKF_GetFileInfo(HAPPLICATION hApplication, LPSTR szFileName, FILEATTRIBUTE* pFileInfo)
{
    Object* app = Lookup(hApplication, IsApplication);
    std::string file = szFileName != NULL ? szFileName : "";
    ULONG result = app != NULL ? SAR_FILE_NOT_EXIST : SAR_INVALIDHANDLEERR;
    ULONG size = 0;
    std::string content;
    if (app != NULL && file == kNamedFile && NamedFile(app, &content)) {
        Faults faults = ReadFaults(AppSection(app->dev, app->app), "GetFileInfo");
        result = faults.result;
        size = faults.hasSize ? faults.size : (ULONG)content.size();
        if (result == SAR_OK && pFileInfo != NULL) {
            memset(pFileInfo, 0, sizeof *pFileInfo);
            strcpy(pFileInfo->FileName, kNamedFile);
            pFileInfo->FileSize = size;
            pFileInfo->ReadRights = 0xFF;
            pFileInfo->WriteRights = 0x10;
        }
    }
    CallLog("GetFileInfo " + (app ? app->name : std::string("?")) + " " + file + ResultText(result) +
            Format(" size=%lu", size));
    return result;
}

ULONG SKF_API SKF_ReadFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize,
                           BYTE* pbOutData, ULONG* pulOutLen)
{
    Object* app = Lookup(hApplication, IsApplication);
    std::string file = szFileName != NULL ? szFileName : "";
    ULONG capacity = pulOutLen != NULL ? *pulOutLen : 0;
    ULONG result = app != NULL ? SAR_FILE_NOT_EXIST : SAR_INVALIDHANDLEERR;
    std::string content;
    if (app != NULL && file == kNamedFile && NamedFile(app, &content)) {
        // Up to ulSize bytes from the offset; at most what the buffer holds.
        std::string part = ulOffset < content.size() ? content.substr(ulOffset, ulSize) : std::string();
        Faults faults = ReadFaults(AppSection(app->dev, app->app), "ReadFile");
        if (part.size() > capacity)
            part.resize(capacity);
        result = Deliver(part, faults, pbOutData, pulOutLen);
    }
    CallLog("ReadFile " + (app ? app->name : std::string("?")) + " " + file +
            Format(" %lu %lu %lu", ulOffset, ulSize, capacity) + ResultText(result) +
            Format(" len=%lu", pulOutLen != NULL ? *pulOutLen : 0));
    return result;
}

ULONG SKF_API SKF_EnumContainer(HAPPLICATION hApplication, LPSTR szContainerName, ULONG* pulSize)
{
    Object* app = Lookup(hApplication, IsApplication);
    ULONG capacity = pulSize != NULL ? *pulSize : 0;
    ULONG result = SAR_INVALIDHANDLEERR;
    if (app != NULL) {
        std::string section = AppSection(app->dev, app->app);
        std::vector<std::string> names;
        int cons = Count(section, "containers");
        for (int con = 1; con <= cons; ++con)
            names.push_back(ReadName(ConSection(app->dev, app->app, con)));
        std::string list = names.empty() ? std::string() : NameList(names);
        result = Deliver(list, ReadFaults(section, "EnumContainer"), reinterpret_cast<BYTE*>(szContainerName),
                         pulSize);
    }
    CallLog("EnumContainer " + (app ? app->name : std::string("?")) + Format(" %lu", capacity) +
            ResultText(result) + Format(" size=%lu", pulSize != NULL ? *pulSize : 0));
    return result;
}

ULONG SKF_API SKF_OpenContainer(HAPPLICATION hApplication, LPSTR szContainerName, HCONTAINER* phContainer)
{
    Object* app = Lookup(hApplication, IsApplication);
    std::string name = szContainerName != NULL ? szContainerName : "";
    ULONG result = app != NULL ? (ULONG)SAR_FAIL : SAR_INVALIDHANDLEERR;
    if (app != NULL) {
        int cons = Count(AppSection(app->dev, app->app), "containers");
        for (int con = 1; con <= cons; ++con) {
            std::string section = ConSection(app->dev, app->app, con);
            if (ReadName(section) != name)
                continue;
            result = ReadFaults(section, "OpenContainer").result;
            if (result == SAR_OK && phContainer != NULL)
                *phContainer = Open(app->dev, app->app, con, name);
            break;
        }
    }
    CallLog("OpenContainer " + (app ? app->name : std::string("?")) + " " + name + ResultText(result));
    return result;
}

ULONG SKF_API SKF_CloseContainer(HCONTAINER hContainer)
{
    std::string name = "?";
    ULONG result = Close(hContainer, IsContainer, &name);
    CallLog("CloseContainer " + name + ResultText(result));
    return result;
}

ULONG SKF_API SKF_GetContainerType(HCONTAINER hContainer, ULONG* pulContainerType)
{
    Object* con = Lookup(hContainer, IsContainer);
    ULONG result = SAR_INVALIDHANDLEERR;
    ULONG type = 0;
    if (con != NULL) {
        std::string section = ConSection(con->dev, con->app, con->con);
        type = (ULONG)ReadNumber(section, "type", SKF_CONTAINER_RSA);
        result = ReadFaults(section, "GetContainerType").result;
        if (result == SAR_OK && pulContainerType != NULL)
            *pulContainerType = type;
    }
    CallLog("GetContainerType " + (con ? con->name : std::string("?")) + ResultText(result) +
            Format(" type=%lu", type));
    return result;
}

ULONG SKF_API SKF_ExportCertificate(HCONTAINER hContainer, BOOL bSignFlag, BYTE* pbCert, ULONG* pulCertLen)
{
    Object* con = Lookup(hContainer, IsContainer);
    const char* kind = bSignFlag ? "sign" : "exch";
    ULONG capacity = pulCertLen != NULL ? *pulCertLen : 0;
    ULONG result = SAR_INVALIDHANDLEERR;
    if (con != NULL) {
        std::string section = ConSection(con->dev, con->app, con->con);
        bool hex = false, file = false;
        std::string cert = FromHex(ReadValue(section, std::string(kind) + "hex", &hex));
        std::string path = ReadValue(section, kind, &file);
        if (!hex && file)
            cert = FileBytes(path);
        Faults faults = ReadFaults(section, bSignFlag ? "ExportSign" : "ExportExch");
        if (cert.empty() && !faults.hasData && faults.result == SAR_OK && !faults.hasSize)
            result = SAR_CERTNOTFOUNTERR;
        else
            result = Deliver(cert, faults, pbCert, pulCertLen);
    }
    CallLog("ExportCertificate " + (con ? con->name : std::string("?")) + " " + kind + Format(" %lu", capacity) +
            ResultText(result) + Format(" len=%lu", pulCertLen != NULL ? *pulCertLen : 0));
    return result;
}

}  // extern "C"
