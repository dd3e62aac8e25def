#include "agent/token/gmsmartapi.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "agent/config/config.h"
#include "agent/shell/log.h"

GmSmartApi g_GmSmartApi;
static HMODULE g_hGmSmartDll = NULL;

struct GmBinding {
    const char* format;
    FARPROC* slot;
};

// One entry per table field, named after the field so that the two cannot drift apart.
#define GM_BINDING(name) {"%s_" #name, reinterpret_cast<FARPROC*>(&g_GmSmartApi.name)}

static const GmBinding kGmBindings[] = {
    GM_BINDING(EnumDev),         GM_BINDING(ConnectDev),       GM_BINDING(GetDevInfo),
    GM_BINDING(ReadFile),        GM_BINDING(GetFileInfo),      GM_BINDING(DisConnectDev),
    GM_BINDING(EnumApplication), GM_BINDING(OpenApplication),  GM_BINDING(CloseApplication),
    GM_BINDING(EnumContainer),   GM_BINDING(OpenContainer),    GM_BINDING(CloseContainer),
    GM_BINDING(GetContainerType), GM_BINDING(ExportCertificate),
};

static_assert(sizeof kGmBindings / sizeof kGmBindings[0] * sizeof(FARPROC) == sizeof(GmSmartApi),
              "every field of the table has its binding");

static void ClearGmSmartApi()
{
    memset(&g_GmSmartApi, 0, sizeof g_GmSmartApi);
}

// A 32-bit agent cannot load a 64-bit library, a common field fault: say so.
static void LogLoadError(DWORD error)
{
    if (error == ERROR_BAD_EXE_FORMAT)
        WriteLogF("    error %lu: not a 32-bit library", error);
    else
        WriteLogF("    error %lu", error);
}

int LoadGMSmartAPI()
{
    if (g_hGmSmartDll != NULL)
        return 1;

    char path[PATH_FIELD_BYTES] = {};
    GetGmTokApiPath(path, sizeof path);
    // An empty path means the configured one did not fit: load nothing rather than let
    // the search order pick a library.
    HMODULE module = path[0] != '\0' ? LoadLibraryA(path) : NULL;
    if (module == NULL) {
        DWORD error = path[0] != '\0' ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        WriteLog("LoadLibrary GMSmartDll err");
        LogLoadError(error);
        return 0;
    }

    std::string prefix;
    GetFunctionPre(prefix);
    if (prefix.empty())
        prefix = "SKF";

    for (const GmBinding& binding : kGmBindings) {
        char name[PATH_FIELD_BYTES];
        int n = snprintf(name, sizeof name, binding.format, prefix.c_str());
        FARPROC proc = (n > 0 && n < (int)sizeof name) ? GetProcAddress(module, name) : NULL;
        if (proc == NULL) {
            FreeLibrary(module);
            ClearGmSmartApi();
            return 0;
        }
        *binding.slot = proc;
    }

    g_hGmSmartDll = module;
    return 1;
}

int IsGMSmartAPIBound()
{
    return g_hGmSmartDll != NULL ? 1 : 0;
}

void UnloadGMSmartAPI()
{
    if (g_hGmSmartDll != NULL)
        FreeLibrary(g_hGmSmartDll);
    g_hGmSmartDll = NULL;
    ClearGmSmartApi();
}
