// The application object in the manner of MFC. The program defines exactly one static
// object of a class derived from CWinApp; WinMain (WinMain.cpp) drives it:
//   InitInstance() -> FALSE: ExitInstance(), end of the process
//                  -> TRUE:  Run(), the message loop, which ends with ExitInstance()
#pragma once

#include <windows.h>

#include <string>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();

    HINSTANCE m_hInstance;
    LPSTR m_lpCmdLine;
    int m_nCmdShow;
    // The window whose destruction ends the message loop; dialog keys go to it.
    CWnd* m_pMainWnd;

    virtual BOOL InitInstance();
    // Runs the message loop until WM_QUIT, then ExitInstance; returns the exit code.
    virtual int Run();
    // Returns the exit code: the WM_QUIT code, 0 when the loop never ran.
    virtual int ExitInstance();

    // The look of 3-D controls is the system's own these days; kept for the start-up's order.
    void Enable3dControls() {}

    // The running executable's file name with its extension ("Quillmere.exe"), "" when
    // the system does not give a complete path.
    static std::string GetExeFileName();

private:
    int m_nExitCode;
};

CWinApp* AfxGetApp();
// The program's module: where the dialog templates, strings and icons are found.
HINSTANCE AfxGetInstanceHandle();
// ActiveX controls are not used on our dialogs; kept for the start-up's order.
inline void AfxEnableControlContainer() {}
