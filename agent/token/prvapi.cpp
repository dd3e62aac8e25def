#include "agent/token/prvapi.h"

#include <string.h>

#include "agent/config/config.h"
#include "agent/shell/log.h"

const char kPrvDefaultUserPin[] = "538274";

PrvApi g_PrvApi;
HMODULE g_hPrvApiDll = NULL;
int g_hPrvToken = 0;

struct PrvBinding {
    const char* name;
    FARPROC* slot;
};

// One entry per table field, named after the field so that the two cannot drift apart.
#define PRV_BINDING(name) {#name, reinterpret_cast<FARPROC*>(&g_PrvApi.name)}

static const PrvBinding kPrvBindings[] = {
    PRV_BINDING(Usb_Connect),  PRV_BINDING(Usb_GetSerialNo), PRV_BINDING(Usb_Disconnect),
    PRV_BINDING(Usb_GetNumber), PRV_BINDING(Usb_ReadCert),   PRV_BINDING(Usb_ReadCspData),
    PRV_BINDING(Usb_WriteCspData),
};

static_assert(sizeof kPrvBindings / sizeof kPrvBindings[0] * sizeof(FARPROC) == sizeof(PrvApi),
              "every field of the table has its binding");

static void ClearPrvApi()
{
    memset(&g_PrvApi, 0, sizeof g_PrvApi);
}

// Only a full path is loaded: a relative name would let the search order pick a library.
static bool IsFullPath(const char* path)
{
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                 path[2] == '\\';
    bool unc = path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

int LoadPrvApi()
{
    WriteLog("LoadPrvApi begin");
    // A turn whose library was never released must not keep a second reference.
    FreePrvApi();

    char path[PATH_FIELD_BYTES] = {};
    GetPrvApiPath(path, sizeof path);
    HMODULE module = NULL;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (IsFullPath(path)) {
        module = LoadLibraryA(path);
        error = GetLastError();
    }
    if (module == NULL) {
        WriteLog("LoadLibrary PrvApi err");
        WriteLogF("dwlasterr=0x%lX", error);
        // A 32-bit agent cannot load a 64-bit library, a common field fault: say so.
        if (error == ERROR_BAD_EXE_FORMAT)
            WriteLog("PrvApi is not a 32-bit library");
        return 0;
    }
    WriteLog("LoadLibrary PrvApi ok");

    for (const PrvBinding& binding : kPrvBindings) {
        FARPROC proc = GetProcAddress(module, binding.name);
        if (proc == NULL) {
            error = GetLastError();
            FreeLibrary(module);
            ClearPrvApi();
            WriteLog(binding.slot == reinterpret_cast<FARPROC*>(&g_PrvApi.Usb_GetSerialNo)
                         ? "GetProcAddress Usb_GetSerialNo err!"
                         : "GetProcAddress err!");
            WriteLogF("dwlasterr=0x%lX", error);
            return 0;
        }
        *binding.slot = proc;
    }

    g_hPrvApiDll = module;
    WriteLog("LoadPrvApi end");
    return 1;
}

void FreePrvApi()
{
    if (g_hPrvApiDll != NULL)
        FreeLibrary(g_hPrvApiDll);
    g_hPrvApiDll = NULL;
    // Pointers into a released library must not be called.
    ClearPrvApi();
}
