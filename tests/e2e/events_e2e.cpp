// The real Quillmere.exe answering the token monitor and the uninstaller, with the
// virtual token libraries, the sibling tools and the browser stand-in: what reaches "MY",
// the log, the siblings' records and the page launch record.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2esupport.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace e2e;
using namespace qmtest;

namespace {

const char kMonitorDone[] = "KEY监控完成消息";
const char kInserted[] = "Ukey插入消息";
const char kRemoved[] = "Ukey拔下消息";
const char kKey2[] = "2号Ukey插入";
const char kPassStart[] = "KEY监控程序完成了!下面进行自动注册";
const char kUnloadEnd[] = "ConUnloadIECert END";
const char kDeleting[] = "正在删除IE中的证书，请稍后...";
const char kRegistering[] = "正在注册证书，请稍后...";
const char kConnectFailed[] = "连接设备失败";
const char kUrl[] = "http://portal.test/token";
// One record per sibling: appends from three processes to one file may overwrite each other.
const char* const kSiblingRecords[] = {"c:\\qvtest\\sibling1.log", "c:\\qvtest\\sibling2.log",
                                       "c:\\qvtest\\sibling3.log"};
const char kBrowserRecord[] = "c:\\qvtest\\browser.log";
const char kPrvFixture[] = "QvPrvApi.ini";
const char kPrvCalls[] = "QvPrvApi.calls.log";
const char kSkfFixture[] = "GmTokApiHID.ini";
const int kExchangeIds[] = {1, 5, 6, 7};
const int kSignatureIds[] = {0, 8, 9, 10};
const std::vector<std::string> kPrograms = {kAgentExe, kMonitorExe, "sibling.exe", "uninstaller.exe"};

std::string CertName(char token, int k, bool sign)
{
    return std::string("tok") + token + "_c" + std::to_string(k) + (sign ? "_sign.der" : "_exch.der");
}

// [token index] of the private library's fixture: token A or B, containers 1 to 4 with
// both keys and certificates. `extra` lines come first and win.
std::string PrvToken(int index, char token, const std::string& extra = "")
{
    std::string text = "[token " + std::to_string(index) + "]\r\n" + extra + "status=15\r\n";
    for (int k = 1; k <= 4; ++k) {
        std::string c = "c" + std::to_string(k);
        text += c + ".name=tok" + token + "-" + c + "\r\n" + c + ".ex=1\r\n" + c + ".sig=1\r\n";
        text += "cert" + std::to_string(kExchangeIds[k - 1]) + "=certs\\" + CertName(token, k, false) + "\r\n";
        text += "cert" + std::to_string(kSignatureIds[k - 1]) + "=certs\\" + CertName(token, k, true) + "\r\n";
    }
    return text;
}

struct Expected {
    std::string der;
    std::string container;
    unsigned long keySpec;
};

// Every certificate of token A or B in containers first..last, with its binding.
std::vector<Expected> TokenCerts(char token, int first = 1, int last = 4)
{
    std::vector<Expected> certs;
    for (int k = first; k <= last; ++k) {
        std::string container = std::string("tok") + token + "-c" + std::to_string(k);
        certs.push_back({LoadFixtureCert(CertName(token, k, false).c_str()), container, 1});
        certs.push_back({LoadFixtureCert(CertName(token, k, true).c_str()), container, 2});
    }
    return certs;
}

std::string Narrow(const std::wstring& wide)
{
    char bytes[512] = {};
    WideCharToMultiByte(936, 0, wide.c_str(), -1, bytes, sizeof bytes - 1, NULL, NULL);
    return bytes;
}

// "MY" holds exactly these certificates, once each, bound to the provider and container.
void ExpectStore(const std::vector<Expected>& expected)
{
    std::vector<StoreCert> certs = ReadMyStore();
    EXPECT_EQ(certs.size(), expected.size());
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.container + (e.keySpec == 1 ? " exchange" : " signature"));
        ASSERT_FALSE(e.der.empty());
        auto it = std::find_if(certs.begin(), certs.end(), [&](const StoreCert& c) { return c.der == e.der; });
        ASSERT_NE(it, certs.end()) << "missing";
        EXPECT_EQ(CountInMyStore(e.der), 1);
        ASSERT_TRUE(it->bound);
        EXPECT_EQ(Narrow(it->binding.container), e.container);
        EXPECT_EQ(it->binding.provider, L"Qvware Csp V1.0");
        EXPECT_EQ(it->binding.keySpec, e.keySpec);
    }
}

int Count(const std::vector<std::string>& lines, const std::string& line)
{
    return (int)std::count(lines.begin(), lines.end(), line);
}

// True when `wanted` occurs in `lines` in this order (other lines may lie between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted)
{
    size_t next = 0;
    for (const std::string& line : lines)
        if (next < wanted.size() && line == wanted[next])
            ++next;
    return next == wanted.size();
}

// Calls of the virtual private library as "name index-or-handle".
std::vector<std::string> PrvCalls()
{
    std::vector<std::string> calls;
    for (const std::string& line : FileLines(ProgramDir() + kPrvCalls)) {
        size_t second = line.find(' ', line.find(' ') + 1);
        calls.push_back(line.substr(0, second));
    }
    return calls;
}

std::vector<std::string> Filtered(const std::vector<std::string>& calls, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            out.push_back(c);
    return out;
}

class AgentEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        KillAll(kPrograms);
        CreateDirectoryA("c:\\qvtest", NULL);
        for (const char* record : {kSiblingRecords[0], kSiblingRecords[1], kSiblingRecords[2], kBrowserRecord,
                                   kMonitorRecord})
            RemoveFile(record);
        RemoveFile(ProgramDir() + kPrvCalls);
        RemoveFile(DocumentsDir() + "\\qvkey.ini");
        ASSERT_TRUE(ClearMyStore());
        ASSERT_TRUE(m_browser.Install());
        WriteIniBesideProgram("openUrlList.ini", std::string("[openFlag]\r\nflag=1\r\n[openUrlAddress]\r\nurl1=") +
                                                     kUrl + "\r\n");
        SetAppNum("0");
        WritePrvFixture("");
        ResetLog();
    }
    void TearDown() override
    {
        StopAgent(&m_agent);
        for (PROCESS_INFORMATION& pi : m_started)
            Stop(&pi);
        KillAll(kPrograms);
        m_browser.Restore();
        for (const char* file : {"ConfigInfor.ini", "openUrlList.ini", kPrvFixture, kPrvCalls, kSkfFixture})
            RemoveBesideProgram(file);
        RemoveFile(DocumentsDir() + "\\qvkey.ini");
        ClearMyStore();
    }

    static void SetAppNum(const std::string& appNum)
    {
        WriteIniBesideProgram("ConfigInfor.ini", "[SmartAPP]\r\nAppNum=" + appNum + "\r\n");
    }
    static void WritePrvFixture(const std::string& tokens)
    {
        WriteIniBesideProgram(kPrvFixture, "[vprv]\r\ncalllog=" + std::string(kPrvCalls) + "\r\n" + tokens);
    }
    static void ListTokens(const std::vector<int>& indexes)
    {
        std::string text;
        for (int i : indexes)
            text += "[qvkey " + std::to_string(i) + "]\r\nqvkey=token" + std::to_string(i) + "\r\n";
        ASSERT_TRUE(WriteFileBytes(DocumentsDir() + "\\qvkey.ini", text));
    }

    void StartSiblings()
    {
        for (int n = 1; n <= 3; ++n) {
            m_started.emplace_back();
            ASSERT_TRUE(Start("sibling.exe", &m_started.back(), std::to_string(n) + " " + kSiblingRecords[n - 1]));
        }
        for (const char* title : {"USBKEY管理员工具", "USBKEY普通用户工具", "UKey用户管理工具"})
            ASSERT_NE(WaitForTopLevel(title, 0, 30000), (HWND)NULL) << title;
    }
    void StartTheAgent(bool resetLog = true)
    {
        ASSERT_TRUE(StartAgent(&m_agent)) << "no agent window";
        if (resetLog)
            ResetLog();
    }
    // A whole pass; the siblings' records show that it reached its end.
    void Pass() { ASSERT_TRUE(SendRegistered(m_agent, kMonitorDone)) << "pass not handled"; }

    // How many registration-finished messages each sibling recorded (wParam and lParam 0
    // checked), once each holds `expected` or after timeoutMs: they are posted at the end of
    // the pass and handled by the siblings afterwards.
    static std::vector<int> Notified(int expected, DWORD timeoutMs = 5000)
    {
        std::vector<int> counts(3);
        for (DWORD waited = 0;; waited += 100) {
            for (int n = 1; n <= 3; ++n) {
                std::vector<std::string> lines = FileLines(kSiblingRecords[n - 1]);
                counts[n - 1] = Count(lines, std::to_string(n) + " regdone 0 0");
                EXPECT_EQ(counts[n - 1], (int)lines.size()) << "unexpected record of sibling " << n;
            }
            if (waited >= timeoutMs || std::count(counts.begin(), counts.end(), expected) == 3)
                return counts;
            Pump(100);
        }
    }
    // The browser's launches once the first appeared; none after waitMs when none came.
    static std::vector<std::string> BrowserLaunches(DWORD waitMs)
    {
        for (DWORD waited = 0; waited < waitMs && FileLines(kBrowserRecord).empty(); waited += 100)
            Pump(100);
        return FileLines(kBrowserRecord);
    }

    Agent m_agent;
    std::vector<PROCESS_INFORMATION> m_started;
    BrowserAtIePath m_browser;
};

const std::vector<int> kNotifiedOnce = {1, 1, 1};

TEST_F(AgentEvents, PrivateModeWithNothingListedCleansUpOpensThePageAndTellsTheSiblings)
{
    StartSiblings();
    StartTheAgent();
    ASSERT_TRUE(SendRegistered(m_agent, kInserted));
    Pass();

    std::vector<std::string> log = LogMessages();
    EXPECT_TRUE(InOrder(log, {"收到Ukey插入消息", kPassStart, kUnloadEnd, "DeleteMyFile begin", "DeleteMyFile end",
                              kDeleting, kUrl}));
    EXPECT_EQ(Count(log, kDeleting), 30);
    EXPECT_EQ(Count(log, kRegistering), 0);
    EXPECT_EQ(Count(log, "CSPDATA"), 0);
    EXPECT_EQ(Notified(1), kNotifiedOnce);
    std::vector<std::string> launches = BrowserLaunches(30000);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_NE(launches[0].find(kUrl), std::string::npos) << launches[0];
    EXPECT_TRUE(PrvCalls().empty());
    ExpectStore({});
}

TEST_F(AgentEvents, PrivateModeRegistersListedIndexesInOrder)
{
    WritePrvFixture(PrvToken(0, 'A') + PrvToken(5, 'B'));
    ListTokens({5, 0});
    StartTheAgent();
    Pass();

    std::vector<Expected> expected = TokenCerts('A');
    for (const Expected& e : TokenCerts('B'))
        expected.push_back(e);
    ExpectStore(expected);
    std::vector<std::string> log = LogMessages();
    EXPECT_TRUE(InOrder(log, {kRegistering, "CSPDATA", kRegistering, "CSPDATA"}));
    EXPECT_EQ(Count(log, kRegistering), 2);
    // Index 0 is connected, read and disconnected before index 5 is connected.
    std::vector<std::string> calls = PrvCalls();
    EXPECT_EQ(Filtered(calls, "Usb_Connect"), (std::vector<std::string>{"Usb_Connect 0", "Usb_Connect 5"}));
    EXPECT_EQ(Filtered(calls, "Usb_Disconnect"),
              (std::vector<std::string>{"Usb_Disconnect 20736", "Usb_Disconnect 20741"}));
    auto disconnect0 = std::find(calls.begin(), calls.end(), "Usb_Disconnect 20736");
    auto connect5 = std::find(calls.begin(), calls.end(), "Usb_Connect 5");
    EXPECT_LT(disconnect0, connect5);
    // No page: no token was announced as inserted.
    EXPECT_TRUE(BrowserLaunches(2000).empty());
}

// AppNum 1: the standard library registers every device; listed indexes are only logged.
// AppNum -1: neither library runs.
TEST_F(AgentEvents, OtherModesOnlyLogTheListedIndexes)
{
    struct {
        const char* appNum;
        bool standard;
    } cases[] = {{"1", true}, {"-1", false}};
    std::string device = "[vskf]\r\ndevices=1\r\n[dev 1]\r\nname=vdev0\r\napps=1\r\n[dev 1 app 1]\r\nname=app0\r\n"
                         "containers=1\r\n[dev 1 app 1 con 1]\r\nname=gmcon\r\nsign=certs\\tokB_c1_sign.der\r\n"
                         "exch=certs\\tokB_c1_exch.der\r\n";
    WriteIniBesideProgram(kSkfFixture, device);
    WritePrvFixture(PrvToken(0, 'A') + PrvToken(5, 'A'));
    ListTokens({0, 5});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.appNum);
        SetAppNum(c.appNum);
        StartTheAgent();
        Pass();
        std::vector<std::string> log = LogMessages();
        EXPECT_EQ(Count(log, kRegistering), 2);
        EXPECT_EQ(Count(log, "CSPDATA"), 0);
        EXPECT_TRUE(PrvCalls().empty());
        if (c.standard) {
            ExpectStore({{LoadFixtureCert("tokB_c1_sign.der"), "gmcon", 2},
                         {LoadFixtureCert("tokB_c1_exch.der"), "gmcon", 1}});
        } else {
            ExpectStore({});
        }
        StopAgent(&m_agent);
        ClearMyStore();
    }
}

TEST_F(AgentEvents, ConnectFailureEndsThePassAndKeepsTheInsertedFlag)
{
    WritePrvFixture(PrvToken(3, 'A', "connect=0\r\n") + PrvToken(7, 'B'));
    ListTokens({3, 7});
    StartSiblings();
    StartTheAgent();
    ASSERT_TRUE(SendRegistered(m_agent, kInserted));
    Pass();

    std::vector<std::string> log = LogMessages();
    EXPECT_EQ(Count(log, kConnectFailed), 1);
    EXPECT_EQ(log.back(), kConnectFailed);
    EXPECT_EQ(Filtered(PrvCalls(), "Usb_Connect"), (std::vector<std::string>{"Usb_Connect 3"}));
    ExpectStore({});
    EXPECT_EQ(Notified(0, 0), std::vector<int>(3, 0));
    EXPECT_TRUE(BrowserLaunches(3000).empty());

    // The token answers now: the next pass registers both and opens the page it owed.
    WritePrvFixture(PrvToken(3, 'A') + PrvToken(7, 'B'));
    Pass();
    std::vector<Expected> expected = TokenCerts('A');
    for (const Expected& e : TokenCerts('B'))
        expected.push_back(e);
    ExpectStore(expected);
    EXPECT_EQ(Notified(1), kNotifiedOnce);
    EXPECT_EQ(BrowserLaunches(30000).size(), 1u);
}

TEST_F(AgentEvents, InsertThenTwoPassesOpensThePageOnce)
{
    StartSiblings();
    StartTheAgent();
    ASSERT_TRUE(SendRegistered(m_agent, kInserted));
    Pass();
    ASSERT_EQ(BrowserLaunches(30000).size(), 1u);
    Pass();
    EXPECT_EQ(Notified(2), std::vector<int>(3, 2));
    Pump(3000);  // a wrongly started browser would show up by now
    EXPECT_EQ(FileLines(kBrowserRecord).size(), 1u);
    EXPECT_EQ(Count(LogMessages(), kUrl), 1);
}

// "2号Ukey插入" announces token 2 without the inserted flag; pulling out clears the
// present flag and keeps the announced index.
TEST_F(AgentEvents, AnnouncedIndexAndPullOut)
{
    WritePrvFixture(PrvToken(2, 'A'));
    ListTokens({2});
    StartTheAgent();
    ASSERT_TRUE(SendRegistered(m_agent, kKey2));
    Pass();
    std::vector<std::string> log = LogMessages();
    EXPECT_EQ(log.front(), "收到 2号Ukey插入消息");
    EXPECT_GT(Count(log, "UKey 插入 --Open Url"), 0);
    EXPECT_EQ(Count(log, "UKey 拔下 --Not Open Url"), 0);
    EXPECT_EQ(Count(log, kUrl), 0);

    ResetLog();
    ASSERT_TRUE(SendRegistered(m_agent, kRemoved));
    Pass();
    log = LogMessages();
    EXPECT_EQ(log.front(), "收到Ukey移除消息");
    EXPECT_EQ(Count(log, "UKey 插入 --Open Url"), 0);
    EXPECT_GT(Count(log, "UKey 拔下 --Not Open Url"), 0);
    ExpectStore(TokenCerts('A'));
    EXPECT_TRUE(BrowserLaunches(2000).empty());
}

TEST_F(AgentEvents, RegisteredMessagesIgnoreTheirParametersAndOpenUrlDoesNothing)
{
    StartTheAgent();
    ASSERT_TRUE(SendToAgent(m_agent, RegisterWindowMessageA(kKey2), 77, -5));
    ASSERT_TRUE(SendRegistered(m_agent, "OpenUrl"));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"收到 2号Ukey插入消息"});
}

TEST_F(AgentEvents, SwappingTokensLeavesOnlyTheSecondTokensCertificates)
{
    WritePrvFixture(PrvToken(0, 'A'));
    ListTokens({0});
    StartTheAgent();
    ASSERT_TRUE(SendRegistered(m_agent, kInserted));
    ASSERT_TRUE(SendRegistered(m_agent, "0号Ukey插入"));
    Pass();
    ExpectStore(TokenCerts('A'));

    ASSERT_TRUE(SendRegistered(m_agent, kRemoved));
    WritePrvFixture(PrvToken(0, 'B'));
    ASSERT_TRUE(SendRegistered(m_agent, kInserted));
    ASSERT_TRUE(SendRegistered(m_agent, "0号Ukey插入"));
    Pass();
    ExpectStore(TokenCerts('B'));
    Pass();
    ExpectStore(TokenCerts('B'));
}

TEST_F(AgentEvents, UninstallerRemovesContainerOneTheListAndTheCacheFiles)
{
    WritePrvFixture(PrvToken(4, 'A'));
    ListTokens({4});
    StartTheAgent();
    Pass();
    ExpectStore(TokenCerts('A'));
    const std::string cache[] = {DocumentsDir() + "\\QVKEYCERTINFORINKEYNO0_SIGNCERT.data",
                                 DocumentsDir() + "\\QVKEYCERTINFORINKEYNO67_FLAG.data"};
    for (const std::string& file : cache)
        ASSERT_TRUE(WriteFileBytes(file, "cached"));

    // A system device change with the first number only: one line, nothing removed.
    ResetLog();
    ASSERT_TRUE(SendToAgent(m_agent, WM_DEVICECHANGE, 12345, 0));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"OnDeviceChange 收到 系统 设备变化消息"});
    ExpectStore(TokenCerts('A'));

    PROCESS_INFORMATION uninstaller;
    ASSERT_TRUE(Start("uninstaller.exe", &uninstaller));
    ASSERT_EQ(WaitForSingleObject(uninstaller.hProcess, 120000), WAIT_OBJECT_0);
    Stop(&uninstaller);
    ExpectStore(TokenCerts('A', 2, 4));
    for (const std::string& file : cache)
        EXPECT_FALSE(FileExists(file)) << file;
    std::vector<std::string> log = LogMessages();
    EXPECT_TRUE(InOrder(log, {"OnDeviceChange 收到 来自卸载程序发来的 自定义 设备变化消息 ",
                              "现在进行证书和配置文件删除操作!", "DeleteMyFile begin", "DeleteMyFile end"}));
    EXPECT_EQ(Count(log, kUnloadEnd), 0);
}

TEST_F(AgentEvents, UninstallerRemovesWhatTheStandardLibraryRegistered)
{
    WriteIniBesideProgram(kSkfFixture, "[vskf]\r\ndevices=1\r\n[dev 1]\r\nname=vdev0\r\napps=1\r\n[dev 1 app 1]\r\n"
                                       "name=app0\r\ncontainers=1\r\n[dev 1 app 1 con 1]\r\nname=gmcon\r\n"
                                       "sign=certs\\tokB_c2_sign.der\r\nexch=certs\\tokB_c2_exch.der\r\n");
    SetAppNum("1");
    StartTheAgent();
    Pass();
    ASSERT_EQ(ReadMyStore().size(), 2u);
    PROCESS_INFORMATION uninstaller;
    ASSERT_TRUE(Start("uninstaller.exe", &uninstaller));
    ASSERT_EQ(WaitForSingleObject(uninstaller.hProcess, 120000), WAIT_OBJECT_0);
    Stop(&uninstaller);
    ExpectStore({});
}

// The monitor stand-in announces token 0 as the real monitor does.
TEST_F(AgentEvents, MonitorAnnouncingATokenRegistersItAndOpensThePage)
{
    WritePrvFixture(PrvToken(0, 'B'));
    ListTokens({0});
    StartSiblings();
    m_started.emplace_back();
    ASSERT_TRUE(Start(kMonitorExe, &m_started.back(), "-scenario announce0"));
    ASSERT_NE(WaitForTopLevel(kMonitorExe, 0, 30000), (HWND)NULL);
    StartTheAgent(false);
    // The siblings are told at the end of the pass.
    EXPECT_EQ(Notified(1, 120000), kNotifiedOnce);
    std::vector<std::string> monitor = FileLines(kMonitorRecord);
    EXPECT_TRUE(InOrder(monitor, {"posted Ukey插入消息", "posted 0号Ukey插入", "posted KEY监控完成消息", "done"}));
    EXPECT_TRUE(InOrder(LogMessages(), {"收到Ukey插入消息", "收到 0号Ukey插入消息", kPassStart, kRegistering,
                                        "CSPDATA", "UKey 插入 --Open Url", kUrl}));
    ExpectStore(TokenCerts('B'));
    EXPECT_EQ(BrowserLaunches(30000).size(), 1u);
}

}  // namespace
