// Registration from the standard library, under Wine with the virtual SKF library: what
// reaches "MY" and the exported-certificate list, the order of the library calls, the
// waiting rules, and a faulty or hostile library.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "agent/certreg/certtable.h"
#include "agent/certreg/reggm.h"
#include "agent/token/gmsmartapi.h"
#include "testbed/skftoken/vskf_testing.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const char kNoDevice[] = "      SKF_EnumDev pulSize<=1 设备不存在 ";
const char kConfigPathLine[] = "获取的配置文件路径：";

// The fixture as sections of keys; a key set twice keeps its last value.
class Ini {
public:
    Ini& Set(const std::string& section, const std::string& key, const std::string& value)
    {
        auto s = std::find_if(sections_.begin(), sections_.end(), [&](const Section& x) { return x.first == section; });
        if (s == sections_.end()) {
            sections_.push_back({section, {}});
            s = sections_.end() - 1;
        }
        auto k = std::find_if(s->second.begin(), s->second.end(), [&](const Key& x) { return x.first == key; });
        if (k == s->second.end())
            s->second.push_back({key, value});
        else
            k->second = value;
        return *this;
    }
    Ini& Remove(const std::string& section, const std::string& key)
    {
        for (Section& s : sections_)
            if (s.first == section)
                s.second.erase(std::remove_if(s.second.begin(), s.second.end(),
                                              [&](const Key& x) { return x.first == key; }),
                               s.second.end());
        return *this;
    }
    std::string Text() const
    {
        std::string text;
        for (const Section& s : sections_) {
            text += "[" + s.first + "]\r\n";
            for (const Key& k : s.second)
                text += k.first + "=" + k.second + "\r\n";
        }
        return text;
    }

private:
    typedef std::pair<std::string, std::string> Key;
    typedef std::pair<std::string, std::vector<Key>> Section;
    std::vector<Section> sections_;
};

const char kApp1[] = "dev 1 app 1";
const char kApp2[] = "dev 1 app 2";
const char kDev1[] = "dev 1";

std::string ConSection(int app, int con)
{
    return "dev 1 app " + std::to_string(app) + " con " + std::to_string(con);
}

std::string CertFile(int k, bool sign)
{
    return "tokA_c" + std::to_string(k) + (sign ? "_sign.der" : "_exch.der");
}

// Device devA as device `dev`: applications app1 (containers tokA-c1, tokA-c2) and app2
// (tokA-c3, tokA-c4), each container with both certificates, no "VUZUVARID".
Ini TokenA(int dev = 1)
{
    Ini ini;
    std::string device = "dev " + std::to_string(dev);
    ini.Set("vskf", "devices", std::to_string(dev));
    ini.Set(device, "name", "devA").Set(device, "apps", "2");
    for (int app = 1; app <= 2; ++app) {
        std::string section = device + " app " + std::to_string(app);
        ini.Set(section, "name", "app" + std::to_string(app)).Set(section, "containers", "2");
        for (int con = 1; con <= 2; ++con) {
            int k = (app - 1) * 2 + con;
            std::string container = section + " con " + std::to_string(con);
            ini.Set(container, "name", "tokA-c" + std::to_string(k))
                .Set(container, "sign", "certs\\" + CertFile(k, true))
                .Set(container, "exch", "certs\\" + CertFile(k, false));
        }
    }
    return ini;
}

// A call as the agent made it: the call log's line up to its result.
std::string Brief(const std::string& line)
{
    size_t arrow = line.find(" -> ");
    return arrow == std::string::npos ? line : line.substr(0, arrow);
}

std::vector<std::string> BriefCalls()
{
    std::vector<std::string> calls;
    for (const std::string& line : VskfCalls())
        calls.push_back(Brief(line));
    return calls;
}

// The argument after `function` of each call to it ("OpenContainer app1 tokA-c1" gives
// "tokA-c1" for the application-level functions, the first argument otherwise).
std::vector<std::string> CallArgs(const std::string& function, int field = 1)
{
    std::vector<std::string> args;
    for (const std::string& call : BriefCalls()) {
        if (call.compare(0, function.size() + 1, function + " ") != 0)
            continue;
        std::string rest = call.substr(function.size() + 1);
        for (int i = 0; i < field && rest.find(' ') != std::string::npos; ++i)
            rest = rest.substr(rest.find(' ') + 1);
        args.push_back(field == 0 ? rest.substr(0, rest.find(' ')) : rest);
    }
    return args;
}

// Every handle that was opened was closed, and at most one of each kind was open at once.
void ExpectHandlesBalanced()
{
    const char* pairs[][2] = {{"ConnectDev ", "DisConnectDev "},
                              {"OpenApplication ", "CloseApplication "},
                              {"OpenContainer ", "CloseContainer "}};
    for (auto& p : pairs) {
        int open = 0;
        for (const std::string& line : VskfCalls()) {
            bool ok = line.find(" -> 0x0") != std::string::npos;
            if (line.compare(0, strlen(p[0]), p[0]) == 0 && ok)
                ++open;
            if (line.compare(0, strlen(p[1]), p[1]) == 0 && ok)
                --open;
            ASSERT_GE(open, 0) << line;
            ASSERT_LE(open, 1) << line;
        }
        EXPECT_EQ(open, 0) << p[0];
    }
}

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

struct Registered {
    std::string container;
    unsigned long keySpec;
    std::string der;
    bool operator==(const Registered& o) const
    {
        return container == o.container && keySpec == o.keySpec && der == o.der;
    }
};

std::ostream& operator<<(std::ostream& os, const Registered& r)
{
    return os << r.container << "/" << r.keySpec << "/" << r.der.size();
}

Registered Sign(int k)
{
    return {"tokA-c" + std::to_string(k), 2, LoadFixtureCert(CertFile(k, true).c_str())};
}
Registered Exch(int k)
{
    return {"tokA-c" + std::to_string(k), 1, LoadFixtureCert(CertFile(k, false).c_str())};
}

// "MY" holds exactly these certificates, bound to the default provider with type 1.
void ExpectStore(std::vector<Registered> expected)
{
    std::vector<StoreCert> certs = ReadMyStore();
    ASSERT_EQ(certs.size(), expected.size());
    for (const Registered& e : expected) {
        auto it = std::find_if(certs.begin(), certs.end(), [&](const StoreCert& c) { return c.der == e.der; });
        ASSERT_NE(it, certs.end()) << e;
        ASSERT_TRUE(it->bound) << e;
        EXPECT_EQ(it->binding.container, Widen(e.container)) << e;
        EXPECT_EQ(it->binding.provider, L"Qvware Csp V1.0");
        EXPECT_EQ(it->binding.type, 1u);
        EXPECT_EQ(it->binding.keySpec, e.keySpec) << e;
    }
}

// The exported-certificate list holds exactly these encodings, in this order.
void ExpectListed(const std::vector<std::string>& expected)
{
    ASSERT_EQ(GetExportedCertCount(), (int)expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        int length = 0;
        const unsigned char* der = GetExportedCert((int)i, &length);
        ASSERT_NE(der, (const unsigned char*)NULL);
        EXPECT_EQ(std::string((const char*)der, length), expected[i]) << "entry " << i;
    }
}

std::vector<std::string> Ders(const std::vector<Registered>& registered)
{
    std::vector<std::string> ders;
    for (const Registered& r : registered)
        ders.push_back(r.der);
    return ders;
}

bool Logged(const std::string& text)
{
    for (const std::string& line : LogMessages())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

int CountLogged(const std::string& line)
{
    std::vector<std::string> log = LogMessages();
    return (int)std::count(log.begin(), log.end(), line);
}

class RegGmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadGMSmartAPI();
        EmptyExportedCertList();
        ASSERT_TRUE(ClearMyStore());
        WriteConfig(0);
        ResetLog();
        ASSERT_FALSE(LoadFixtureCert("tokA_c1_sign.der").empty()) << "bin\\certs missing";
    }
    void TearDown() override
    {
        UnloadGMSmartAPI();
        EmptyExportedCertList();
        ClearMyStore();
        RemoveBesideProgram("ConfigInfor.ini");
        RemoveVskfFixture();
    }

    static void WriteConfig(int waitDevice)
    {
        WriteIniBesideProgram("ConfigInfor.ini",
                              "[SmartAPP]\r\nAppNum=1\r\nWaitDevice=" + std::to_string(waitDevice) + "\r\n");
    }

    // A fresh library over this fixture (its device counter starts again), an empty log.
    void Load(const Ini& fixture)
    {
        UnloadGMSmartAPI();
        WriteVskfFixture(fixture.Text());
        ASSERT_EQ(LoadGMSmartAPI(), 1);
        ResetLog();
    }

    // The call log as it stands, put back after the test's own closing calls.
    void KeepCalls()
    {
        keptCalls_ = ReadFileBytes(VskfCallLogPath());
        kept_ = true;
    }

    // Connects devA as the pass would, runs `step` on it, disconnects; only the step's
    // calls stay in the call log.
    template <typename Step>
    int OnDevice(Step step)
    {
        DEVHANDLE device = NULL;
        char name[] = "devA";
        ULONG size = 0;
        g_GmSmartApi.EnumDev(TRUE, NULL, &size);  // the device is there once it was seen
        EXPECT_EQ(g_GmSmartApi.ConnectDev(name, &device), (ULONG)SAR_OK);
        RemoveFile(VskfCallLogPath());
        kept_ = false;
        int result = step(device);
        if (!kept_)
            KeepCalls();
        g_GmSmartApi.DisConnectDev(device);
        WriteFileBytes(VskfCallLogPath(), keptCalls_);
        return result;
    }

    int RegisterApplication(const char* app)
    {
        return OnDevice([&](DEVHANDLE device) { return CertRegGmApplication(device, app); });
    }

    int RegisterContainer(const char* app, const std::string& container)
    {
        return OnDevice([&](DEVHANDLE device) {
            HAPPLICATION application = NULL;
            std::string appName = app;
            EXPECT_EQ(g_GmSmartApi.OpenApplication(device, &appName[0], &application), (ULONG)SAR_OK);
            RemoveFile(VskfCallLogPath());
            int result = CertRegGmContainer(application, container.c_str());
            KeepCalls();
            g_GmSmartApi.CloseApplication(application);
            return result;
        });
    }

    void Reset()
    {
        EmptyExportedCertList();
        ClearMyStore();
        ResetLog();
        RemoveFile(VskfCallLogPath());
    }

    bool kept_ = false;
    std::string keptCalls_;
};

std::vector<std::string> ContainerCalls(const std::string& app, const std::string& container)
{
    return {"OpenContainer " + app + " " + container, "GetContainerType " + container,
            "ExportCertificate " + container + " sign 8192", "ExportCertificate " + container + " exch 8192",
            "CloseContainer " + container};
}

TEST_F(RegGmTest, PassOverTwoApplicationsRegistersEveryContainerSignatureFirst)
{
    Load(TokenA());
    EXPECT_EQ(CertRegGmDevices(), 1);

    std::vector<std::string> expected = {"EnumDev 1 query", "EnumDev 1 list 6", "ConnectDev devA",
                                         "EnumApplication devA 1024"};
    for (int app = 1; app <= 2; ++app) {
        std::string a = "app" + std::to_string(app);
        for (const std::string& call : {"OpenApplication devA " + a, "GetFileInfo " + a + " VUZUVARID",
                                        "EnumContainer " + a + " 1024"})
            expected.push_back(call);
        for (int con = 1; con <= 2; ++con)
            for (const std::string& call : ContainerCalls(a, "tokA-c" + std::to_string((app - 1) * 2 + con)))
                expected.push_back(call);
        expected.push_back("CloseApplication " + a);
    }
    expected.push_back("DisConnectDev devA");
    EXPECT_EQ(BriefCalls(), expected);
    ExpectHandlesBalanced();

    std::vector<Registered> all = {Sign(1), Exch(1), Sign(2), Exch(2), Sign(3), Exch(3), Sign(4), Exch(4)};
    ExpectStore(all);
    ExpectListed(Ders(all));
    EXPECT_EQ(CountLogged(kNoDevice), 0);
}

TEST_F(RegGmTest, NamedContainerChoosesTheContainers)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;  // of app1
        bool noCertsInC2;
        std::vector<std::string> opened;
        std::vector<Registered> registered;
        const char* readCall;  // NULL: no ReadFile
        bool listed;           // the container list was asked for
    };
    std::string c127(127, 'n');
    const std::vector<std::string> both = {"tokA-c1", "tokA-c2"};
    const std::vector<Registered> bothCerts = {Sign(1), Exch(1), Sign(2), Exch(2)};
    Case cases[] = {
        {"names an existing container", {{"vuzuvarid", "tokA-c2"}}, false, {"tokA-c2"}, {Sign(2), Exch(2)},
         "ReadFile app1 VUZUVARID 0 7 128", false},
        {"names one without certificates", {{"vuzuvarid", "tokA-c2"}}, true, {"tokA-c2"}, {},
         "ReadFile app1 VUZUVARID 0 7 128", false},
        {"names no existing container", {{"vuzuvarid", "nosuch"}}, false, {"nosuch", "tokA-c1", "tokA-c2"},
         bothCerts, "ReadFile app1 VUZUVARID 0 6 128", true},
        {"empty content", {{"vuzuvaridhex", "00 00"}}, false, both, bothCerts, "ReadFile app1 VUZUVARID 0 2 128",
         true},
        {"no such file", {}, false, both, bothCerts, NULL, true},
        {"GetFileInfo fails", {{"vuzuvarid", "tokA-c2"}, {"GetFileInfo.result", "0x0A000001"}}, false, both,
         bothCerts, NULL, true},
        {"FileSize over 128 asks for 128", {{"vuzuvarid", "tokA-c2"}, {"GetFileInfo.size", "300"}}, false,
         {"tokA-c2"}, {Sign(2), Exch(2)}, "ReadFile app1 VUZUVARID 0 128 128", false},
        {"read length over the buffer", {{"vuzuvarid", "tokA-c2"}, {"ReadFile.size", "5000"}}, false,
         {"tokA-c2"}, {Sign(2), Exch(2)}, "ReadFile app1 VUZUVARID 0 7 128", false},
        {"content without a NUL: 127 bytes count", {{"vuzuvaridhex", "128*6E"}}, false, {c127, "tokA-c1", "tokA-c2"},
         bothCerts, "ReadFile app1 VUZUVARID 0 128 128", true},
        {"read fails", {{"vuzuvarid", "tokA-c2"}, {"ReadFile.result", "0x0A000001"}}, false, both, bothCerts,
         "ReadFile app1 VUZUVARID 0 7 128", true},
        {"read gives length 0", {{"vuzuvarid", "tokA-c2"}, {"ReadFile.size", "0"}}, false, both, bothCerts,
         "ReadFile app1 VUZUVARID 0 7 128", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ini ini = TokenA();
        for (const auto& kv : c.keys)
            ini.Set(kApp1, kv.first, kv.second);
        if (c.noCertsInC2)
            ini.Remove(ConSection(1, 2), "sign").Remove(ConSection(1, 2), "exch");
        Load(ini);
        Reset();
        EXPECT_EQ(RegisterApplication("app1"), 1);
        EXPECT_EQ(CallArgs("OpenContainer", 1), c.opened);
        std::vector<std::string> reads = CallArgs("ReadFile", 0);
        if (c.readCall != NULL) {
            std::vector<std::string> calls = BriefCalls();
            ASSERT_EQ(reads.size(), 1u);
            EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string(c.readCall)), 1);
        } else {
            EXPECT_TRUE(reads.empty());
        }
        EXPECT_EQ(CallArgs("EnumContainer", 0).size(), c.listed ? 1u : 0u);
        EXPECT_EQ(BriefCalls().back(), "CloseApplication app1");
        ExpectHandlesBalanced();
        ExpectStore(c.registered);
        ExpectListed(Ders(c.registered));
    }
}

TEST_F(RegGmTest, ApplicationThatCannotBeOpenedOrListedRegistersNothing)
{
    struct Case {
        const char* what;
        const char* key;
        const char* value;
    } cases[] = {
        {"open fails", "OpenApplication.result", "0x0A000001"},
        {"container list fails", "EnumContainer.result", "0x0A000001"},
        {"container list of size 0", "EnumContainer.size", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Load(TokenA().Set(kApp1, c.key, c.value));
        Reset();
        EXPECT_EQ(RegisterApplication("app1"), 0);
        EXPECT_TRUE(CallArgs("OpenContainer").empty());
        ExpectHandlesBalanced();
        EXPECT_EQ(GetExportedCertCount(), 0);
    }
}

TEST_F(RegGmTest, TwoDevicesOfWhichTheFirstCannotConnect)
{
    // devA is the second device; the first refuses the connection.
    Load(TokenA(2).Set("dev 1", "name", "devX").Set("dev 1", "connect", "0"));

    EXPECT_EQ(CertRegGmDevices(), 1);
    EXPECT_EQ(CallArgs("ConnectDev", 0), (std::vector<std::string>{"devX", "devA"}));
    EXPECT_EQ(CallArgs("DisConnectDev", 0), std::vector<std::string>{"devA"});
    ExpectHandlesBalanced();
    std::vector<Registered> all = {Sign(1), Exch(1), Sign(2), Exch(2), Sign(3), Exch(3), Sign(4), Exch(4)};
    ExpectStore(all);
    ExpectListed(Ders(all));
    EXPECT_TRUE(LogMessages().empty()) << "a device that cannot connect is skipped silently";
}

TEST_F(RegGmTest, NotBoundThePassCallsNothing)
{
    WriteVskfFixture(TokenA().Text());
    EXPECT_EQ(IsGMSmartAPIBound(), 0);
    EXPECT_EQ(CertRegGmDevices(), -1);
    EXPECT_TRUE(VskfCalls().empty());
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"GM库未加载，不注册"});
    EXPECT_EQ(GetExportedCertCount(), 0);
}

TEST_F(RegGmTest, WaitDevice0WithoutDeviceQueriesOnceAndDoesNotSleep)
{
    Load(Ini().Set("vskf", "devices", "0"));
    DWORD start = GetTickCount();
    EXPECT_EQ(CertRegGmDevices(), -1);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(BriefCalls(), std::vector<std::string>{"EnumDev 1 query"});
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{kNoDevice, kConfigPathLine, ProgramDir() + "ConfigInfor.ini"}));
    EXPECT_LT(elapsed, (DWORD)GM_WAIT_SLEEP_MS) << "no sleep";
}

TEST_F(RegGmTest, WaitingForADevice)
{
    struct Case {
        const char* what;
        const char* key;
        const char* value;
        int queries;
        int noDeviceLines;
        int result;
    } cases[] = {
        {"a token plugged in after the second query", "appearafter", "2", 3, 2, 1},
        {"size 1 at the first query", "EnumDev.query.size", "1", 1, 2, -1},
        {"no token for the whole wait", "appearafter", "100", 6, 7, -1},
    };
    WriteConfig(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Load(TokenA().Set("vskf", c.key, c.value));
        Reset();
        DWORD start = GetTickCount();
        EXPECT_EQ(CertRegGmDevices(), c.result);
        DWORD end = GetTickCount();
        std::vector<unsigned long> ticks = VskfQueryTicks();
        ASSERT_EQ((int)ticks.size(), c.queries);
        // A sleep of a second follows every query, the successful one too.
        for (size_t i = 1; i < ticks.size(); ++i)
            EXPECT_GE(ticks[i] - ticks[i - 1], 990ul) << "query " << i;
        EXPECT_GE(end - start, 990ul * c.queries);
        EXPECT_EQ(CountLogged(kNoDevice), c.noDeviceLines);
        EXPECT_EQ(GetExportedCertCount(), c.result == 1 ? 8 : 0);
    }
}

TEST_F(RegGmTest, FaultyDeviceLists)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;  // of [vskf]
        int result;
        std::vector<std::string> connected;
        const char* logged;  // a log line holding this, or NULL for a silent log
        const char* listCall;
    } cases[] = {
        {"huge size from the query", {{"EnumDev.query.size", "0xFFFFFFFF"}}, 1, {"devA"}, "过大",
         "EnumDev 1 list 65536"},
        {"list size larger than the buffer", {{"EnumDev.size", "5000"}}, 1, {"devA"}, NULL, "EnumDev 1 list 6"},
        {"list call fails", {{"EnumDev.result", "0x0A000001"}}, -1, {}, NULL, "EnumDev 1 list 6"},
        {"query fails but leaves a size", {{"EnumDev.query.result", "0x0A000001"}, {"EnumDev.query.size", "6"}}, 1,
         {"devA"}, NULL, "EnumDev 1 list 6"},
        {"query fails leaving the size alone", {{"EnumDev.query.result", "0x0A000001"}}, -1, {}, kNoDevice, NULL},
        {"no NUL at all, size equal to the buffer", {{"EnumDev.data", "6*41"}}, 1, {}, "没有结束符",
         "EnumDev 1 list 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ini ini = TokenA();
        for (const auto& kv : c.keys)
            ini.Set("vskf", kv.first, kv.second);
        Load(ini);
        Reset();
        EXPECT_EQ(CertRegGmDevices(), c.result);
        EXPECT_EQ(CallArgs("ConnectDev", 0), c.connected);
        if (c.listCall != NULL)
            EXPECT_EQ(BriefCalls().at(1), c.listCall);
        else
            EXPECT_EQ(BriefCalls().size(), 1u);
        if (c.logged != NULL)
            EXPECT_TRUE(Logged(c.logged));
        else
            EXPECT_TRUE(LogMessages().empty());
        ExpectHandlesBalanced();
    }
}

TEST_F(RegGmTest, DeviceNamesLongerThanTheirBufferAreSkipped)
{
    // 260 bytes do not fit the 260-byte name buffer with the NUL; 259 do.
    std::string over = "%s%n" + std::string(256, 'L'), fits(259, 'M');
    // devA stays device 1; the others have no applications.
    Load(TokenA().Set("vskf", "devices", "3").Set("dev 2", "name", over).Set("dev 3", "name", fits));
    EXPECT_EQ(CertRegGmDevices(), 1);
    EXPECT_EQ(CallArgs("ConnectDev", 0), (std::vector<std::string>{"devA", fits}));
    EXPECT_EQ(GetExportedCertCount(), 8);
    // The name reaches the log as text, cut to 128 bytes.
    EXPECT_TRUE(Logged("：" + over.substr(0, 128))) << "verbatim";
    EXPECT_FALSE(Logged(over.substr(0, 129)));
}

TEST_F(RegGmTest, FaultyApplicationLists)
{
    std::string app255(255, 'b'), app256 = "%s%n" + std::string(252, 'a');
    // Names filling the buffer so that "app2" ends at its very last byte.
    std::string filler = "254*58 00 254*58 00 254*58 00 253*58 00 61 70 70 32 00";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;  // of [dev 1]
        std::vector<std::string> opened;
        const char* logged;
    } cases[] = {
        {"list fails", {{"EnumApplication.result", "0x0A000001"}}, {}, NULL},
        {"list fails and reports a size", {{"EnumApplication.result", "0x0A000001"}, {"EnumApplication.size", "11"}},
         {}, NULL},
        {"size 0 with success", {{"EnumApplication.size", "0"}}, {}, NULL},
        {"size 1 with success", {{"EnumApplication.size", "1"}}, {}, "没有结束符"},
        {"size larger than the buffer", {{"EnumApplication.size", "5000"}}, {"app1", "app2"}, NULL},
        {"no NUL at all, size equal to the buffer", {{"EnumApplication.data", "1024*41"}}, {}, "没有结束符"},
        {"last name at the very end without the closing empty name", {{"EnumApplication.data", filler}},
         {std::string(254, 'X'), std::string(254, 'X'), std::string(254, 'X'), std::string(253, 'X'), "app2"},
         NULL},
        {"empty name in the middle ends the list", {{"EnumApplication.data", "61 70 70 31 00 00 61 70 70 32 00 00"}},
         {"app1"}, NULL},
        {"names of 256 and 255 bytes", {{"apps", "4"}}, {"app1", "app2", app255}, "%s%n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ini ini = TokenA();
        ini.Set("dev 1 app 3", "name", app256).Set("dev 1 app 4", "name", app255);
        for (const auto& kv : c.keys)
            ini.Set(kDev1, kv.first, kv.second);
        Load(ini);
        ULONG size = 0;
        g_GmSmartApi.EnumDev(TRUE, NULL, &size);
        Reset();
        CertRegGmDevice("devA");
        std::vector<std::string> calls = BriefCalls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[0], "ConnectDev devA");
        EXPECT_EQ(calls[1], "EnumApplication devA 1024");
        EXPECT_EQ(calls.back(), "DisConnectDev devA");
        EXPECT_EQ(CallArgs("OpenApplication", 1), c.opened);
        if (c.logged != NULL)
            EXPECT_TRUE(Logged(c.logged));
        else
            EXPECT_TRUE(LogMessages().empty());
        ExpectHandlesBalanced();
    }
}

TEST_F(RegGmTest, FaultyContainerLists)
{
    std::string con255(255, 'c'), con256 = "%s%n" + std::string(252, 'k');
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;  // of app1
        std::vector<std::string> opened;
        const char* logged;
    } cases[] = {
        {"size larger than the buffer", {{"EnumContainer.size", "5000"}}, {"tokA-c1", "tokA-c2"}, NULL},
        {"size 1 with success", {{"EnumContainer.size", "1"}}, {}, "没有结束符"},
        {"no NUL at all, size equal to the buffer", {{"EnumContainer.data", "1024*41"}}, {}, "没有结束符"},
        {"empty name in the middle ends the list", {{"EnumContainer.data", "74 6F 6B 41 2D 63 31 00 00 41 00 00"}},
         {"tokA-c1"}, NULL},
        {"names of 256 and 255 bytes", {{"containers", "4"}}, {"tokA-c1", "tokA-c2", con255}, "%s%n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ini ini = TokenA();
        ini.Set(ConSection(1, 3), "name", con256).Set(ConSection(1, 4), "name", con255);
        for (const auto& kv : c.keys)
            ini.Set(kApp1, kv.first, kv.second);
        Load(ini);
        Reset();
        EXPECT_EQ(RegisterApplication("app1"), 1);
        EXPECT_EQ(CallArgs("OpenContainer", 1), c.opened);
        if (c.logged != NULL)
            EXPECT_TRUE(Logged(c.logged));
        else
            EXPECT_TRUE(LogMessages().empty());
        ExpectHandlesBalanced();
    }
}

TEST_F(RegGmTest, FullListOfOneCharacterContainerNames)
{
    // 512 names "A" fill the 1024 bytes; the container "A" holds a certificate.
    Ini ini = TokenA();
    ini.Set(kApp1, "EnumContainer.data", "512*4100")
        .Set(ConSection(1, 3), "name", "A")
        .Set(ConSection(1, 3), "sign", "certs\\tokB_c1_sign.der")
        .Set(kApp1, "containers", "3");
    Load(ini);
    EXPECT_EQ(RegisterApplication("app1"), 1);
    std::vector<std::string> opened = CallArgs("OpenContainer", 1);
    EXPECT_EQ(opened.size(), 512u);
    EXPECT_EQ(std::count(opened.begin(), opened.end(), "A"), 512);
    ExpectHandlesBalanced();
    // The same certificate each time: one copy in "MY"; the list stops at its capacity.
    ExpectStore({{"A", 2, LoadFixtureCert("tokB_c1_sign.der")}});
    EXPECT_EQ(GetExportedCertCount(), EXPORTED_LIST_CAPACITY);
    EXPECT_TRUE(Logged("导出证书列表已满，不再注册"));
}

TEST_F(RegGmTest, ContainerFaultsAndExportLengths)
{
    std::string big = LoadFixtureCert("big5k.der");
    ASSERT_GT(big.size(), 4096u);
    const char* invalidLength = "证书长度";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> keys;  // of tokA-c1
        int result;
        std::vector<Registered> stored;
        std::vector<std::string> listed;
        const char* logged;
        int exports;
        const char* lastCall;
    } cases[] = {
        {"type 2 is registered like any other", {{"type", "2"}}, 1, {Sign(1), Exch(1)},
         {Sign(1).der, Exch(1).der}, "容器类型为2，不注册 改为注册", 2, "CloseContainer tokA-c1"},
        {"only a signature certificate", {{"exch", ""}}, 1, {Sign(1)}, {Sign(1).der}, NULL, 2, "CloseContainer tokA-c1"},
        {"export fails", {{"ExportSign.result", "0x0A00001C"}}, 1, {Exch(1)}, {Exch(1).der}, NULL, 2, "CloseContainer tokA-c1"},
        {"export length over 8192", {{"ExportSign.size", "9000"}}, 1, {Exch(1)}, {Exch(1).der}, invalidLength, 2, "CloseContainer tokA-c1"},
        {"export length 0 with success", {{"ExportSign.size", "0"}}, 1, {Exch(1)}, {Exch(1).der}, invalidLength, 2, "CloseContainer tokA-c1"},
        {"export length negative", {{"ExportExch.size", "-1"}}, 1, {Sign(1)}, {Sign(1).der}, invalidLength, 2, "CloseContainer tokA-c1"},
        {"a certificate over 4096 bytes", {{"sign", "certs\\big5k.der"}}, 1, {{"tokA-c1", 2, big}, Exch(1)},
         {big, Exch(1).der}, NULL, 2, "CloseContainer tokA-c1"},
        {"a failed add is still listed", {{"signhex", "30 03 02 01 01"}}, 1, {Exch(1)},
         {std::string("\x30\x03\x02\x01\x01", 5), Exch(1).der}, NULL, 2, "CloseContainer tokA-c1"},
        {"container cannot be opened", {{"OpenContainer.result", "0x0A000001"}}, 0, {}, {}, NULL, 0,
         "OpenContainer app1 tokA-c1"},
        {"type cannot be read", {{"GetContainerType.result", "0x0A000001"}}, 0, {}, {}, NULL, 0,
         "CloseContainer tokA-c1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ini ini = TokenA();
        for (const auto& kv : c.keys)
            ini.Set(ConSection(1, 1), kv.first, kv.second);
        Load(ini);
        Reset();
        EXPECT_EQ(RegisterContainer("app1", "tokA-c1"), c.result);
        EXPECT_EQ((int)CallArgs("ExportCertificate").size(), c.exports);
        EXPECT_EQ(BriefCalls().back(), c.lastCall);
        ExpectStore(c.stored);
        ExpectListed(c.listed);
        std::vector<std::string> log = LogMessages();
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [&](const std::string& l) { return l.find(c.logged ? c.logged : "\x01") != std::string::npos; }),
                  c.logged != NULL ? 1 : 0);
        ExpectHandlesBalanced();
    }
}

TEST_F(RegGmTest, ContainerAlreadyInTheStoreIsListedAgain)
{
    Load(TokenA());
    EXPECT_EQ(RegisterContainer("app1", "tokA-c1"), 1);
    EXPECT_EQ(RegisterContainer("app1", "tokA-c1"), 1);
    ExpectStore({Sign(1), Exch(1)});
    ExpectListed({Sign(1).der, Exch(1).der, Sign(1).der, Exch(1).der});
}

TEST_F(RegGmTest, ACertificateTheListCannotTakeIsNotAdded)
{
    Load(TokenA());
    // 100 entries already listed: room for the signature certificate only.
    for (int i = 0; i < EXPORTED_LIST_CAPACITY - 1; ++i) {
        unsigned char* buffer = static_cast<unsigned char*>(calloc(1, EXPORT_BUFFER_BYTES));
        buffer[0] = 0x30;
        buffer[1] = (unsigned char)i;
        ASSERT_EQ(AppendExportedCert(buffer, 2), 0);
    }
    EXPECT_EQ(RegisterContainer("app1", "tokA-c1"), 1);
    EXPECT_EQ(GetExportedCertCount(), EXPORTED_LIST_CAPACITY);
    int length = 0;
    const unsigned char* last = GetExportedCert(EXPORTED_LIST_CAPACITY - 1, &length);
    EXPECT_EQ(std::string((const char*)last, length), Sign(1).der);
    ExpectStore({Sign(1)});
    EXPECT_EQ(CountLogged("导出证书列表已满，不再注册"), 1);
}

TEST_F(RegGmTest, ContainerNamesReachTheBindingVerbatim)
{
    Load(TokenA().Set(ConSection(1, 1), "name", "%s%n%x"));
    EXPECT_EQ(RegisterApplication("app1"), 1);
    ExpectStore({{"%s%n%x", 2, Sign(1).der}, {"%s%n%x", 1, Exch(1).der}, Sign(2), Exch(2)});
}

}  // namespace
