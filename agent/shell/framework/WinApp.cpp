#include "agent/shell/framework/WinApp.h"

#include <string.h>

#include "agent/shell/framework/Wnd.h"

static CWinApp* g_pApp = NULL;

CWinApp::CWinApp() : m_hInstance(NULL), m_lpCmdLine(NULL), m_nCmdShow(SW_SHOWNORMAL), m_pMainWnd(NULL), m_nExitCode(0)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = NULL;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, NULL, 0, 0);
        if (got == 0) {
            m_nExitCode = (int)msg.wParam;
            break;
        }
        if (got == -1)
            break;
        // Tab, Enter and Escape behave as on any dialog.
        HWND main = m_pMainWnd != NULL ? m_pMainWnd->m_hWnd : NULL;
        if (main != NULL && IsDialogMessageA(main, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

std::string CWinApp::GetExeFileName()
{
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    // A cut path would give a wrong name.
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    const char* lastSlash = strrchr(path, '\\');
    return std::string(lastSlash != NULL ? lastSlash + 1 : path);
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    if (g_pApp != NULL && g_pApp->m_hInstance != NULL)
        return g_pApp->m_hInstance;
    return GetModuleHandleA(NULL);
}
