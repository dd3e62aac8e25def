// Fuzzes the log's layout functions with arbitrary time fields and dump bytes.
#include <stdint.h>
#include <string.h>

#include "agent/shell/loglayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    struct tm t = {};
    int fields[9] = {};
    size_t take = size < sizeof fields ? size : sizeof fields;
    if (take > 0)
        memcpy(fields, data, take);
    t.tm_sec = fields[0];
    t.tm_min = fields[1];
    t.tm_hour = fields[2];
    t.tm_mday = fields[3];
    t.tm_mon = fields[4];
    t.tm_year = fields[5];
    t.tm_wday = fields[6];
    char line[LOG_TIME_LINE_CAPACITY];
    FormatLogTimeLine(t, line);
    if (strlen(line) >= LOG_TIME_LINE_CAPACITY)
        __builtin_trap();
    std::string dump = FormatLogHexDump(data, size);
    if (dump.size() != 12 + size * 3 + (size / 16) * 13 + 1)
        __builtin_trap();
    return 0;
}
