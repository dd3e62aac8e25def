// Running the real agent and the monitor stand-in from the bin folder and watching what a
// user would see: processes, top-level windows, the log, the monitor's record.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

extern const char kAgentExe[];      // "Quillmere.exe"
extern const char kMonitorExe[];    // "plugWatch.exe"
extern const char kMonitorRecord[]; // "c:\qvtest\monitor.log"

// Ends every running process with one of these file names and waits for it to go.
void KillAll(const std::vector<std::string>& exeNames);

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

}  // namespace e2e
