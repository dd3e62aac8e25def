// QvCspFullApi: process entry. The module handle locates the library's own folder.
#include <windows.h>

HMODULE g_hModule = NULL;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        g_hModule = module;
    }
    return TRUE;
}
