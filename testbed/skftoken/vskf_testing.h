// For the agent's tests: the virtual standard token library's fixture beside the test
// program (bin\GmTokApiHID.ini) and its call log (bin\GmTokApiHID.calls.log).
#pragma once

#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace qmtest {

inline const char* VskfFixtureName() { return "GmTokApiHID.ini"; }
inline std::string VskfCallLogPath() { return ProgramDir() + "GmTokApiHID.calls.log"; }

// The fixture (one INI text) and an empty call log; the variants read the same fixture.
inline void WriteVskfFixture(const std::string& text)
{
    WriteIniBesideProgram(VskfFixtureName(), text);
    RemoveFile(VskfCallLogPath());
    SetEnvironmentVariableA("QM_VSKF_FIXTURE", (ProgramDir() + VskfFixtureName()).c_str());
}

inline void RemoveVskfFixture()
{
    RemoveBesideProgram(VskfFixtureName());
    RemoveFile(VskfCallLogPath());
    SetEnvironmentVariableA("QM_VSKF_FIXTURE", NULL);
}

inline std::vector<std::string> VskfLogLines()
{
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(VskfCallLogPath());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The calls in order, as the library logged them, without the times of the size queries.
inline std::vector<std::string> VskfCalls()
{
    std::vector<std::string> calls;
    for (std::string line : VskfLogLines()) {
        size_t at = line.find(" @");
        if (at != std::string::npos)
            line.erase(at);
        calls.push_back(line);
    }
    return calls;
}

// GetTickCount of each SKF_EnumDev size query.
inline std::vector<unsigned long> VskfQueryTicks()
{
    std::vector<unsigned long> ticks;
    for (const std::string& line : VskfLogLines()) {
        size_t at = line.find(" @");
        if (line.compare(0, 8, "EnumDev ") == 0 && at != std::string::npos)
            ticks.push_back(strtoul(line.c_str() + at + 2, NULL, 10));
    }
    return ticks;
}

}  // namespace qmtest
