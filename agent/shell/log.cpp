#include "agent/shell/log.h"

#include <windows.h>

#include <share.h>
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#include <string>

#include "agent/shell/loglayout.h"

static const char kLogPath[] = "c:\\qvlog\\Quillmere.log";

// Text mode turns each newline into CR LF; shared so other programs may read and write.
static FILE* OpenLogForAppend()
{
    return _fsopen(kLogPath, "a+", _SH_DENYNO);
}

static void AppendEntry(const char* message)
{
    FILE* file = OpenLogForAppend();
    if (file == NULL)
        return;
    time_t now = time(NULL);
    struct tm local = {};
    const struct tm* lt = localtime(&now);
    if (lt != NULL)
        local = *lt;
    char timeLine[LOG_TIME_LINE_CAPACITY];
    FormatLogTimeLine(local, timeLine);
    fputs(timeLine, file);
    fputs(message != NULL ? message : "", file);
    fputc('\n', file);
    fclose(file);
}

void WriteLog(const char* message)
{
    AppendEntry(message);

    FILE* file = _fsopen(kLogPath, "rb", _SH_DENYNO);
    if (file == NULL)
        return;
    long long size = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        size = _ftelli64(file);
    fclose(file);
    // No rotation: the old entries and this one go, the next entry starts a new file.
    if (size > LOG_SIZE_CAP)
        DeleteFileA(kLogPath);
}

void WriteLogNoCap(const char* message)
{
    AppendEntry(message);
}

void WriteLogHex(const void* bytes, unsigned int length)
{
    FILE* file = OpenLogForAppend();
    if (file == NULL)
        return;
    std::string dump = FormatLogHexDump(static_cast<const unsigned char*>(bytes), bytes ? length : 0);
    fwrite(dump.data(), 1, dump.size(), file);
    fclose(file);
}

void WriteLogF(const char* format, ...)
{
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    line[sizeof line - 1] = '\0';
    WriteLog(line);
}
