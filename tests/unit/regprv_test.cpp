// Registration from the private library, under Wine with the virtual library: what
// reaches "MY" and the registered-certificate table, the switches, the announced-token
// rules, the order of the library calls, and hostile tokens.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "agent/certreg/certtable.h"
#include "agent/certreg/regprv.h"
#include "agent/shell/tokenflags.h"
#include "agent/token/prvapi.h"
#include "agent/webpage/openurl.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const char kFixture[] = "QvPrvApi.ini";
const char kCallLog[] = "QvPrvApi.calls.log";
const int kToken = 3;
const int kExchangeIds[] = {1, 5, 6, 7};
const int kSignatureIds[] = {0, 8, 9, 10};

std::string CertName(int k, bool sign)
{
    return "tokA_c" + std::to_string(k) + (sign ? "_sign.der" : "_exch.der");
}

// Token A: containers named tokA-c1 .. tokA-c4, both keys in each, every certificate.
// `extra` lines ("key=value\r\n") replace the defaults of their keys.
std::string TokenA(const std::string& status, const std::string& extra = "")
{
    std::vector<std::pair<std::string, std::string>> keys = {{"status", status}};
    for (int k = 1; k <= 4; ++k) {
        std::string c = "c" + std::to_string(k);
        keys.push_back({c + ".name", "tokA-" + c});
        keys.push_back({c + ".ex", "1"});
        keys.push_back({c + ".sig", "1"});
        keys.push_back({"cert" + std::to_string(kExchangeIds[k - 1]), "certs\\" + CertName(k, false)});
        keys.push_back({"cert" + std::to_string(kSignatureIds[k - 1]), "certs\\" + CertName(k, true)});
    }
    std::string text = "[token 3]\r\n" + extra;
    for (const auto& kv : keys) {
        std::string line = kv.first + "=";
        if (("\n" + extra).find("\n" + line) == std::string::npos)
            text += line + kv.second + "\r\n";
    }
    return text;
}

// Calls of the virtual library, "name[ id]", without handles.
std::vector<std::string> Calls()
{
    std::vector<std::string> calls;
    for (const std::string& line : ReadLines(ProgramDir() + kCallLog)) {
        char name[64] = {}, handle[32] = {}, id[32] = {};
        sscanf(line.c_str(), "%63s %31s %31s", name, handle, id);
        calls.push_back(strcmp(name, "Usb_ReadCert") == 0 ? std::string(name) + " " + id : name);
    }
    return calls;
}

// The calls that register container k with both certificates.
std::vector<std::string> ContainerCalls(int k, bool exchange = true, bool sign = true)
{
    std::vector<std::string> calls(3, "Usb_ReadCspData");
    if (exchange)
        calls.push_back("Usb_ReadCert " + std::to_string(kExchangeIds[k - 1]));
    if (sign)
        calls.push_back("Usb_ReadCert " + std::to_string(kSignatureIds[k - 1]));
    return calls;
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

int Count(const std::vector<std::string>& lines, const std::string& line)
{
    return (int)std::count(lines.begin(), lines.end(), line);
}

std::wstring Wide936(const std::string& bytes)
{
    wchar_t wide[512] = {};
    MultiByteToWideChar(936, MB_PRECOMPOSED, bytes.data(), (int)bytes.size(), wide, 511);
    return wide;
}

struct Expected {
    std::string der;
    std::string container;
    unsigned long keySpec;
};

// "MY" holds exactly these certificates, each with its binding.
void ExpectStore(const std::vector<Expected>& expected)
{
    std::vector<StoreCert> certs = ReadMyStore();
    ASSERT_EQ(certs.size(), expected.size());
    for (const Expected& e : expected) {
        auto it = std::find_if(certs.begin(), certs.end(), [&](const StoreCert& c) { return c.der == e.der; });
        ASSERT_NE(it, certs.end()) << e.container << " " << e.keySpec;
        ASSERT_TRUE(it->bound);
        EXPECT_EQ(it->binding.container, Wide936(e.container));
        EXPECT_EQ(it->binding.provider, L"Qvware Csp V1.0");
        EXPECT_EQ(it->binding.type, 1u);
        EXPECT_EQ(it->binding.keySpec, e.keySpec);
    }
}

Expected Exch(int k)
{
    return {LoadFixtureCert(CertName(k, false).c_str()), "tokA-c" + std::to_string(k), 1};
}
Expected Sign(int k)
{
    return {LoadFixtureCert(CertName(k, true).c_str()), "tokA-c" + std::to_string(k), 2};
}

// The table holds exactly these records (keyed by token, container, kind).
typedef std::map<std::tuple<int, int, int>, std::string> TableContents;

void ExpectTable(const TableContents& expected)
{
    for (int i = 0; i < CERT_TABLE_SLOTS; ++i)
        for (int k = 1; k <= 4; ++k)
            for (CertKind kind : {CERT_KIND_SIGN, CERT_KIND_EXCHANGE}) {
                const CertRecord* record = GetCertRecord(i, k, kind);
                ASSERT_NE(record, (const CertRecord*)NULL);
                auto it = expected.find(std::make_tuple(i, k, (int)kind));
                std::string want = it == expected.end() ? std::string() : it->second;
                EXPECT_EQ(std::string((const char*)record->encoding, record->length), want)
                    << "slot " << i << " container " << k << " kind " << kind;
            }
}

class RegPrvTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreePrvApi();
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
        ASSERT_TRUE(ClearMyStore());
        ClearCertTable();
        ClearPageChoiceFlags();
        g_bTokenPresent = 0;
        g_nAnnouncedToken = 0;
        ASSERT_FALSE(LoadFixtureCert("tokA_c1_exch.der").empty()) << "bin\\certs missing";
    }
    void TearDown() override
    {
        FreePrvApi();
        ClearMyStore();
        ClearCertTable();
        RemoveBesideProgram(kFixture);
        RemoveBesideProgram("ConfigInfor.ini");
        RemoveFile(ProgramDir() + kCallLog);
        g_bTokenPresent = 0;
        g_nAnnouncedToken = 0;
    }

    // One token's turn as the registration pass takes it; the log and the call log hold
    // what CertRegPrvKey did.
    int Register(const std::string& fixture, int tokenIndex = kToken)
    {
        WriteIniBesideProgram(kFixture, fixture);
        EXPECT_EQ(LoadPrvApi(), 1);
        EXPECT_EQ(g_PrvApi.Usb_Connect(tokenIndex, 0, &g_hPrvToken), 0);
        ResetLog();
        RemoveFile(ProgramDir() + kCallLog);
        int result = CertRegPrvKey(tokenIndex);
        g_PrvApi.Usb_Disconnect(&g_hPrvToken);
        FreePrvApi();
        return result;
    }
};

TEST_F(RegPrvTest, StatusFiveRegistersExactlyContainersOneAndThree)
{
    ASSERT_EQ(Register(TokenA("5")), 0);

    ExpectStore({Exch(1), Sign(1), Exch(3), Sign(3)});
    ExpectTable({{{kToken, 1, CERT_KIND_EXCHANGE}, Exch(1).der},
                 {{kToken, 1, CERT_KIND_SIGN}, Sign(1).der},
                 {{kToken, 3, CERT_KIND_EXCHANGE}, Exch(3).der},
                 {{kToken, 3, CERT_KIND_SIGN}, Sign(3).der}});

    std::vector<std::string> calls = {"Usb_ReadCspData"};
    for (int k : {1, 3}) {
        std::vector<std::string> c = ContainerCalls(k);
        calls.insert(calls.end(), c.begin(), c.end());
    }
    calls.push_back("Usb_Disconnect");
    EXPECT_EQ(Calls(), calls);

    std::vector<std::string> log = LogMessages();
    EXPECT_TRUE(InOrder(log, {"CSP_ReadContainterStaus OK!", "一号包容器存在!", "注册1号包容器中的证书",
                              "包容器名称:tokA-c1", "CSP_ReadCspInfoUnit 加密标志存在!", "Ukey open Url索引号",
                              "            00 00 00 00 ", "i 索引号", "            03 00 00 00 ",
                              "CSP_ReadCspInfoUnit 签名标志存在!", "三号包容器存在!", "注册3号包容器中的证书"}));
    EXPECT_EQ(Count(log, "二号包容器存在!") + Count(log, "四号包容器存在!"), 0);
    EXPECT_EQ(Count(log, "========>OpenUrlCert begin"), 0);  // token 3 was not announced
}

TEST_F(RegPrvTest, StatusWordAndKeyFlagsIgnoreStrayBits)
{
    // Status 0xFFFFFFF0 | 2: container 2 only. Its exchange flag 4 is not set, its
    // signature flag with stray high bits is.
    ASSERT_EQ(Register(TokenA("0xFFFFFFF2", "c2.ex=4\r\nc2.sig=0x80000002\r\n")), 0);
    ExpectStore({Sign(2)});
    ExpectTable({{{kToken, 2, CERT_KIND_SIGN}, Sign(2).der}});
    std::vector<std::string> calls = ContainerCalls(2, false, true);
    calls.insert(calls.begin(), "Usb_ReadCspData");
    calls.push_back("Usb_Disconnect");
    EXPECT_EQ(Calls(), calls);
}

TEST_F(RegPrvTest, StatusZeroAndSixteenRegisterNothing)
{
    for (const char* status : {"0", "16"}) {
        SCOPED_TRACE(status);
        ResetLog();
        ASSERT_EQ(Register(TokenA(status)), 0);
        EXPECT_EQ(LogMessages(), (std::vector<std::string>{"CSP_ReadContainterStaus OK!"}));
        ExpectStore({});
    }
}

TEST_F(RegPrvTest, SwitchesTurnAKindOffBeforeItIsRead)
{
    struct Case {
        const char* config;
        bool exchange, sign;
        const char* line;
    } cases[] = {
        {"CertRegSign=2\r\n", true, false, "不注册签名证书"},
        {"CertRegEnc=2\r\n", false, true, "不注册加密证书"},
        {"CertRegEnc=20\r\n", false, true, "不注册加密证书"},
        {"CertRegSign=1\r\nCertRegEnc=yes\r\n", true, true, NULL},
        {"CertRegSign=\r\n", true, true, NULL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        ClearMyStore();
        ClearCertTable();
        WriteIniBesideProgram("ConfigInfor.ini", std::string("[UKEYTOOL]\r\n") + c.config);
        ASSERT_EQ(Register(TokenA("1")), 0);
        std::vector<Expected> store;
        TableContents table;
        if (c.exchange) {
            store.push_back(Exch(1));
            table[std::make_tuple(kToken, 1, (int)CERT_KIND_EXCHANGE)] = Exch(1).der;
        }
        if (c.sign) {
            store.push_back(Sign(1));
            table[std::make_tuple(kToken, 1, (int)CERT_KIND_SIGN)] = Sign(1).der;
        }
        ExpectStore(store);
        ExpectTable(table);
        std::vector<std::string> calls = ContainerCalls(1, c.exchange, c.sign);
        calls.insert(calls.begin(), "Usb_ReadCspData");
        calls.push_back("Usb_Disconnect");
        EXPECT_EQ(Calls(), calls);
        std::vector<std::string> log = LogMessages();
        EXPECT_EQ(Count(log, "不注册签名证书") + Count(log, "不注册加密证书"), c.line ? 1 : 0);
        if (c.line) {
            EXPECT_EQ(Count(log, c.line), 1);
        }
    }
}

TEST_F(RegPrvTest, FailedExchangeAddSkipsThatSignatureAndTheNextContainerRegisters)
{
    // Container 1's exchange certificate is DER but no certificate: the store refuses it.
    ASSERT_EQ(Register(TokenA("5", "certhex1=3003020100\r\n")), 0);
    ExpectStore({Exch(3), Sign(3)});
    ExpectTable({{{kToken, 3, CERT_KIND_EXCHANGE}, Exch(3).der}, {{kToken, 3, CERT_KIND_SIGN}, Sign(3).der}});
    std::vector<std::string> calls = {"Usb_ReadCspData"};
    for (const std::vector<std::string>& c : {ContainerCalls(1, true, false), ContainerCalls(3)})
        calls.insert(calls.end(), c.begin(), c.end());
    calls.push_back("Usb_Disconnect");
    EXPECT_EQ(Calls(), calls);
    EXPECT_TRUE(InOrder(LogMessages(), {"AddCertToTheSystem TYPE_ENCRYPT err!", "注册一号包容器证书出错!",
                                        "三号包容器存在!"}));
}

TEST_F(RegPrvTest, EmptyCertificatesAreNoFailure)
{
    // An empty exchange certificate: the signature certificate is still registered.
    ASSERT_EQ(Register(TokenA("1", "cert1=\r\n")), 0);
    ExpectStore({Sign(1)});
    EXPECT_TRUE(InOrder(LogMessages(), {"Usb_ReadCert TYPE_ENCRYPT derCertLen=0!", "CSP_ReadCspInfoUnit 签名标志存在!"}));

    // An empty signature certificate later: the container ends well and the record
    // keeps what the first pass put there.
    ClearMyStore();
    ASSERT_EQ(Register(TokenA("1", "cert0=\r\n")), 0);
    ExpectStore({Exch(1)});
    ExpectTable({{{kToken, 1, CERT_KIND_EXCHANGE}, Exch(1).der}, {{kToken, 1, CERT_KIND_SIGN}, Sign(1).der}});
    std::vector<std::string> log = LogMessages();
    EXPECT_EQ(log.back(), "Usb_ReadCert TYPE_SIGN derCertLen=0!");
    EXPECT_EQ(Count(log, "注册一号包容器证书出错!"), 0);
}

// Hostile tokens: each fault ends only the container it concerns (container 1 here);
// container 3 still registers and nothing is read or written outside a buffer.
TEST_F(RegPrvTest, HostileContainerEndsOnlyThatContainer)
{
    struct Case {
        const char* what;
        std::string extra;
        std::vector<std::string> lines;  // in this order in the log
        bool exchangeKept;                // container 1's exchange certificate registered
    } cases[] = {
        {"name length 52", "c1.len=52\r\n",
         {"CSP container 1 name len err: 52", "CSP_ReadCspInfoUnit get CONTAINTERNAME err!"}, false},
        {"name length -1", "c1.len=-1\r\n",
         {"CSP container 1 name len err: -1", "CSP_ReadCspInfoUnit get CONTAINTERNAME err!"}, false},
        {"name length 0", "c1.len=0\r\n", {"CSP_ReadCspInfoUnit 包容器名称长度为 0 !"}, false},
        {"flag read fails", "Usb_ReadCspData.at=4\r\nUsb_ReadCspData.result=0x0A000001\r\n",
         {"CSP_ReadCspInfoUnit get SIGKEYEXISTFLAG err!"}, false},
        {"area length 300 on a flag read", "Usb_ReadCspData.at=3\r\nUsb_ReadCspData.len=300\r\n",
         {"Usb_ReadCspData len err: 300", "CSP_ReadCspInfoUnit get EXKEYEXISTFLAG err!"}, false},
        {"certificate length 4097", "Usb_ReadCert1.len=4097\r\n",
         {"Usb_ReadCert len err: 4097", "Usb_ReadCert TYPE_ENCRYPT err!"}, false},
        {"certificate length 0xFFFFFFFF", "Usb_ReadCert1.len=0xFFFFFFFF\r\n",
         {"Usb_ReadCert len err: -1", "Usb_ReadCert TYPE_ENCRYPT err!"}, false},
        {"certificate length negative", "Usb_ReadCert1.len=-4096\r\n",
         {"Usb_ReadCert len err: -4096", "Usb_ReadCert TYPE_ENCRYPT err!"}, false},
        {"certificate above 4096 bytes", "cert1=certs\\big5k.der\r\n",
         {"Usb_ReadCert len err: 5232", "Usb_ReadCert TYPE_ENCRYPT err!"}, false},
        {"DER header claims more than delivered", "Usb_ReadCert1.deliver=200\r\n",
         {"Usb_ReadCert der len err: 200", "Usb_ReadCert TYPE_ENCRYPT err!"}, false},
        {"signature read fails", "Usb_ReadCert0.result=0x0A000001\r\n", {"Usb_ReadCert TYPE_SIGN err!"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearMyStore();
        ClearCertTable();
        ASSERT_EQ(Register(TokenA("5", c.extra)), 0);
        std::vector<Expected> store = {Exch(3), Sign(3)};
        if (c.exchangeKept)
            store.push_back(Exch(1));
        ExpectStore(store);
        EXPECT_EQ(GetCertRecord(kToken, 1, CERT_KIND_SIGN)->length, 0);
        EXPECT_EQ(GetCertRecord(kToken, 3, CERT_KIND_SIGN)->length, (int)Sign(3).der.size());
        std::vector<std::string> lines = {"注册1号包容器中的证书"};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        lines.push_back("注册一号包容器证书出错!");
        lines.push_back("三号包容器存在!");
        EXPECT_TRUE(InOrder(LogMessages(), lines));
    }
}

TEST_F(RegPrvTest, HostileAreasEndTheToken)
{
    // An area of all 0xFF: four containers, each refused.
    ASSERT_EQ(Register(TokenA("0", "csp=" + std::string(512, 'F') + "\r\n")), 0);
    ExpectStore({});
    std::vector<std::string> log = LogMessages();
    for (const char* line : {"注册一号包容器证书出错!", "注册二号包容器证书出错!", "注册三号包容器证书出错!",
                             "注册四号包容器证书出错!"})
        EXPECT_EQ(Count(log, line), 1) << line;

    // The status word cannot be read: a length the area cannot have, or a failed read.
    for (const char* fault : {"Usb_ReadCspData.len=300\r\n", "Usb_ReadCspData.len=-1\r\n",
                              "Usb_ReadCspData.deliver=3\r\n", "Usb_ReadCspData.result=5\r\n"}) {
        SCOPED_TRACE(fault);
        ASSERT_EQ(Register(TokenA("5", fault)), -1);
        EXPECT_EQ(LogMessages().back(), "CSP_ReadContainterStaus err!");
        EXPECT_EQ(Calls(), (std::vector<std::string>{"Usb_ReadCspData", "Usb_Disconnect"}));
        ExpectStore({});
    }
    ExpectTable({});
}

TEST_F(RegPrvTest, ContainerNameReachesLogAndBindingVerbatim)
{
    // "%s%n" and bytes that are not valid GBK.
    const std::string name("%s%n\x81\xFF%x", 8);
    ASSERT_EQ(Register(TokenA("1", "c1.namehex=2573256E81FF2578\r\n")), 0);
    ExpectStore({{Exch(1).der, name, 1}, {Sign(1).der, name, 2}});
    EXPECT_EQ(Count(LogMessages(), "包容器名称:" + name), 1);
}

TEST_F(RegPrvTest, AnnouncedTokenDecidesWhichCertificatesAreClassified)
{
    struct Case {
        int announced, present;
        const char* exchangeLine;  // NULL: neither line
        int classified;
    } cases[] = {
        {3, 1, "UKey 插入 --Open Url", 2},
        {3, 0, "UKey 拔下 --Not Open Url", 1},
        {2, 1, NULL, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.announced * 10 + c.present);
        g_nAnnouncedToken = c.announced;
        g_bTokenPresent = c.present;
        ClearMyStore();
        ASSERT_EQ(Register(TokenA("1")), 0);
        std::vector<std::string> log = LogMessages();
        EXPECT_EQ(Count(log, "========>OpenUrlCert begin"), c.classified);
        EXPECT_EQ(Count(log, "========>OpenUrlCert end"), c.classified);
        EXPECT_EQ(Count(log, "UKey 插入 --Open Url") + Count(log, "UKey 拔下 --Not Open Url"), c.exchangeLine ? 1 : 0);
        char dump[64];
        snprintf(dump, sizeof dump, "            %02X 00 00 00 ", c.announced);
        EXPECT_TRUE(InOrder(log, {"Ukey open Url索引号", dump, "i 索引号", "            03 00 00 00 "}));
        if (c.exchangeLine != NULL) {
            EXPECT_EQ(Count(log, c.exchangeLine), 1);
        }
        if (c.classified == 2) {
            EXPECT_TRUE(InOrder(log, {c.exchangeLine, "========>OpenUrlCert begin", "CSP_ReadCspInfoUnit 签名标志存在!"}));
        }
        if (c.classified > 0) {  // the signature certificate is classified last
            EXPECT_TRUE(InOrder(log, {"CSP_ReadCspInfoUnit 签名标志存在!", "========>OpenUrlCert begin"}));
        }
    }
}

}  // namespace
