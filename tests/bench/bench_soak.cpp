// Soak: the real agent runs many monitor-finished passes while two tokens take turns at
// index 0 of the virtual private library. Prints, at intervals, the agent's handle count,
// its private memory and the pass time; a leak shows as a figure that keeps growing.
// Under Wine, which reports 0 for another process, the handles come from the system's
// handle table and the memory is the host process's anonymous resident memory (KiB).
//   bench_soak.exe [passes (500)] [print every N passes (25)]
#define PSAPI_VERSION 2
#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <tlhelp32.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const char kAgentExe[] = "Quillmere.exe";
const char kFixture[] = "QvPrvApi.ini";
const int kExchangeIds[] = {1, 5, 6, 7};
const int kSignatureIds[] = {0, 8, 9, 10};

// Token A or B at index 0: four containers, both certificates in each.
std::string Fixture(char token)
{
    std::string text = "[vprv]\r\ncalllog=c:\\qvtest\\soak.calls.log\r\n[token 0]\r\nstatus=15\r\n";
    for (int k = 1; k <= 4; ++k) {
        std::string c = "c" + std::to_string(k);
        std::string cert = std::string("certs\\tok") + token + "_" + c;
        text += c + ".name=tok" + token + "-" + c + "\r\n" + c + ".ex=1\r\n" + c + ".sig=1\r\n";
        text += "cert" + std::to_string(kExchangeIds[k - 1]) + "=" + cert + "_exch.der\r\n";
        text += "cert" + std::to_string(kSignatureIds[k - 1]) + "=" + cert + "_sign.der\r\n";
    }
    return text;
}

struct FoundWindow {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM lParam)
{
    FoundWindow* found = reinterpret_cast<FoundWindow*>(lParam);
    char title[64] = {};
    DWORD pid = 0;
    GetWindowTextA(hwnd, title, sizeof title);
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == found->pid && lstrcmpA(title, kAgentExe) == 0) {
        found->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForAgentWindow(DWORD pid)
{
    FoundWindow found = {pid, NULL};
    for (int i = 0; i < 600 && found.hwnd == NULL; ++i) {
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&found));
        if (found.hwnd == NULL)
            Sleep(100);
    }
    return found.hwnd;
}

// Handles held by a process, from the system's handle table: Wine answers
// GetProcessHandleCount for another process with 0.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
typedef LONG(WINAPI* QuerySystemInformationFn)(ULONG infoClass, PVOID info, ULONG length, PULONG returned);

long long CountHandlesInSystemTable(DWORD pid, std::map<int, int>* byType = NULL)
{
    enum { SYSTEM_HANDLE_INFORMATION = 16 };
    const LONG kLengthMismatch = (LONG)0xC0000004;
    QuerySystemInformationFn query = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == NULL)
        return -1;
    std::vector<unsigned char> buffer(1 << 16);
    LONG status;
    while ((status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(), (ULONG)buffer.size(), NULL)) == kLengthMismatch &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    size_t room = (buffer.size() - sizeof(ULONG_PTR)) / sizeof(HandleEntry);
    const HandleEntry* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    long long n = 0;
    for (ULONG i = 0; i < count && i < room; ++i)
        if (entries[i].ownerPid == pid) {
            ++n;
            if (byType != NULL)
                ++(*byType)[entries[i].objectType];
        }
    return n;
}

// Under Wine the agent is a host process whose command line names the program: its
// anonymous resident memory from the host's /proc (Wine reports 0 for another process).
long long HostAnonKiB(const std::string& programPath)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &found);
    if (find == INVALID_HANDLE_VALUE)
        return -1;
    long long kib = -1;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9')
            continue;
        std::string dir = std::string("Z:\\proc\\") + found.cFileName;
        std::string cmdline = ReadFileBytes(dir + "\\cmdline");
        if (cmdline.find(programPath) == std::string::npos || cmdline.find("bench_soak") != std::string::npos)
            continue;
        std::string status = ReadFileBytes(dir + "\\status");
        size_t at = status.find("RssAnon:");
        if (at != std::string::npos)
            kib = atoll(status.c_str() + at + 8);
        break;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return kib;
}

void PrintFigures(HANDLE agent, DWORD pid, int pass, double passMs, double averageMs)
{
    DWORD handles = 0;
    long long handleFigure = -1, privateKiB = -1;
    if (GetProcessHandleCount(agent, &handles) && handles > 0)
        handleFigure = handles;
    else
        handleFigure = CountHandlesInSystemTable(pid);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(agent, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) &&
        memory.PrivateUsage > 0)
        privateKiB = (long long)(memory.PrivateUsage / 1024);
    else
        privateKiB = HostAnonKiB(ProgramDir() + kAgentExe);
    printf("%6d %8lld %12lld %10.1f %10.1f %6d\n", pass, handleFigure, privateKiB, passMs, averageMs,
           (int)ReadMyStore().size());
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    int passes = argc > 1 ? atoi(argv[1]) : 500;
    int every = argc > 2 ? atoi(argv[2]) : 25;
    if (passes <= 0 || every <= 0) {
        fprintf(stderr, "usage: bench_soak [passes] [print every]\n");
        return 2;
    }
    KillAll({kAgentExe});
    CreateDirectoryA("c:\\qvtest", NULL);
    RemoveLogDir();  // no log: the figures are the agent's own, not the log's growth
    ClearMyStore();
    RemoveBesideProgram("ConfigInfor.ini");
    RemoveBesideProgram("openUrlList.ini");
    WriteIniBesideProgram(kFixture, Fixture('A'));
    WriteFileBytes(DocumentsDir() + "\\qvkey.ini", "[qvkey 0]\r\nqvkey=soak\r\n");

    std::string commandLine = "\"" + ProgramDir() + kAgentExe + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, ProgramDir().c_str(), &si, &pi)) {
        fprintf(stderr, "cannot start %s\n", kAgentExe);
        return 1;
    }
    HWND hwnd = WaitForAgentWindow(pi.dwProcessId);
    int status = hwnd != NULL ? 0 : 1;
    if (hwnd == NULL)
        fprintf(stderr, "the agent's window did not appear\n");
    UINT monitorDone = RegisterWindowMessageA("KEY监控完成消息");
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double totalMs = 0;

    printf("%d passes, tokens A and B alternating at index 0\n", passes);
    printf("%6s %8s %12s %10s %10s %6s\n", "pass", "handles", "private KiB", "pass ms", "mean ms", "certs");
    std::map<int, int> startHandles;
    if (hwnd != NULL) {
        CountHandlesInSystemTable(pi.dwProcessId, &startHandles);
        PrintFigures(pi.hProcess, pi.dwProcessId, 0, 0, 0);
    }
    for (int pass = 1; hwnd != NULL && pass <= passes; ++pass) {
        WriteIniBesideProgram(kFixture, Fixture(pass % 2 == 1 ? 'A' : 'B'));
        DeleteFileA("c:\\qvtest\\soak.calls.log");
        DWORD_PTR result = 0;
        QueryPerformanceCounter(&start);
        LRESULT sent = SendMessageTimeoutA(hwnd, monitorDone, 0, 0, SMTO_NORMAL, 300000, &result);
        QueryPerformanceCounter(&end);
        if (sent == 0) {
            fprintf(stderr, "pass %d was not handled\n", pass);
            status = 1;
            break;
        }
        double ms = (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
        totalMs += ms;
        if (pass % every == 0 || pass == passes)
            PrintFigures(pi.hProcess, pi.dwProcessId, pass, ms, totalMs / pass);
    }

    // Which kinds of handle grew over the run (object type numbers of the handle table).
    if (hwnd != NULL) {
        std::map<int, int> after;
        CountHandlesInSystemTable(pi.dwProcessId, &after);
        for (const auto& kind : after)
            if (kind.second > startHandles[kind.first])
                printf("handle type %d: %d at the start, %d at the end\n", kind.first, startHandles[kind.first],
                       kind.second);
    }
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    KillAll({"plugWatch.exe"});
    RemoveBesideProgram(kFixture);
    RemoveFile(DocumentsDir() + "\\qvkey.ini");
    ClearMyStore();
    return status;
}
