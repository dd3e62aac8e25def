// Lists the top-level windows: one line each, "pid=PID visible=0|1 title=TITLE", the
// title in UTF-8 (the terminal's encoding). Windows without a title are left out.
//   winlist.exe [TITLE]   only windows with exactly this title; exit 1 when there is none
#include <windows.h>

#include <stdio.h>
#include <string.h>

static const char* g_pszOnly = NULL;
static int g_nListed = 0;

static void PrintUtf8(const char* ansi)
{
    wchar_t wide[1024];
    char utf8[4096];
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 1024);
    if (n <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, NULL, NULL) <= 0) {
        fputs(ansi, stdout);
        return;
    }
    fputs(utf8, stdout);
}

static BOOL CALLBACK ListWindow(HWND hwnd, LPARAM)
{
    char title[512] = {};
    if (GetWindowTextA(hwnd, title, sizeof title) <= 0)
        return TRUE;
    if (g_pszOnly != NULL && strcmp(title, g_pszOnly) != 0)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    printf("pid=%lu visible=%d title=", (unsigned long)pid, IsWindowVisible(hwnd) ? 1 : 0);
    PrintUtf8(title);
    printf("\n");
    ++g_nListed;
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc >= 2)
        g_pszOnly = argv[1];
    EnumWindows(ListWindow, 0);
    fflush(stdout);
    return g_nListed > 0 || g_pszOnly == NULL ? 0 : 1;
}
