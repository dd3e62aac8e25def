// The log's time line and hex dump layout, natively.
#include <gtest/gtest.h>

#include <string.h>

#include "agent/shell/loglayout.h"

TEST(LogLayout, TimeLineHasATwoDigitDay)
{
    struct tm t = {};
    t.tm_wday = 2;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 8;
    t.tm_min = 5;
    t.tm_sec = 31;
    t.tm_year = 125;
    char line[LOG_TIME_LINE_CAPACITY];
    FormatLogTimeLine(t, line);
    EXPECT_STREQ(line, "Tue Dec 09 08:05:31 2025\n");
}

TEST(LogLayout, TimeLineWithFieldsOutOfRangeStaysInItsBuffer)
{
    struct tm t = {};
    t.tm_wday = -1;
    t.tm_mon = 12;
    t.tm_mday = -2147483647 - 1;
    t.tm_hour = 2147483647;
    t.tm_year = 2147483647;
    char line[LOG_TIME_LINE_CAPACITY];
    FormatLogTimeLine(t, line);
    EXPECT_LT(strlen(line), (size_t)LOG_TIME_LINE_CAPACITY);
    EXPECT_EQ(std::string(line, 8), "??? ??? ");
}

TEST(LogLayout, HexDump)
{
    const unsigned char bytes[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(FormatLogHexDump(bytes, 4), "            01 02 03 04 \n");
    EXPECT_EQ(FormatLogHexDump(nullptr, 0), "            \n");
    unsigned char many[32];
    for (int i = 0; i < 32; ++i)
        many[i] = (unsigned char)(0xF0 + (i & 15));
    std::string line = "            F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF \n";
    EXPECT_EQ(FormatLogHexDump(many, 32), line + line + "            \n");
}
