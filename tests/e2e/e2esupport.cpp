#include "tests/e2e/e2esupport.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include "tests/support/testsupport.h"

namespace e2e {

const char kAgentExe[] = "Quillmere.exe";
const char kMonitorExe[] = "plugWatch.exe";
const char kMonitorRecord[] = "c:\\qvtest\\monitor.log";

bool Start(const std::string& exeName, PROCESS_INFORMATION* pi, const std::string& args)
{
    std::string commandLine = "\"" + qmtest::ProgramDir() + exeName + "\"";
    if (!args.empty())
        commandLine += " " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    *pi = PROCESS_INFORMATION();
    return CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, qmtest::ProgramDir().c_str(), &si, pi) !=
           FALSE;
}

void Stop(PROCESS_INFORMATION* pi)
{
    if (pi->hProcess == NULL)
        return;
    TerminateProcess(pi->hProcess, 9);
    WaitForSingleObject(pi->hProcess, 10000);
    CloseHandle(pi->hProcess);
    CloseHandle(pi->hThread);
    *pi = PROCESS_INFORMATION();
}

bool IsRunning(const PROCESS_INFORMATION& pi)
{
    return pi.hProcess != NULL && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
}

struct Search {
    const std::string* title;
    DWORD pid;
    HWND found;
    int count;
};

static BOOL CALLBACK Visit(HWND hwnd, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    char title[512] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    if (*search->title != title)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (search->pid != 0 && pid != search->pid)
        return TRUE;
    if (search->found == NULL)
        search->found = hwnd;
    ++search->count;
    return TRUE;
}

HWND FindTopLevel(const std::string& title, DWORD pid)
{
    Search search = {&title, pid, NULL, 0};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int CountTopLevel(const std::string& title)
{
    Search search = {&title, 0, NULL, 0};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(20);
    } while (GetTickCount() - start < ms);
}

HWND WaitForTopLevel(const std::string& title, DWORD pid, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindTopLevel(title, pid);
        if (hwnd != NULL || GetTickCount() - start >= timeoutMs)
            return hwnd;
        Pump(50);
    }
}

std::vector<std::string> MonitorStarts()
{
    std::vector<std::string> starts;
    std::string text = qmtest::ReadFileBytes(kMonitorRecord);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (line.compare(0, 6, "start ") == 0)
            starts.push_back(line);
        pos = end + 2;
    }
    return starts;
}

bool WaitForMonitorStarts(size_t n, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (MonitorStarts().size() < n) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Pump(50);
    }
    return true;
}

bool CopyInBin(const std::string& from, const std::string& to)
{
    return CopyFileA((qmtest::ProgramDir() + from).c_str(), (qmtest::ProgramDir() + to).c_str(), FALSE) != FALSE;
}

std::vector<std::string> FileLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = qmtest::ReadFileBytes(path);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

bool BrowserAtIePath::Install()
{
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(NULL, folder, CSIDL_PROGRAM_FILES, FALSE))
        return false;
    std::string dir = std::string(folder) + "\\Internet Explorer";
    m_browser = dir + "\\IEXPLORE.EXE";
    m_saved = dir + "\\iexplore.qvtest-saved";
    CreateDirectoryA(dir.c_str(), NULL);
    // Keep the prefix's own file under its own spelling.
    m_original = m_browser;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(m_browser.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        m_original = dir + "\\" + found.cFileName;
        FindClose(find);
    }
    if (qmtest::FileExists(m_browser) && !qmtest::FileExists(m_saved) &&
        !MoveFileA(m_browser.c_str(), m_saved.c_str()))
        return false;
    return CopyFileA((qmtest::ProgramDir() + "browser.exe").c_str(), m_browser.c_str(), FALSE) != FALSE;
}

void BrowserAtIePath::Restore()
{
    if (m_browser.empty())
        return;
    DeleteFileA(m_browser.c_str());
    if (qmtest::FileExists(m_saved))
        MoveFileA(m_saved.c_str(), m_original.c_str());
    m_browser.clear();
}

bool StartAgent(Agent* agent, DWORD timeoutMs)
{
    if (!Start(kAgentExe, &agent->pi))
        return false;
    agent->hwnd = WaitForTopLevel(kAgentExe, agent->pi.dwProcessId, timeoutMs);
    if (agent->hwnd == NULL)
        return false;
    WaitForInputIdle(agent->pi.hProcess, timeoutMs);
    return true;
}

void StopAgent(Agent* agent)
{
    Stop(&agent->pi);
    agent->hwnd = NULL;
}

bool SendToAgent(const Agent& agent, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(agent.hwnd, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool SendRegistered(const Agent& agent, const char* messageName, DWORD timeoutMs)
{
    UINT message = RegisterWindowMessageA(messageName);
    return message != 0 && SendToAgent(agent, message, 0, 0, timeoutMs);
}

}  // namespace e2e
