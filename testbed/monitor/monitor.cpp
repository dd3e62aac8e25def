// Stand-in for the token monitor (plugWatch): a top-level window titled with the program's
// own file name, so that the agent finds it, and a record of every start.
//   plugWatch.exe [-title TEXT] [-record FILE] [-agent TITLE] [-scenario NAME]
//                 [-steps WORD:MS,WORD:MS,...] [-exit 1]
// Record lines (appended, default c:\qvtest\monitor.log):
//   "start YYYY-MM-DD hh:mm:ss.mmm pid=PID cmdline=COMMAND LINE"
//   "posted NAME" / "no agent NAME" for each step of a scenario (NAME in GBK)
//   "done" once the last step was posted
// A scenario is a list of registered messages posted to the agent's window (title
// "Quillmere.exe" unless -agent says otherwise), each after its delay; add one as a row
// of kScenarios, or give the steps with -steps as words (so that command lines stay
// ASCII): inserted, removed, done, openurl, key0 .. key4. Steps wait for the agent's
// window (up to a minute) before the first is posted. The program runs until its window
// is closed or the process is ended, or ends after the last step with -exit 1.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
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

// The monitor's messages, by the words used in -steps.
static const struct {
    const char* word;
    const char* messageName;
} kWords[] = {
    {"done", "KEY监控完成消息"}, {"inserted", "Ukey插入消息"}, {"removed", "Ukey拔下消息"},
    {"openurl", "OpenUrl"},      {"key0", "0号Ukey插入"},     {"key1", "1号Ukey插入"},
    {"key2", "2号Ukey插入"},     {"key3", "3号Ukey插入"},     {"key4", "4号Ukey插入"},
};

// A token plugged in as the real monitor announces it: inserted, its number, finished.
static const ScenarioStep kAnnounce0[] = {
    {"Ukey插入消息", 500},
    {"0号Ukey插入", 200},
    {"KEY监控完成消息", 200},
};
static const ScenarioStep kPullOut[] = {
    {"Ukey拔下消息", 200},
    {"KEY监控完成消息", 200},
};

static const Scenario kScenarios[] = {
    {"idle", NULL, 0},
    {"announce0", kAnnounce0, 3},
    {"pullout", kPullOut, 2},
};

enum { MAX_STEPS = 64, AGENT_WAIT_MS = 60000, AGENT_POLL_MS = 200 };
static ScenarioStep g_argSteps[MAX_STEPS];
static Scenario g_argScenario = {"steps", g_argSteps, 0};
static int g_bExitAtEnd = 0;
static DWORD g_dwWaitedForAgent = 0;

static const char* g_pszRecord = "c:\\qvtest\\monitor.log";
static const char* g_pszAgentTitle = "Quillmere.exe";
static const Scenario* g_pScenario = &kScenarios[0];
static int g_nNextStep = 0;

enum { STEP_TIMER = 1, AGENT_TIMER = 2 };

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
    if (g_nNextStep < g_pScenario->count) {
        SetTimer(hwnd, STEP_TIMER, g_pScenario->steps[g_nNextStep].delayMs + 1, NULL);
        return;
    }
    if (g_pScenario->count > 0) {
        Record("done");
        if (g_bExitAtEnd)
            DestroyWindow(hwnd);
    }
}

// Steps start once the agent's window exists, so that a scenario may start first.
static void WaitForAgent(HWND hwnd)
{
    if (FindWindowA(NULL, g_pszAgentTitle) != NULL || g_dwWaitedForAgent >= AGENT_WAIT_MS) {
        KillTimer(hwnd, AGENT_TIMER);
        ScheduleStep(hwnd);
        return;
    }
    g_dwWaitedForAgent += AGENT_POLL_MS;
    SetTimer(hwnd, AGENT_TIMER, AGENT_POLL_MS, NULL);
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
    if (msg == WM_TIMER && wParam == AGENT_TIMER) {
        WaitForAgent(hwnd);
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

static const char* MessageNameOf(const char* word, size_t length)
{
    for (const auto& w : kWords) {
        if (strlen(w.word) == length && strncmp(w.word, word, length) == 0)
            return w.messageName;
    }
    return NULL;
}

// "word:ms,word:ms,..." (":ms" may be left out: 200 ms); false on an unknown word.
static bool ParseSteps(const char* text)
{
    g_argScenario.count = 0;
    const char* p = text;
    while (*p != '\0') {
        const char* end = strchr(p, ',');
        if (end == NULL)
            end = p + strlen(p);
        const char* colon = (const char*)memchr(p, ':', end - p);
        const char* name = MessageNameOf(p, (colon != NULL ? colon : end) - p);
        if (name == NULL || g_argScenario.count >= MAX_STEPS)
            return false;
        g_argSteps[g_argScenario.count].messageName = name;
        g_argSteps[g_argScenario.count].delayMs = colon != NULL ? (DWORD)strtoul(colon + 1, NULL, 10) : 200;
        ++g_argScenario.count;
        p = *end == ',' ? end + 1 : end;
    }
    return true;
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
        else if (strcmp(option, "-steps") == 0) {
            if (!ParseSteps(value))
                return 2;
            g_pScenario = &g_argScenario;
        } else if (strcmp(option, "-exit") == 0)
            g_bExitAtEnd = atoi(value);
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
    if (g_pScenario->count > 0)
        WaitForAgent(hwnd);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
