#include "agent/shell/AgentApp.h"

#include <windows.h>

#include "agent/res/resource.h"
#include "agent/shell/AgentDlg.h"
#include "agent/shell/log.h"

// The one application object; WinMain drives it.
static CAgentApp theApp;

CAgentApp::CAgentApp() : m_pDlg(NULL) {}

BOOL CAgentApp::InitInstance()
{
    AfxEnableControlContainer();

    // Named after the executable's file name, so a renamed copy is not held back. The
    // handle stays open until the process ends: the mutex marks this copy as running.
    std::string exeName = GetExeFileName();
    if (exeName.empty())
        exeName = kFixedWindowTitle;
    CreateMutexA(NULL, TRUE, exeName.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        WriteLog("Quillmere 已经启动！现在退出重复启动的进程!");
        return FALSE;
    }

    Enable3dControls();
    m_pDlg = new CAgentDlg(NULL);
    m_pMainWnd = m_pDlg;
    return m_pDlg->Create(IDD_MAIN_DIALOG, NULL);
}

int CAgentApp::ExitInstance()
{
    delete m_pDlg;
    m_pDlg = NULL;
    m_pMainWnd = NULL;
    return CWinApp::ExitInstance();
}
