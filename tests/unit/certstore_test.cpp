// The store binding against the real "MY" store: every outcome is checked by reopening
// the store, as the agent's next operation would.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent/certreg/certstore.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const wchar_t kDefaultProvider[] = L"Qvware Csp V1.0";

class CertStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
        ASSERT_TRUE(ClearMyStore());
        signCert = LoadFixtureCert("tokA_c1_sign.der");
        exchCert = LoadFixtureCert("tokA_c1_exch.der");
        ASSERT_FALSE(signCert.empty()) << "bin\\certs missing";
        ASSERT_FALSE(exchCert.empty());
    }
    void TearDown() override
    {
        ClearMyStore();
        RemoveBesideProgram("ConfigInfor.ini");
    }

    static int Add(const std::string& container, const std::string& cert, int keySpec)
    {
        return AddCertToTheSystem(container.data(), (int)container.size(), (const unsigned char*)cert.data(),
                                  (int)cert.size(), keySpec);
    }
    static int Delete(const std::string& cert)
    {
        return DeleteCertFromTheSystem((const unsigned char*)cert.data(), (int)cert.size());
    }
    static void ConfigureProvider(const std::string& name)
    {
        WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nProviderName=" + name + "\r\n");
    }

    std::string signCert, exchCert;
};

void ExpectOnlyCert(const std::string& der, const KeyBinding& expected)
{
    std::vector<StoreCert> certs = ReadMyStore();
    ASSERT_EQ(certs.size(), 1u);
    EXPECT_EQ(certs[0].der, der);
    ASSERT_TRUE(certs[0].bound);
    EXPECT_EQ(certs[0].binding.container, expected.container);
    EXPECT_FALSE(certs[0].binding.providerNull);
    EXPECT_EQ(certs[0].binding.provider, expected.provider);
    EXPECT_EQ(certs[0].binding.type, 1u);
    EXPECT_EQ(certs[0].binding.flags, 0u);
    EXPECT_EQ(certs[0].binding.keySpec, expected.keySpec);
}

TEST_F(CertStoreTest, AddedCertificateCarriesExactlyTheBinding)
{
    struct Case {
        const char* provider;  // NULL: not configured
        std::string container;
        int keySpec;
        const wchar_t* wideProvider;
        const wchar_t* wideContainer;
    } cases[] = {
        {NULL, "tokA-c1", 2, kDefaultProvider, L"tokA-c1"},
        {"", "tokA-c1", 1, kDefaultProvider, L"tokA-c1"},
        {"国密 Csp", "容器一", 1, L"国密 Csp", L"容器一"},
        {"Other Csp", "c", 2, L"Other Csp", L"c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.container + " / " + std::to_string(c.keySpec));
        ASSERT_TRUE(ClearMyStore());
        ResetLog();
        if (c.provider != NULL)
            ConfigureProvider(c.provider);
        else
            RemoveBesideProgram("ConfigInfor.ini");
        const std::string& cert = c.keySpec == 2 ? signCert : exchCert;
        EXPECT_EQ(Add(c.container, cert, c.keySpec), 0);
        KeyBinding expected;
        expected.container = c.wideContainer;
        expected.provider = c.wideProvider;
        expected.keySpec = c.keySpec;
        ExpectOnlyCert(cert, expected);
        EXPECT_EQ(ReadLog(), "");
    }
}

TEST_F(CertStoreTest, LongestContainerNameIsBoundWhole)
{
    std::string container(CONTAINER_NAME_MAX, 'k');
    EXPECT_EQ(Add(container, signCert, 2), 0);
    KeyBinding expected;
    expected.container = std::wstring(CONTAINER_NAME_MAX, L'k');
    expected.provider = kDefaultProvider;
    ExpectOnlyCert(signCert, expected);
}

TEST_F(CertStoreTest, AddingAgainLeavesOneCopyWithTheNewBinding)
{
    ASSERT_EQ(Add("old", signCert, 2), 0);
    ConfigureProvider("New Csp");
    EXPECT_EQ(Add("new", signCert, 1), 0);
    KeyBinding expected;
    expected.container = L"new";
    expected.provider = L"New Csp";
    expected.keySpec = 1;
    ExpectOnlyCert(signCert, expected);

    // Copies put there by others, one with another binding, are replaced the same way.
    ASSERT_TRUE(ClearMyStore());
    KeyBinding foreign;
    foreign.container = L"theirs";
    foreign.provider = L"Their Csp";
    foreign.type = 24;
    ASSERT_TRUE(AddToMyStore(signCert, &foreign));
    ASSERT_TRUE(AddToMachineMyStore(signCert));
    ASSERT_EQ(CountInMyStore(signCert), 2);
    EXPECT_EQ(Add("new", signCert, 1), 0);
    ExpectOnlyCert(signCert, expected);
}

TEST_F(CertStoreTest, RefusedAddsLeaveTheStoreAsItWas)
{
    ASSERT_TRUE(AddToMyStore(exchCert, NULL));
    std::string notACert = signCert.substr(0, 100);
    struct Case {
        const char* what;
        std::string provider;  // "" = not configured
        std::string container;
        const std::string* cert;
        bool logs;
    } cases[] = {
        {"empty container name", "", "", &signCert, false},
        {"container name of 512 bytes", "", std::string(512, 'k'), &signCert, true},
        {"provider name of 128 bytes", std::string(128, 'p'), "c1", &signCert, true},
        {"not a certificate", "", "c1", &notACert, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetLog();
        if (c.provider.empty())
            RemoveBesideProgram("ConfigInfor.ini");
        else
            ConfigureProvider(c.provider);
        EXPECT_EQ(Add(c.container, *c.cert, 2), -1);
        std::vector<StoreCert> certs = ReadMyStore();
        ASSERT_EQ(certs.size(), 1u);
        EXPECT_EQ(certs[0].der, exchCert);
        EXPECT_FALSE(certs[0].bound);
        EXPECT_EQ(!LogMessages().empty(), c.logs) << ReadLog();
    }
    EXPECT_EQ(AddCertToTheSystem("c1", 2, NULL, 10, 2), -1);
    EXPECT_EQ(AddCertToTheSystem(NULL, 2, (const unsigned char*)signCert.data(), (int)signCert.size(), 2), -1);
}

TEST_F(CertStoreTest, DeleteRemovesEveryCopyAndNothingThatDiffers)
{
    std::string flipped = signCert;
    flipped[flipped.size() - 1] ^= 0x01;  // last signature byte: still a certificate
    ASSERT_EQ(Add("c1", signCert, 2), 0);
    ASSERT_TRUE(AddToMachineMyStore(signCert));  // a second copy of the same bytes
    ASSERT_TRUE(AddToMyStore(flipped, NULL));
    ASSERT_TRUE(AddToMyStore(exchCert, NULL));
    ASSERT_EQ(CountInMyStore(signCert), 2);

    struct Case {
        const char* what;
        std::string bytes;
    } misses[] = {
        {"one byte shorter", signCert.substr(0, signCert.size() - 1)},
        {"one byte longer", signCert + '\0'},
        {"another certificate", LoadFixtureCert("tokB_c1_sign.der")},
        {"empty", ""},
    };
    for (const Case& c : misses) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Delete(c.bytes), 1);
        EXPECT_EQ(ReadMyStore().size(), 4u);
    }
    EXPECT_EQ(DeleteCertFromTheSystem(NULL, 0), 1);

    EXPECT_EQ(Delete(signCert), 1);
    std::vector<StoreCert> certs = ReadMyStore();
    ASSERT_EQ(certs.size(), 2u);
    EXPECT_EQ(CountInMyStore(signCert), 0);
    EXPECT_EQ(CountInMyStore(flipped), 1);
    EXPECT_EQ(CountInMyStore(exchCert), 1);
    EXPECT_EQ(ReadLog(), "");  // deletes write nothing
}

// What ConUnloadIECert must write for the store as it is now, in walk order.
std::vector<std::string> ExpectedUnloadLines(const std::string& configuredName, const std::wstring& provider)
{
    std::vector<std::string> lines = {"ConUnloadIECert begin", ProgramDir() + "ConfigInfor.ini", configuredName};
    for (const StoreCert& cert : ReadMyStore()) {
        if (!cert.bound)
            continue;
        if (cert.binding.providerNull) {
            lines.push_back("pwszProvName==NULL");
            continue;
        }
        if (cert.binding.provider == provider && cert.binding.type == 1)
            lines.push_back("wcscmp 0 ");
        lines.push_back("wcscmp end");
    }
    for (const char* tail : {"while end ", "LocalFree pCryptKeyProvInfo", "CertCloseStore 1", "CertCloseStore 2",
                             "ConUnloadIECert end"})
        lines.push_back(tail);
    return lines;
}

// One certificate per kind of binding the unload pass must tell apart.
struct UnloadStore {
    std::vector<std::string> removed, kept;
};

UnloadStore FillForUnload(const std::wstring& provider, const std::wstring& otherCase)
{
    UnloadStore s;
    const char* names[] = {"tokA_c1_sign.der", "tokA_c1_exch.der", "tokA_c2_sign.der", "tokA_c2_exch.der",
                           "tokA_c3_sign.der", "tokA_c3_exch.der", "tokA_c4_sign.der"};
    std::vector<std::string> c;
    for (const char* n : names)
        c.push_back(LoadFixtureCert(n));
    KeyBinding ours, exchange, otherType, otherLetters, nullName, otherProvider;
    ours.container = L"c1";
    ours.provider = provider;
    exchange = ours;
    exchange.keySpec = 1;
    exchange.flags = 0x20;  // flags do not matter, only name and type
    otherType = ours;
    otherType.type = 24;
    otherLetters = ours;
    otherLetters.provider = otherCase;
    nullName = ours;
    nullName.providerNull = true;
    otherProvider = ours;
    otherProvider.provider = L"Microsoft Base Cryptographic Provider v1.0";
    EXPECT_TRUE(AddToMyStore(c[0], &ours));
    EXPECT_TRUE(AddToMyStore(c[1], &exchange));
    EXPECT_TRUE(AddToMyStore(c[2], &otherType));
    EXPECT_TRUE(AddToMyStore(c[3], &otherLetters));
    EXPECT_TRUE(AddToMyStore(c[4], &nullName));
    EXPECT_TRUE(AddToMyStore(c[5], &otherProvider));
    EXPECT_TRUE(AddToMyStore(c[6], NULL));
    s.removed = {c[0], c[1]};
    s.kept = {c[2], c[3], c[4], c[5], c[6]};
    return s;
}

void ExpectUnloadOutcome(const UnloadStore& s)
{
    EXPECT_EQ(ReadMyStore().size(), s.kept.size());
    for (const std::string& der : s.removed)
        EXPECT_EQ(CountInMyStore(der), 0);
    for (const std::string& der : s.kept)
        EXPECT_EQ(CountInMyStore(der), 1);
}

TEST_F(CertStoreTest, UnloadRemovesExactlyTheDefaultProvidersType1Certificates)
{
    UnloadStore s = FillForUnload(kDefaultProvider, L"qvware csp v1.0");
    std::vector<std::string> expected = ExpectedUnloadLines("", kDefaultProvider);
    ResetLog();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ConUnloadIECert(), 0u);
    EXPECT_EQ(LogMessages(), expected);
    ExpectUnloadOutcome(s);

    // A second pass finds nothing more to remove.
    expected = ExpectedUnloadLines("", kDefaultProvider);
    ResetLog();
    EXPECT_EQ(ConUnloadIECert(), 0u);
    EXPECT_EQ(LogMessages(), expected);
    ExpectUnloadOutcome(s);
}

TEST_F(CertStoreTest, UnloadFollowsTheConfiguredProvider)
{
    ConfigureProvider("证书 Csp");
    UnloadStore s = FillForUnload(L"证书 Csp", L"证书 CSP");
    KeyBinding defaultBound;
    defaultBound.provider = kDefaultProvider;
    std::string extra = LoadFixtureCert("tokB_c1_sign.der");
    ASSERT_TRUE(AddToMyStore(extra, &defaultBound));
    s.kept.push_back(extra);

    std::vector<std::string> expected = ExpectedUnloadLines("证书 Csp", L"证书 Csp");
    ResetLog();
    EXPECT_EQ(ConUnloadIECert(), 0u);
    EXPECT_EQ(LogMessages(), expected);
    ExpectUnloadOutcome(s);
}

TEST_F(CertStoreTest, UnloadWithAnOverlongProviderNameRemovesNothing)
{
    ConfigureProvider(std::string(128, 'p'));
    KeyBinding ours;
    ours.provider = kDefaultProvider;
    ASSERT_TRUE(AddToMyStore(signCert, &ours));
    EXPECT_EQ(ConUnloadIECert(), (unsigned)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CountInMyStore(signCert), 1);
    std::vector<std::string> lines = LogMessages();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "ConUnloadIECert begin");
    EXPECT_EQ(lines.back(), "ConUnloadIECert err2 ");
}

TEST_F(CertStoreTest, OperationsLoseNoneOfAThousandUnrelatedCertificates)
{
    std::string base = LoadFixtureCert("cn_ABC.der");
    std::vector<std::string> unrelated = CertVariants(base, 1000);
    KeyBinding other;
    other.container = L"theirs";
    other.provider = L"Microsoft Enhanced Cryptographic Provider v1.0";
    KeyBinding otherType;
    otherType.provider = kDefaultProvider;
    otherType.type = 24;
    ASSERT_TRUE(AddToMyStore(std::vector<std::string>(unrelated.begin(), unrelated.begin() + 400), NULL));
    ASSERT_TRUE(AddToMyStore(std::vector<std::string>(unrelated.begin() + 400, unrelated.begin() + 800), &other));
    ASSERT_TRUE(AddToMyStore(std::vector<std::string>(unrelated.begin() + 800, unrelated.end()), &otherType));
    ASSERT_EQ(ReadMyStore().size(), 1000u);

    EXPECT_EQ(Add("c1", signCert, 2), 0);
    EXPECT_EQ(Add("c1", exchCert, 1), 0);
    EXPECT_EQ(Add("c1", exchCert, 1), 0);
    EXPECT_EQ(Delete(exchCert), 1);
    EXPECT_EQ(ConUnloadIECert(), 0u);

    std::vector<StoreCert> certs = ReadMyStore();
    ASSERT_EQ(certs.size(), 1000u);
    std::vector<std::string> left;
    for (const StoreCert& c : certs)
        left.push_back(c.der);
    std::sort(left.begin(), left.end());
    std::sort(unrelated.begin(), unrelated.end());
    EXPECT_TRUE(left == unrelated);
}

TEST(MultiToWideTest, ConvertsOrRefusesASmallArea)
{
    ResetLog();
    const char text[] = "证书 ok";  // GBK: 4 bytes for two characters, then 3 ASCII
    wchar_t wide[16];
    for (wchar_t& w : wide)
        w = L'#';

    int capacity = 5;  // needs 6 with the terminator
    EXPECT_EQ(MultiToWide(text, wide, &capacity), 0);
    EXPECT_EQ(capacity, 5);
    EXPECT_EQ(wide[0], L'#');
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"MultiToWide  buf small"});

    ResetLog();
    capacity = 6;
    EXPECT_EQ(MultiToWide(text, wide, &capacity), 1);
    EXPECT_EQ(capacity, 6);
    EXPECT_EQ(std::wstring(wide), L"证书 ok");
    EXPECT_EQ(wide[6], L'#');
    EXPECT_EQ(ReadLog(), "");
}

}  // namespace
