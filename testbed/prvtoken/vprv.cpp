// The virtual private token library: a stand-in for the token maker's library, driven by
// a fixture INI file (see README.md). Every call is appended to a call log so that tests
// can check the order of calls. A stand-in, not product code.
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

enum {
    AREA_BYTES = 256,
    CERT_BYTES = 4096,
    HANDLE_BASE = 0x5100,
    TOKEN_COUNT = 30,
    VPRV_FAIL = 0x0A000001,
    VPRV_NO_DEVICE = 0x0A000023,
    VPRV_PIN_INCORRECT = 0x0A000024,
    VPRV_INVALID_HANDLE = 0x0A000010,
    VALUE_BYTES = 20000
};

const char kUserPin[] = "538274";

HMODULE g_module = NULL;
int g_connected = -1;        // token index connected, -1 when none
int g_readCspCalls = 0;      // calls since Usb_Connect, for the "at" faults
int g_readCertCalls = 0;

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

// QM_VPRV_FIXTURE, else the library's own path with .ini for .dll.
std::string FixturePath()
{
    char env[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableA("QM_VPRV_FIXTURE", env, sizeof env);
    if (n > 0 && n < sizeof env)
        return env;
    std::string path = ModulePath();
    size_t dot = path.find_last_of('.');
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ".ini";
}

std::string Resolve(const std::string& path)
{
    bool full = (path.size() > 2 && path[1] == ':') || (path.size() > 1 && path[0] == '\\');
    return full ? path : ModuleDir() + path;
}

std::string ReadValue(const std::string& section, const std::string& key, bool* present = NULL)
{
    std::vector<char> value(VALUE_BYTES);
    const char* missing = "\x01missing";
    GetPrivateProfileStringA(section.c_str(), key.c_str(), missing, value.data(), VALUE_BYTES,
                             FixturePath().c_str());
    std::string s(value.data());
    bool found = s != missing;
    if (present != NULL)
        *present = found;
    return found ? s : std::string();
}

// Decimal, negative, or 0x hexadecimal; `fallback` when the key is absent or empty.
long long ReadNumber(const std::string& section, const std::string& key, long long fallback, bool* present = NULL)
{
    std::string s = ReadValue(section, key);
    if (present != NULL)
        *present = !s.empty();
    if (s.empty())
        return fallback;
    return strtoll(s.c_str(), NULL, 0);
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0)
            continue;  // blanks and separators
        if (high < 0) {
            high = v;
        } else {
            bytes += (char)(high << 4 | v);
            high = -1;
        }
    }
    return bytes;
}

std::string ToHex(const unsigned char* bytes, int length)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < length; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

std::string TokenSection(int index)
{
    char section[32];
    snprintf(section, sizeof section, "token %d", index);
    return section;
}

void CallLog(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::string path = ReadValue("vprv", "calllog");
    if (path.empty()) {
        path = FixturePath();
        size_t dot = path.find_last_of('.');
        path = (dot == std::string::npos ? path : path.substr(0, dot)) + ".calls.log";
    } else {
        path = Resolve(path);
    }
    FILE* f = fopen(path.c_str(), "ab");
    if (f == NULL)
        return;
    fprintf(f, "%s\r\n", line);
    fclose(f);
}

void PutLe32(std::string& area, size_t offset, unsigned int value)
{
    for (int i = 0; i < 4; ++i)
        if (offset + i < area.size())
            area[offset + i] = (char)(value >> (8 * i) & 0xFF);
}

// The token's area: "csp" as stored, else built from status and container keys, else
// never written (empty).
std::string TokenArea(const std::string& section)
{
    bool present = false;
    std::string hex = ReadValue(section, "csp", &present);
    if (present)
        return FromHex(hex).substr(0, AREA_BYTES);
    bool built = false;
    long long status = ReadNumber(section, "status", 0, &built);
    if (!built)
        return std::string();
    std::string area(AREA_BYTES, '\0');
    PutLe32(area, 0, (unsigned int)status);
    for (int k = 1; k <= 4; ++k) {
        std::string c = "c" + std::to_string(k) + ".";
        bool hexName = false;
        std::string name = FromHex(ReadValue(section, c + "namehex", &hexName));
        if (!hexName)
            name = ReadValue(section, c + "name");
        size_t record = 4 + 63 * (size_t)(k - 1);
        PutLe32(area, record, (unsigned int)ReadNumber(section, c + "len", (long long)name.size()));
        for (size_t i = 0; i < name.size() && record + 4 + i < area.size(); ++i)
            area[record + 4 + i] = name[i];
        PutLe32(area, record + 4 + name.size(), (unsigned int)ReadNumber(section, c + "ex", 0));
        PutLe32(area, record + 8 + name.size(), (unsigned int)ReadNumber(section, c + "sig", 0));
    }
    return area;
}

// Injected faults of one function (prefix "Usb_ReadCspData", "Usb_ReadCert5", ...).
struct Faults {
    long long result = 0;
    bool hasLen = false;
    long long len = 0;
    bool hasDeliver = false;
    long long deliver = 0;
};

// Faults of `prefix`, applied when its "at" is absent or equals the call number.
bool ReadFaults(const std::string& section, const std::string& prefix, int callNumber, Faults* faults)
{
    bool any = false, present = false;
    long long at = ReadNumber(section, prefix + ".at", 0, &present);
    if (present && at != callNumber)
        return false;
    faults->result = ReadNumber(section, prefix + ".result", faults->result, &present);
    any |= present;
    long long len = ReadNumber(section, prefix + ".len", 0, &present);
    if (present) {
        faults->hasLen = true;
        faults->len = len;
        any = true;
    }
    long long deliver = ReadNumber(section, prefix + ".deliver", 0, &present);
    if (present) {
        faults->hasDeliver = true;
        faults->deliver = deliver;
        any = true;
    }
    return any;
}

bool ValidHandle(int handle)
{
    return g_connected >= 0 && handle == HANDLE_BASE + g_connected;
}

}  // namespace

extern "C" {

int __stdcall Usb_Connect(int index, int reserved, int* handle)
{
    int result = 0;
    std::string section = TokenSection(index);
    // A token is there when the fixture has a section for its index.
    std::vector<char> keys(VALUE_BYTES);
    bool sectionExists =
        GetPrivateProfileSectionA(section.c_str(), keys.data(), VALUE_BYTES, FixturePath().c_str()) > 0;
    long long connect = ReadNumber(section, "connect", 1);
    Faults faults;
    ReadFaults(section, "Usb_Connect", 1, &faults);
    if (index < 0 || index >= TOKEN_COUNT || !sectionExists || connect == 0)
        result = VPRV_NO_DEVICE;
    else if (faults.result != 0)
        result = (int)faults.result;
    if (result == 0) {
        g_connected = index;
        g_readCspCalls = 0;
        g_readCertCalls = 0;
        if (handle != NULL)
            *handle = HANDLE_BASE + index;
    }
    CallLog("Usb_Connect %d %d -> 0x%X", index, reserved, (unsigned)result);
    return result;
}

int __stdcall Usb_GetSerialNo(int handle, char* serialNo, int* length)
{
    int result = ValidHandle(handle) ? 0 : VPRV_INVALID_HANDLE;
    if (result == 0 && serialNo != NULL && length != NULL) {
        int n = snprintf(serialNo, 32, "VPRV%04d", g_connected);
        *length = n;
    }
    CallLog("Usb_GetSerialNo %d -> 0x%X", handle, (unsigned)result);
    return result;
}

int __stdcall Usb_Disconnect(int* handle)
{
    int value = handle != NULL ? *handle : 0;
    int result = ValidHandle(value) ? 0 : VPRV_INVALID_HANDLE;
    if (result == 0)
        g_connected = -1;
    CallLog("Usb_Disconnect %d -> 0x%X", value, (unsigned)result);
    return result;
}

int __stdcall Usb_GetNumber(int* count)
{
    int tokens = 0;
    for (int i = 0; i < TOKEN_COUNT; ++i) {
        std::vector<char> keys(VALUE_BYTES);
        if (GetPrivateProfileSectionA(TokenSection(i).c_str(), keys.data(), VALUE_BYTES, FixturePath().c_str()) > 0)
            ++tokens;
    }
    if (count != NULL)
        *count = tokens;
    CallLog("Usb_GetNumber -> 0x0");
    return 0;
}

int __stdcall Usb_ReadCert(int handle, int certId, unsigned char* certificate, int* length)
{
    if (!ValidHandle(handle)) {
        CallLog("Usb_ReadCert %d %d -> 0x%X", handle, certId, (unsigned)VPRV_INVALID_HANDLE);
        return VPRV_INVALID_HANDLE;
    }
    std::string section = TokenSection(g_connected);
    int call = ++g_readCertCalls;
    Faults faults;
    ReadFaults(section, "Usb_ReadCert", call, &faults);
    ReadFaults(section, "Usb_ReadCert" + std::to_string(certId), call, &faults);
    if (faults.result != 0) {
        CallLog("Usb_ReadCert %d %d -> 0x%X", handle, certId, (unsigned)faults.result);
        return (int)faults.result;
    }

    std::string key = "cert" + std::to_string(certId);
    bool hexCert = false;
    std::string cert = FromHex(ReadValue(section, "certhex" + std::to_string(certId), &hexCert));
    if (!hexCert) {
        std::string file = ReadValue(section, key);
        if (!file.empty()) {
            FILE* f = fopen(Resolve(file).c_str(), "rb");
            if (f != NULL) {
                char buf[4096];
                size_t n;
                while ((n = fread(buf, 1, sizeof buf, f)) > 0)
                    cert.append(buf, n);
                fclose(f);
            }
        }
    }
    // The library writes at most 4096 bytes and reports the certificate's own size.
    long long deliver = faults.hasDeliver ? faults.deliver : (long long)cert.size();
    if (deliver > (long long)cert.size())
        deliver = (long long)cert.size();
    if (deliver > CERT_BYTES)
        deliver = CERT_BYTES;
    if (deliver < 0)
        deliver = 0;
    if (certificate != NULL)
        memcpy(certificate, cert.data(), (size_t)deliver);
    int reported = faults.hasLen ? (int)faults.len : (faults.hasDeliver ? (int)deliver : (int)cert.size());
    if (length != NULL)
        *length = reported;
    CallLog("Usb_ReadCert %d %d -> 0x0 len=%d", handle, certId, reported);
    return 0;
}

int __stdcall Usb_ReadCspData(int handle, unsigned char* data, int* length, int reserved)
{
    if (!ValidHandle(handle)) {
        CallLog("Usb_ReadCspData %d %d -> 0x%X", handle, reserved, (unsigned)VPRV_INVALID_HANDLE);
        return VPRV_INVALID_HANDLE;
    }
    std::string section = TokenSection(g_connected);
    int call = ++g_readCspCalls;
    Faults faults;
    ReadFaults(section, "Usb_ReadCspData", call, &faults);
    if (faults.result != 0) {
        CallLog("Usb_ReadCspData %d %d -> 0x%X", handle, reserved, (unsigned)faults.result);
        return (int)faults.result;
    }
    std::string area = TokenArea(section);
    long long deliver = faults.hasDeliver ? faults.deliver : (long long)area.size();
    if (deliver > (long long)area.size())
        deliver = (long long)area.size();
    if (deliver < 0)
        deliver = 0;
    if (data != NULL)
        memcpy(data, area.data(), (size_t)deliver);
    int reported = faults.hasLen ? (int)faults.len : (int)deliver;
    if (length != NULL)
        *length = reported;
    CallLog("Usb_ReadCspData %d %d -> 0x0 len=%d", handle, reserved, reported);
    return 0;
}

int __stdcall Usb_WriteCspData(int handle, const unsigned char* data, int length, const char* userPin)
{
    int result = 0;
    std::string section;
    if (!ValidHandle(handle)) {
        result = VPRV_INVALID_HANDLE;
    } else {
        section = TokenSection(g_connected);
        Faults faults;
        ReadFaults(section, "Usb_WriteCspData", 1, &faults);
        if (faults.result != 0)
            result = (int)faults.result;
        else if (userPin == NULL || strcmp(userPin, kUserPin) != 0)
            result = VPRV_PIN_INCORRECT;
        else if (data == NULL || length < 0 || length > AREA_BYTES)
            result = VPRV_FAIL;
    }
    if (result == 0) {
        // Kept in the fixture itself, so that a later read (or a later process) sees it.
        WritePrivateProfileStringA(section.c_str(), "csp", ToHex(data, length).c_str(), FixturePath().c_str());
    }
    CallLog("Usb_WriteCspData %d %d %s -> 0x%X", handle, length, userPin != NULL ? userPin : "(null)",
            (unsigned)result);
    return result;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}
