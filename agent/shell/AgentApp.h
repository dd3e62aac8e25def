// The application object: one running copy per logon session, holding the hidden main
// window.
#pragma once

#include "agent/shell/framework/WinApp.h"

class CAgentDlg;

class CAgentApp : public CWinApp {
public:
    CAgentApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    CAgentDlg* m_pDlg;  // owned; also the framework's main window
};
