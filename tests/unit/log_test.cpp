// The diagnostic log's bytes on disk: entries, hex dumps and the size cap.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <string>

#include "agent/shell/log.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLog(); }
    void TearDown() override { ResetLog(); }
};

// "Www Mmm dd hh:mm:ss yyyy"
void ExpectTimeLine(const std::string& line)
{
    ASSERT_EQ(line.size(), 24u) << line;
    static const char* days = "SunMonTueWedThuFriSat";
    EXPECT_NE(std::string(days).find(line.substr(0, 3)), std::string::npos) << line;
    for (int pos : {8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22, 23})
        EXPECT_TRUE(isdigit((unsigned char)line[pos])) << line;
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(atoi(line.substr(20).c_str()), now.wYear);
}

TEST_F(LogTest, EntryIsTimeLineThenMessageWithCrLf)
{
    WriteLog("abc \xD6\xA4\xCA\xE9");
    std::string bytes = ReadLog();
    ASSERT_EQ(bytes.size(), 24u + 2 + 8 + 2);
    ExpectTimeLine(bytes.substr(0, 24));
    EXPECT_EQ(bytes.substr(24), "\r\nabc \xD6\xA4\xCA\xE9\r\n");
}

TEST_F(LogTest, EmptyMessageAndMultiLineMessage)
{
    WriteLogNoCap("");
    WriteLog("one\ntwo");
    std::string bytes = ReadLog();
    ASSERT_EQ(bytes.size(), 26u + 2 + 26 + 10);
    EXPECT_EQ(bytes.substr(24, 4), "\r\n\r\n");
    EXPECT_EQ(bytes.substr(52), "\r\none\r\ntwo\r\n");
}

TEST_F(LogTest, FormatCharactersInAMessageAreWrittenVerbatim)
{
    WriteLog("%s%n%d");
    EXPECT_EQ(ReadLog().substr(26), "%s%n%d\r\n");
}

TEST_F(LogTest, HexDumpLayout)
{
    const std::string indent(12, ' ');
    unsigned char bytes[17];
    for (int i = 0; i < 17; ++i)
        bytes[i] = (unsigned char)(i == 0 ? 0xAB : i);
    struct Case {
        unsigned int length;
        std::string expected;
    } cases[] = {
        {0, indent + "\r\n"},
        {4, indent + "AB 01 02 03 \r\n"},
        {16, indent + "AB 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n" + indent + "\r\n"},
        {17, indent + "AB 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n" + indent + "10 \r\n"},
    };
    for (const Case& c : cases) {
        ResetLog();
        WriteLogHex(bytes, c.length);
        EXPECT_EQ(ReadLog(), c.expected) << "length " << c.length;
    }
}

TEST_F(LogTest, MissingFolderWritesNothingAndCreatesNothing)
{
    RemoveLogDir();
    WriteLog("x");
    WriteLogNoCap("x");
    WriteLogHex("x", 1);
    EXPECT_FALSE(FileExists(kLogDir));
}

// Grows the log to `size` bytes without writing them (a sparse file).
void ExtendLogTo(long long size)
{
    HANDLE h = CreateFileA(kLogFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD ret = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &ret, NULL);
    LARGE_INTEGER pos;
    pos.QuadPart = size;
    ASSERT_TRUE(SetFilePointerEx(h, pos, NULL, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
}

long long LogSize()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(kLogFile, GetFileExInfoStandard, &data))
        return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

TEST_F(LogTest, SizeCap)
{
    // An entry that ends exactly at the cap keeps the file.
    ExtendLogTo(LOG_SIZE_CAP - 29);
    WriteLog("x");
    EXPECT_EQ(LogSize(), LOG_SIZE_CAP);

    // One byte more and the whole file goes, the new entry with it.
    WriteLog("");
    EXPECT_EQ(LogSize(), -1);

    // The next entry starts a new file.
    WriteLog("first");
    EXPECT_EQ(ReadLog().substr(24), "\r\nfirst\r\n");

    // WriteLogNoCap never deletes; the next WriteLog does.
    ExtendLogTo(LOG_SIZE_CAP + 100);
    WriteLogNoCap("still here");
    EXPECT_GT(LogSize(), LOG_SIZE_CAP);
    WriteLog("gone");
    EXPECT_EQ(LogSize(), -1);
}

}  // namespace
