// Stand-in for the token monitor (plugWatch): a top-level window titled with the program's
// own file name, so that the agent finds it, and a record of every start.
//   plugWatch.exe [-title TEXT] [-record FILE] [-agent TITLE] [-scenario NAME]
// Record lines (appended, default c:\qvtest\monitor.log):
//   "start YYYY-MM-DD hh:mm:ss.mmm pid=PID cmdline=COMMAND LINE"
//   "posted NAME" / "no agent NAME" for each step of a scenario
// A scenario is a list of registered messages posted to the agent's window (title
// "Quillmere.exe" unless -agent says otherwise), each after its delay; add one as a row
// of kScenarios. The program runs until its window is closed or the process is ended.
#include <windows.h>

#include <stdio.h>
#include <string.h>

struct ScenarioStep {
    const char* messageName;  // registered by name, as the real monitor does
    DWORD delayMs;            // after the previous step (the first: after start)
};

struct Scenario {
    const char* name;
    const ScenarioStep* steps;
    int count;
};

static const Scenario kScenarios[] = {
    {"idle", NULL, 0},
};

static const char* g_pszRecord = "c:\\qvtest\\monitor.log";
static const char* g_pszAgentTitle = "Quillmere.exe";
static const Scenario* g_pScenario = &kScenarios[0];
static int g_nNextStep = 0;

enum { STEP_TIMER = 1 };

static void Record(const char* line)
{
    FILE* f = fopen(g_pszRecord, "ab");
    if (f == NULL)
        return;
    fprintf(f, "%s\r\n", line);
    fclose(f);
}

static void RecordStart()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char line[4096];
    snprintf(line, sizeof line, "start %04u-%02u-%02u %02u:%02u:%02u.%03u pid=%lu cmdline=%s", t.wYear, t.wMonth, t.wDay,
             t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, (unsigned long)GetCurrentProcessId(), GetCommandLineA());
    Record(line);
}

static void ScheduleStep(HWND hwnd)
{
    if (g_nNextStep < g_pScenario->count)
        SetTimer(hwnd, STEP_TIMER, g_pScenario->steps[g_nNextStep].delayMs + 1, NULL);
}

static void RunStep(HWND hwnd)
{
    KillTimer(hwnd, STEP_TIMER);
    const ScenarioStep& step = g_pScenario->steps[g_nNextStep++];
    char line[512];
    HWND agent = FindWindowA(NULL, g_pszAgentTitle);
    UINT message = RegisterWindowMessageA(step.messageName);
    if (agent != NULL && message != 0 && PostMessageA(agent, message, 0, 0))
        snprintf(line, sizeof line, "posted %s", step.messageName);
    else
        snprintf(line, sizeof line, "no agent %s", step.messageName);
    Record(line);
    ScheduleStep(hwnd);
}

static LRESULT CALLBACK MonitorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER && wParam == STEP_TIMER) {
        RunStep(hwnd);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static const char* OwnFileName()
{
    static char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return "plugWatch.exe";
    const char* slash = strrchr(path, '\\');
    return slash != NULL ? slash + 1 : path;
}

static const Scenario* FindScenario(const char* name)
{
    for (const Scenario& s : kScenarios) {
        if (strcmp(s.name, name) == 0)
            return &s;
    }
    return NULL;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int nCmdShow)
{
    const char* title = OwnFileName();
    for (int i = 1; i + 1 < __argc; i += 2) {
        const char* option = __argv[i];
        const char* value = __argv[i + 1];
        if (strcmp(option, "-title") == 0)
            title = value;
        else if (strcmp(option, "-record") == 0)
            g_pszRecord = value;
        else if (strcmp(option, "-agent") == 0)
            g_pszAgentTitle = value;
        else if (strcmp(option, "-scenario") == 0 && (g_pScenario = FindScenario(value)) == NULL)
            return 2;
    }
    CreateDirectoryA("c:\\qvtest", NULL);
    RecordStart();

    WNDCLASSA wc = {};
    wc.lpfnWndProc = MonitorProc;
    wc.hInstance = instance;
    wc.lpszClassName = "QmMonitorStandIn";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA(wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 240, 100, NULL, NULL, instance, NULL);
    if (hwnd == NULL)
        return 1;
    ShowWindow(hwnd, nCmdShow);
    ScheduleStep(hwnd);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
