// Browser stand-in: appends its command line and its start-up show state to a record
// file, so tests can see what the agent started and how. A stand-in, not product code.
//   record: %QM_BROWSER_LOG% if set, else c:\qvtest\browser.log (the folder is created)
//   line:   show=<wShowWindow or -1 when STARTF_USESHOWWINDOW is absent> cmd=<command line>
#include <windows.h>

#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableA("QM_BROWSER_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        CreateDirectoryA("c:\\qvtest", NULL);
        lstrcpyA(path, "c:\\qvtest\\browser.log");
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? (int)startup.wShowWindow : -1;

    FILE* f = fopen(path, "ab");
    if (f == NULL)
        return 1;
    fprintf(f, "show=%d cmd=%s\r\n", show, GetCommandLineA());
    fclose(f);
    return 0;
}
