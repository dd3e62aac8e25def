// Layout of the diagnostic log's entries, kept free of windows.h so that it also
// builds natively.
#pragma once

#include <stddef.h>
#include <time.h>

#include <string>

enum { LOG_TIME_LINE_CAPACITY = 40 };

// The time line that starts an entry, asctime style but with a two-digit day:
// "Tue Dec 09 08:05:31 2025\n". Fields out of range print as "???" or their number.
void FormatLogTimeLine(const struct tm& t, char out[LOG_TIME_LINE_CAPACITY]);

// A hex dump as the log stores it (before the file's newline translation): a
// 12-blank indent, "%02X " per byte, a new indented line after every 16th byte,
// and one closing newline.
std::string FormatLogHexDump(const unsigned char* bytes, size_t length);
