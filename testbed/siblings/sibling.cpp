// Stand-in for the three sibling tools: a top-level window with the tool's title that
// records every registration-finished message it receives.
//   sibling.exe N [record-file]     N = 1, 2 or 3 picks the tool's title
// Record lines (appended, default c:\qvtest\siblings.log): "N regdone WPARAM LPARAM".
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static const char* const kTitles[3] = {"USBKEY管理员工具", "USBKEY普通用户工具", "UKey用户管理工具"};

static int g_nTool = 0;
static UINT g_uMsgRegDone = 0;
static const char* g_pszRecord = "c:\\qvtest\\siblings.log";

static void Record(WPARAM wParam, LPARAM lParam)
{
    FILE* f = fopen(g_pszRecord, "ab");
    if (f == NULL)
        return;
    fprintf(f, "%d regdone %lu %ld\r\n", g_nTool, (unsigned long)wParam, (long)lParam);
    fclose(f);
}

static LRESULT CALLBACK SiblingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_uMsgRegDone != 0 && msg == g_uMsgRegDone) {
        Record(wParam, lParam);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 2 || (g_nTool = atoi(__argv[1])) < 1 || g_nTool > 3)
        return 2;
    if (__argc >= 3)
        g_pszRecord = __argv[2];
    CreateDirectoryA("c:\\qvtest", NULL);
    g_uMsgRegDone = RegisterWindowMessageA("证书注册完成消息");
    // The agent may run at another integrity level on Vista and later.
    ChangeWindowMessageFilter(g_uMsgRegDone, MSGFLT_ADD);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = SiblingProc;
    wc.hInstance = instance;
    wc.lpszClassName = "QmSiblingStandIn";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA(wc.lpszClassName, kTitles[g_nTool - 1], WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL,
                              NULL, instance, NULL);
    if (hwnd == NULL)
        return 1;
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
