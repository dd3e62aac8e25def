// Stand-in for the uninstaller: asks the running agent to remove what it registered.
//   uninstaller.exe [window-title] [wParam lParam]
// Sends WM_DEVICECHANGE 12345/54321 (or the given pair) to the agent's window and prints
// "sent RESULT", or "no window" (exit 1) when the agent is not running.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    const char* title = argc >= 2 ? argv[1] : "Quillmere.exe";
    WPARAM wParam = argc >= 4 ? (WPARAM)strtoul(argv[2], NULL, 0) : 12345;
    LPARAM lParam = argc >= 4 ? (LPARAM)strtol(argv[3], NULL, 0) : 54321;
    HWND hwnd = FindWindowA(NULL, title);
    if (hwnd == NULL) {
        printf("no window\n");
        return 1;
    }
    LRESULT result = SendMessageA(hwnd, WM_DEVICECHANGE, wParam, lParam);
    printf("sent %ld\n", (long)result);
    return 0;
}
