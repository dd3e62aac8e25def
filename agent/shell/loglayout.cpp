#include "agent/shell/loglayout.h"

#include <stdio.h>

static const char kIndent[] = "            ";  // 12 blanks
static const char kDigits[] = "0123456789ABCDEF";

void FormatLogTimeLine(const struct tm& t, char out[LOG_TIME_LINE_CAPACITY])
{
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = (t.tm_wday >= 0 && t.tm_wday < 7) ? kDays[t.tm_wday] : "???";
    const char* month = (t.tm_mon >= 0 && t.tm_mon < 12) ? kMonths[t.tm_mon] : "???";
    snprintf(out, LOG_TIME_LINE_CAPACITY, "%.3s %.3s %02d %02d:%02d:%02d %lld\n", day, month,
             t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 1900LL + t.tm_year);
}

std::string FormatLogHexDump(const unsigned char* bytes, size_t length)
{
    std::string text;
    text.reserve(12 + length * 3 + (length / 16) * 13 + 1);
    text += kIndent;
    int onLine = 0;
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
        text += ' ';
        if (++onLine == 16) {
            text += '\n';
            text += kIndent;
            onLine = 0;
        }
    }
    text += '\n';
    return text;
}
