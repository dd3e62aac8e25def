// The real Quillmere.exe started from the bin folder: one copy per session, a hidden
// window titled with the file name, the about box, and the monitor kept running.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "tests/e2e/e2esupport.h"
#include "tests/support/testsupport.h"

using namespace e2e;

namespace {

const char kDuplicateLine[] = "Quillmere 已经启动！现在退出重复启动的进程!";
const std::vector<std::string> kPrograms = {kAgentExe, "QuillmereB.exe", kMonitorExe, "watch2.exe", "watch3.exe"};
const DWORD kStartTimeoutMs = 30000;

bool WaitHidden(HWND hwnd, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindowVisible(hwnd) && GetTickCount() - start < timeoutMs)
        Pump(50);
    return !IsWindowVisible(hwnd);
}

class AgentStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A stray agent would hold the mutex and keep the next one from starting.
        KillAll(kPrograms);
        qmtest::ResetLog();
        CreateDirectoryA("c:\\qvtest", NULL);
        qmtest::RemoveFile(kMonitorRecord);
        qmtest::RemoveBesideProgram("ConfigInfor.ini");
    }
    void TearDown() override
    {
        for (PROCESS_INFORMATION& pi : m_started)
            Stop(&pi);
        KillAll(kPrograms);
        qmtest::RemoveBesideProgram("ConfigInfor.ini");
        for (const char* copy : {"QuillmereB.exe", "watch2.exe", "watch3.exe"})
            qmtest::RemoveFile(qmtest::ProgramDir() + copy);
        qmtest::RemoveFile(kMonitorRecord);
        qmtest::ResetLog();
    }

    // Starts a program of the bin folder, ended again at the end of the test.
    PROCESS_INFORMATION& Run(const std::string& exeName)
    {
        m_started.emplace_back();
        PROCESS_INFORMATION& pi = m_started.back();
        EXPECT_TRUE(Start(exeName, &pi)) << exeName;
        return pi;
    }

    // Starts an agent and waits until its window is initialised and it waits for messages.
    HWND RunAgent(const std::string& exeName = kAgentExe, PROCESS_INFORMATION** started = NULL)
    {
        PROCESS_INFORMATION& pi = Run(exeName);
        if (started != NULL)
            *started = &pi;
        HWND hwnd = WaitForTopLevel(exeName, pi.dwProcessId, kStartTimeoutMs);
        if (hwnd != NULL)
            WaitForInputIdle(pi.hProcess, kStartTimeoutMs);
        return hwnd;
    }

    std::deque<PROCESS_INFORMATION> m_started;  // stays in place as it grows
};

std::string Format(const char* format, unsigned value)
{
    char line[64];
    snprintf(line, sizeof line, format, value);
    return line;
}

// The lines the agent writes for one message let through the filter, on this system.
void AppendFilterLines(std::vector<std::string>* lines, UINT message)
{
    DWORD version = GetVersion();
    lines->push_back(Format("msg=0x%X", message));
    lines->push_back(Format("GetVersion()=0x%X", version));
    if (LOBYTE(LOWORD(version)) < 6) {
        lines->push_back("不是Vista以上系统!不需要进行消息过虑设置!");
        return;
    }
    lines->push_back("是Vista以上系统!要进行消息过虑设置!");
    lines->push_back("ChangeWindowMessageFilter ok");
}

TEST_F(AgentStartup, FirstCopyRunsHiddenTitledWithItsFileName)
{
    PROCESS_INFORMATION* agent = NULL;
    HWND hwnd = RunAgent(kAgentExe, &agent);
    ASSERT_NE(hwnd, (HWND)NULL) << "no window titled Quillmere.exe";
    EXPECT_TRUE(WaitHidden(hwnd, 5000)) << "the window stays visible";
    EXPECT_EQ(CountTopLevel(kAgentExe), 1);
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    Pump(1500);
    EXPECT_FALSE(IsWindowVisible(hwnd)) << "shown again";
    EXPECT_TRUE(IsRunning(*agent));

    // The monitor-name lines, then the message filter for the monitor's message and for
    // WM_DEVICECHANGE: registered messages are the same numbers in every process.
    std::vector<std::string> expected = {kAgentExe, kMonitorExe};
    AppendFilterLines(&expected, RegisterWindowMessageA("KEY监控完成消息"));
    AppendFilterLines(&expected, WM_DEVICECHANGE);
    std::vector<std::string> lines = qmtest::LogMessages();
    lines.resize(std::min(lines.size(), expected.size()));
    EXPECT_EQ(lines, expected);
}

TEST_F(AgentStartup, SecondStartLogsAndExitsWhileTheFirstRunsOn)
{
    PROCESS_INFORMATION* first = NULL;
    HWND hwnd = RunAgent(kAgentExe, &first);
    ASSERT_NE(hwnd, (HWND)NULL);
    qmtest::ResetLog();

    PROCESS_INFORMATION& second = Run(kAgentExe);
    ASSERT_EQ(WaitForSingleObject(second.hProcess, kStartTimeoutMs), WAIT_OBJECT_0) << "the duplicate stays";
    EXPECT_EQ(qmtest::LogMessages(), std::vector<std::string>{kDuplicateLine});
    EXPECT_EQ(FindTopLevel(kAgentExe, second.dwProcessId), (HWND)NULL);

    EXPECT_TRUE(IsRunning(*first));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(CountTopLevel(kAgentExe), 1);
}

TEST_F(AgentStartup, CopyUnderAnotherFileNameIsNotHeldBack)
{
    ASSERT_TRUE(CopyInBin(kAgentExe, "QuillmereB.exe"));
    ASSERT_NE(RunAgent(kAgentExe), (HWND)NULL);
    PROCESS_INFORMATION* copy = NULL;
    HWND hwnd = RunAgent("QuillmereB.exe", &copy);
    ASSERT_NE(hwnd, (HWND)NULL) << "no window titled QuillmereB.exe";
    EXPECT_TRUE(IsRunning(*copy));
    EXPECT_EQ(CountTopLevel(kAgentExe), 1);
}

TEST_F(AgentStartup, SystemCommands16To31OpenTheAboutBox)
{
    PROCESS_INFORMATION* agent = NULL;
    HWND hwnd = RunAgent(kAgentExe, &agent);
    ASSERT_NE(hwnd, (HWND)NULL);
    const char aboutTitle[] = "关于 Wrenfold";

    PostMessageA(hwnd, WM_SYSCOMMAND, 16 + 7, 0);
    HWND about = WaitForTopLevel(aboutTitle, agent->dwProcessId, 10000);
    ASSERT_NE(about, (HWND)NULL) << "no about box";
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_EQ(GetWindow(about, GW_OWNER), hwnd);

    // Its OK button closes it; the agent runs on.
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    DWORD start = GetTickCount();
    while (IsWindow(about) && GetTickCount() - start < 10000)
        Pump(50);
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsRunning(*agent));

    PostMessageA(hwnd, WM_SYSCOMMAND, 32, 0);
    Pump(2000);
    EXPECT_EQ(FindTopLevel(aboutTitle), (HWND)NULL) << "command 32 opened the about box";
}

TEST_F(AgentStartup, MonitorIsStartedWhenItsWindowIsMissingAndOnlyOnce)
{
    ASSERT_NE(RunAgent(), (HWND)NULL);
    DWORD shown = GetTickCount();
    ASSERT_TRUE(WaitForMonitorStarts(1, 15000)) << "the monitor was not started";
    DWORD elapsed = GetTickCount() - shown;
    printf("monitor started %lu ms after the agent's window appeared\n", (unsigned long)elapsed);
    EXPECT_LT(elapsed, 4000u);

    std::vector<std::string> starts = MonitorStarts();
    EXPECT_NE(starts[0].find("cmdline=\"" + qmtest::ProgramDir() + kMonitorExe + "\""), std::string::npos) << starts[0];

    // Its window now exists: no further starts.
    ASSERT_NE(WaitForTopLevel(kMonitorExe, 0, 10000), (HWND)NULL);
    Pump(3000);
    EXPECT_EQ(MonitorStarts().size(), 1u);
}

// Stands in for a running monitor: a window with the monitor's title in this process.
class FakeMonitorWindow {
public:
    explicit FakeMonitorWindow(const char* title)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "QmFakeMonitor";
        RegisterClassA(&wc);
        m_hwnd = CreateWindowA(wc.lpszClassName, title, WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL, wc.hInstance, NULL);
    }
    ~FakeMonitorWindow() { Close(); }
    void Close()
    {
        if (m_hwnd != NULL)
            DestroyWindow(m_hwnd);
        m_hwnd = NULL;
    }
    HWND m_hwnd;
};

TEST_F(AgentStartup, NoMonitorStartWhileAWindowHasItsTitle)
{
    FakeMonitorWindow monitor(kMonitorExe);
    ASSERT_NE(monitor.m_hwnd, (HWND)NULL);
    ASSERT_NE(RunAgent(), (HWND)NULL);
    Pump(3500);
    EXPECT_TRUE(MonitorStarts().empty()) << "started although its window exists";

    monitor.Close();
    DWORD closed = GetTickCount();
    ASSERT_TRUE(WaitForMonitorStarts(1, 15000)) << "not started after its window closed";
    DWORD elapsed = GetTickCount() - closed;
    printf("monitor started %lu ms after its window closed\n", (unsigned long)elapsed);
    EXPECT_LT(elapsed, 4000u);
}

// The title looked for is read once at start-up; the program started is read at each start.
TEST_F(AgentStartup, ConfiguredMonitorNameIsLoggedWatchedAndStarted)
{
    ASSERT_TRUE(CopyInBin(kMonitorExe, "watch2.exe"));
    ASSERT_TRUE(CopyInBin(kMonitorExe, "watch3.exe"));
    qmtest::WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nPlugWatch=watch2.exe\r\n");
    ASSERT_NE(RunAgent(), (HWND)NULL);

    std::vector<std::string> lines = qmtest::LogMessages();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], kAgentExe);
    EXPECT_EQ(lines[1], "watch2.exe");

    ASSERT_TRUE(WaitForMonitorStarts(1, 15000));
    EXPECT_NE(MonitorStarts()[0].find("\\watch2.exe\""), std::string::npos) << MonitorStarts()[0];
    ASSERT_NE(WaitForTopLevel("watch2.exe", 0, 10000), (HWND)NULL);
    Pump(2500);
    EXPECT_EQ(MonitorStarts().size(), 1u);

    qmtest::WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nPlugWatch=watch3.exe\r\n");
    KillAll({"watch2.exe"});
    ASSERT_TRUE(WaitForMonitorStarts(2, 15000)) << "no start after the monitor ended";
    EXPECT_NE(MonitorStarts()[1].find("\\watch3.exe\""), std::string::npos) << MonitorStarts()[1];
}

}  // namespace
