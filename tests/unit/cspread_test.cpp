// Reading a connected token's CSP data area through the virtual private library,
// hostile areas and lengths included.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "agent/token/cspread.h"
#include "agent/token/prvapi.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const char kFixture[] = "QvPrvApi.ini";
const char kCallLog[] = "QvPrvApi.calls.log";
const int kToken = 2;

// Each call of the virtual library as "name[ id or length pin]", without handles.
std::vector<std::string> Calls()
{
    std::vector<std::string> calls;
    for (const std::string& line : ReadLines(ProgramDir() + kCallLog)) {
        std::vector<std::string> words;
        size_t p = 0;
        while (p < line.size() && words.size() < 4) {
            size_t q = line.find(' ', p);
            words.push_back(line.substr(p, q - p));
            p = q == std::string::npos ? line.size() : q + 1;
        }
        std::string call = words[0];
        if (call == "Usb_ReadCert")
            call += " " + words[2];
        else if (call == "Usb_WriteCspData")
            call += " " + words[2] + " " + words[3];
        calls.push_back(call);
    }
    return calls;
}

class CspReadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreePrvApi();
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
        ASSERT_EQ(LoadPrvApi(), 1);
    }
    void TearDown() override
    {
        Disconnect();
        FreePrvApi();
        RemoveBesideProgram(kFixture);
        RemoveFile(ProgramDir() + kCallLog);
    }
    // Writes token kToken's section and connects it.
    void Token(const std::string& keys)
    {
        Disconnect();
        WriteIniBesideProgram(kFixture, "[token 2]\r\nconnect=1\r\n" + keys);
        RemoveFile(ProgramDir() + kCallLog);
        ASSERT_EQ(g_PrvApi.Usb_Connect(kToken, 0, &g_hPrvToken), 0);
        connected = true;
        RemoveFile(ProgramDir() + kCallLog);
        ResetLog();
    }
    void Disconnect()
    {
        if (connected)
            g_PrvApi.Usb_Disconnect(&g_hPrvToken);
        connected = false;
    }
    // Item of container k into a sentinel-filled field of `capacity` bytes.
    int Read(int k, int item, int capacity = 500)
    {
        memset(field, 0xA5, sizeof field);
        length = -7;
        return CSP_ReadCspInfoUnit(g_hPrvToken, k, item, field, &length, capacity);
    }
    bool FieldUntouched() const
    {
        for (unsigned char b : field)
            if (b != 0xA5)
                return false;
        return length == -7;
    }
    std::string Field() const { return std::string((const char*)field, length > 0 ? length : 0); }
    unsigned int Flag() const
    {
        unsigned int v;
        memcpy(&v, field, 4);
        return v;
    }

    bool connected = false;
    unsigned char field[600];
    int length = 0;
};

TEST_F(CspReadTest, NeverWrittenAreaIsInitialisedOnceWithTheDefaultPin)
{
    Token("");
    unsigned int status = 0xDEADBEEF;
    ASSERT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Usb_ReadCspData", "Usb_WriteCspData 256 538274"}));

    // The library kept the 256 zero bytes: the next read sees a written area.
    RemoveFile(ProgramDir() + kCallLog);
    status = 0xDEADBEEF;
    ASSERT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Usb_ReadCspData"}));
    char csp[1024] = {};
    GetPrivateProfileStringA("token 2", "csp", "", csp, sizeof csp, (ProgramDir() + kFixture).c_str());
    EXPECT_EQ(std::string(csp), std::string(512, '0'));
}

TEST_F(CspReadTest, FailedInitialisingWriteIsNotNoticed)
{
    Token("Usb_WriteCspData.result=0x0A000001\r\n");
    unsigned int status = 0xDEADBEEF;
    EXPECT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 0);
    EXPECT_EQ(status, 0u);
    // A never-written area holds no container: names read as empty.
    EXPECT_EQ(Read(1, 1), 0);
    EXPECT_EQ(length, 0);
}

TEST_F(CspReadTest, LengthZeroWithBytesIsRefusedAndNothingWritten)
{
    // A faulty library that reports 0 for a written area must not get it wiped.
    Token("status=5\r\nc1.name=tokA-c1\r\nUsb_ReadCspData.len=0\r\n");
    unsigned int status = 0xDEADBEEF;
    EXPECT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 1);
    EXPECT_EQ(status, 0xDEADBEEFu);
    EXPECT_EQ(Read(1, 1), 1);
    EXPECT_TRUE(FieldUntouched());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Usb_ReadCspData", "Usb_ReadCspData"}));
    EXPECT_EQ(LogMessages(), std::vector<std::string>(2, "Usb_ReadCspData len err: 0"));
}

TEST_F(CspReadTest, StatusWordIsDeliveredAsStored)
{
    Token("status=0xFFFFFFF5\r\n");
    unsigned int status = 0;
    ASSERT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 0);
    EXPECT_EQ(status, 0xFFFFFFF5u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Usb_ReadCspData"}));
}

TEST_F(CspReadTest, ItemsOfARecord)
{
    Token("status=9\r\nc1.name=tokA-c1\r\nc1.ex=1\r\nc1.sig=0x80000002\r\n"
          "c4.name=" + std::string(51, 'N') + "\r\nc4.ex=3\r\nc4.sig=0x01020304\r\n");
    ASSERT_EQ(Read(1, 1), 0);
    EXPECT_EQ(Field(), "tokA-c1");
    EXPECT_EQ(field[7], 0xA5);  // nothing beyond the name
    ASSERT_EQ(Read(1, 2), 0);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(Flag(), 1u);
    ASSERT_EQ(Read(1, 4), 0);
    EXPECT_EQ(Flag(), 0x80000002u);
    // 51 bytes: the signature flag is in the last four bytes of the last record.
    ASSERT_EQ(Read(4, 1), 0);
    EXPECT_EQ(Field(), std::string(51, 'N'));
    ASSERT_EQ(Read(4, 4), 0);
    EXPECT_EQ(Flag(), 0x01020304u);
    // Every call reads the area again.
    EXPECT_EQ(Calls().size(), 5u);
}

TEST_F(CspReadTest, OtherItemsAndContainersStoreNothing)
{
    Token("status=1\r\nc1.name=tokA-c1\r\nc1.ex=1\r\n");
    const struct {
        int k, item;
    } cases[] = {{1, 3}, {1, 0}, {0, 1}, {5, 1}, {-1, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.k, c.item), 0) << c.k << "/" << c.item;
        EXPECT_TRUE(FieldUntouched()) << c.k << "/" << c.item;
    }
}

TEST_F(CspReadTest, ItemThatDoesNotFitTheDestinationIsRefused)
{
    Token("status=1\r\nc1.name=0123456789\r\nc1.ex=1\r\n");
    EXPECT_EQ(Read(1, 1, 9), 1);
    EXPECT_TRUE(FieldUntouched());
    EXPECT_EQ(Read(1, 2, 3), 1);
    EXPECT_TRUE(FieldUntouched());
    EXPECT_EQ(Read(1, 1, 10), 0);
    EXPECT_EQ(Field(), "0123456789");
}

// Lengths reported by the library outside an area, a failed read and short deliveries:
// both readers refuse, store nothing and say why.
TEST_F(CspReadTest, BadReadsAreRefused)
{
    struct Case {
        const char* keys;
        const char* logLine;  // NULL: nothing in the diagnostic log (the standard output has it)
    } cases[] = {
        {"Usb_ReadCspData.result=0x0A000001\r\n", NULL},
        {"Usb_ReadCspData.len=300\r\n", "Usb_ReadCspData len err: 300"},
        {"Usb_ReadCspData.len=257\r\n", "Usb_ReadCspData len err: 257"},
        {"Usb_ReadCspData.len=-1\r\n", "Usb_ReadCspData len err: -1"},
        {"Usb_ReadCspData.len=0xFFFFFFFF\r\n", "Usb_ReadCspData len err: -1"},
        {"Usb_ReadCspData.len=0x80000000\r\n", "Usb_ReadCspData len err: -2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Token(std::string("status=1\r\nc1.name=tokA-c1\r\nc1.ex=1\r\n") + c.keys);
        unsigned int status = 0xDEADBEEF;
        EXPECT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 1);
        EXPECT_EQ(status, 0xDEADBEEFu);
        EXPECT_EQ(Read(1, 1), 1);
        EXPECT_TRUE(FieldUntouched());
        std::vector<std::string> expected;
        if (c.logLine != NULL)
            expected = {c.logLine, c.logLine};
        EXPECT_EQ(LogMessages(), expected);
        // No write: the area was not reported empty.
        for (const std::string& call : Calls())
            EXPECT_EQ(call, "Usb_ReadCspData");
    }
}

TEST_F(CspReadTest, ShortDeliveryEndsOnlyTheRecordsItCuts)
{
    // 2 bytes: not even a status word.
    Token("status=1\r\nc1.name=tokA-c1\r\nUsb_ReadCspData.deliver=2\r\n");
    unsigned int status = 0xDEADBEEF;
    EXPECT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 1);
    EXPECT_EQ(status, 0xDEADBEEFu);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Usb_ReadCspData len err: 2"}));

    // 100 bytes: record 1 whole, record 2 cut inside its name.
    Token("status=3\r\nc1.name=tokA-c1\r\nc1.ex=1\r\nc2.name=tokA-c2\r\nc2.ex=1\r\n"
          "Usb_ReadCspData.deliver=75\r\n");
    ASSERT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 0);
    EXPECT_EQ(status, 3u);
    EXPECT_EQ(Read(1, 1), 0);
    EXPECT_EQ(Field(), "tokA-c1");
    EXPECT_EQ(Read(2, 1), 1);
    EXPECT_TRUE(FieldUntouched());
    EXPECT_EQ(Read(2, 2), 1);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"CSP container 2 record past data: 75",
                                                       "CSP container 2 record past data: 75"}));
}

TEST_F(CspReadTest, HostileNameLengthsAreRefusedForTheirContainerOnly)
{
    struct Case {
        const char* len;
        const char* logLine;
    } cases[] = {
        {"52", "CSP container 4 name len err: 52"},
        {"-1", "CSP container 4 name len err: -1"},  // 0xFF.. at the last record
        {"0x80000000", "CSP container 4 name len err: -2147483648"},
        {"500", "CSP container 4 name len err: 500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.len);
        Token(std::string("status=9\r\nc1.name=tokA-c1\r\nc1.ex=1\r\nc4.name=tokA-c4\r\nc4.ex=1\r\nc4.len=") + c.len +
              "\r\n");
        for (int item : {1, 2, 4}) {
            EXPECT_EQ(Read(4, item), 1) << item;
            EXPECT_TRUE(FieldUntouched()) << item;
        }
        EXPECT_EQ(LogMessages(), std::vector<std::string>(3, c.logLine));
        EXPECT_EQ(Read(1, 1), 0);
        EXPECT_EQ(Field(), "tokA-c1");
    }
}

TEST_F(CspReadTest, AllOnesAreaRefusesEveryRecord)
{
    Token("csp=" + std::string(512, 'F') + "\r\n");
    unsigned int status = 0;
    ASSERT_EQ(CSP_ReadContainterStaus(g_hPrvToken, &status), 0);
    EXPECT_EQ(status, 0xFFFFFFFFu);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(Read(k, 1), 1) << k;
        EXPECT_TRUE(FieldUntouched()) << k;
    }
}

TEST_F(CspReadTest, NameBytesAreDeliveredVerbatim)
{
    // "%s%n", a lone GBK lead byte and an invalid pair.
    Token("status=1\r\nc1.namehex=2573256E 81 FF80 00 41\r\nc1.ex=1\r\n");
    ASSERT_EQ(Read(1, 1), 0);
    EXPECT_EQ(Field(), std::string("%s%n\x81\xFF\x80\x00\x41", 9));
}

}  // namespace
