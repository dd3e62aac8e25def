#include "tests/support/testsupport.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <stdio.h>

namespace qmtest {

const char kLogDir[] = "c:\\qvlog";
const char kLogFile[] = "c:\\qvlog\\Quillmere.log";

std::string ProgramDir()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path);
    size_t cut = s.find_last_of('\\');
    return cut == std::string::npos ? std::string() : s.substr(0, cut + 1);
}

std::string DocumentsDir()
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, 0, path);
    std::string s(path);
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    return s;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(path);
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

void KillAll(const std::vector<std::string>& exeNames)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        for (const std::string& name : exeNames) {
            if (lstrcmpiA(entry.szExeFile, name.c_str()) != 0)
                continue;
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (process != NULL) {
                TerminateProcess(process, 9);
                WaitForSingleObject(process, 10000);
                CloseHandle(process);
            }
        }
    }
    CloseHandle(snapshot);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::string& path)
{
    DeleteFileA(path.c_str());
}

void ResetLog()
{
    CreateDirectoryA(kLogDir, NULL);
    DeleteFileA(kLogFile);
}

void RemoveLogDir()
{
    DeleteFileA(kLogFile);
    RemoveDirectoryA(kLogDir);
}

std::string ReadLog()
{
    return ReadFileBytes(kLogFile);
}

static bool IsTimeLine(const std::string& line)
{
    // "Tue Dec 09 08:05:31 2025"
    return line.size() == 24 && line[3] == ' ' && line[7] == ' ' && line[10] == ' ' && line[13] == ':' &&
           line[16] == ':' && line[19] == ' ';
}

std::vector<std::string> LogMessages()
{
    std::vector<std::string> lines;
    for (const std::string& line : ReadLines(kLogFile))
        if (!IsTimeLine(line))
            lines.push_back(line);
    return lines;
}

void WriteIniBesideProgram(const std::string& fileName, const std::string& text)
{
    WriteFileBytes(ProgramDir() + fileName, text);
    // The profile functions may cache a file; flush that cache so the new text is read.
    WritePrivateProfileStringA(NULL, NULL, NULL, (ProgramDir() + fileName).c_str());
}

void RemoveBesideProgram(const std::string& fileName)
{
    DeleteFileA((ProgramDir() + fileName).c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, (ProgramDir() + fileName).c_str());
}

std::string Hex(const std::string& bytes)
{
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : bytes) {
        if (!s.empty())
            s += ' ';
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

}  // namespace qmtest
