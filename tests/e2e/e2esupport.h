// Running the real agent and the monitor stand-in from the bin folder and watching what a
// user would see: processes, top-level windows, the log, the monitor's record.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace e2e {

extern const char kAgentExe[];      // "Quillmere.exe"
extern const char kMonitorExe[];    // "plugWatch.exe"
extern const char kMonitorRecord[]; // "c:\qvtest\monitor.log"

// Ends every running process with one of these file names and waits for it to go.
using qmtest::KillAll;

// Starts a program of the bin folder; the handles are the caller's.
bool Start(const std::string& exeName, PROCESS_INFORMATION* pi, const std::string& args = "");
// Ends a started program and closes its handles.
void Stop(PROCESS_INFORMATION* pi);
bool IsRunning(const PROCESS_INFORMATION& pi);

// The top-level window with exactly this title that belongs to pid (0: any), or NULL.
HWND FindTopLevel(const std::string& title, DWORD pid = 0);
int CountTopLevel(const std::string& title);
// Polls for it for up to timeoutMs, pumping this thread's messages.
HWND WaitForTopLevel(const std::string& title, DWORD pid, DWORD timeoutMs);
// Waits while pumping this thread's messages.
void Pump(DWORD ms);

// "start ..." lines of the monitor stand-in's record.
std::vector<std::string> MonitorStarts();
// Polls until the record holds at least n start lines; false on timeout.
bool WaitForMonitorStarts(size_t n, DWORD timeoutMs);

// Copies a program of the bin folder under another name beside it.
bool CopyInBin(const std::string& from, const std::string& to);

// Lines of a CRLF text file (empty when missing).
std::vector<std::string> FileLines(const std::string& path);

// The browser stand-in put at Internet Explorer's path; the prefix's own file is moved
// aside and put back by Restore.
class BrowserAtIePath {
public:
    bool Install();
    void Restore();

private:
    std::string m_browser, m_saved, m_original;
};

// The agent started from the bin folder with its window found; Stop ends it.
struct Agent {
    PROCESS_INFORMATION pi = {};
    HWND hwnd = NULL;
};
bool StartAgent(Agent* agent, DWORD timeoutMs = 60000);
void StopAgent(Agent* agent);

// Sends the registered message of this name to the agent's window and waits until the
// agent has handled it (a pass runs to its end inside). False when it was not handled
// within timeoutMs.
bool SendRegistered(const Agent& agent, const char* messageName, DWORD timeoutMs = 120000);
// The same for any message.
bool SendToAgent(const Agent& agent, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs = 120000);

}  // namespace e2e
