// The program's entry: drives the one application object.
#include <windows.h>

#include "agent/shell/framework/Wnd.h"
#include "agent/shell/framework/WinApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow)
{
    CWinApp* app = AfxGetApp();
    if (app == NULL)
        return 1;
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = lpCmdLine;
    app->m_nCmdShow = nCmdShow;

    if (!app->InitInstance()) {
        if (app->m_pMainWnd != NULL)
            app->m_pMainWnd->DestroyWindow();
        return app->ExitInstance();
    }
    return app->Run();
}
