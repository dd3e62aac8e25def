// Helpers shared by the Windows tests: files beside the program, the log, INI files.
#pragma once

#include <string>
#include <vector>

namespace qmtest {

// Directory of the running test program, with its trailing backslash.
std::string ProgramDir();
// The user's Documents folder, without a trailing backslash.
std::string DocumentsDir();

std::string ReadFileBytes(const std::string& path);   // empty when missing
// The CR LF separated lines of a file (none when missing).
std::vector<std::string> ReadLines(const std::string& path);
// Ends every running process with one of these file names (stray agents, stand-ins).
void KillAll(const std::vector<std::string>& exeNames);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void RemoveFile(const std::string& path);

// The log: c:\qvlog present and the file empty, or the folder absent.
extern const char kLogDir[];
extern const char kLogFile[];
void ResetLog();
void RemoveLogDir();
std::string ReadLog();
// The log's entries without their time lines: each message line in order.
std::vector<std::string> LogMessages();

// Writes a whole INI file beside the program (ConfigInfor.ini, openUrlList.ini ...).
void WriteIniBesideProgram(const std::string& fileName, const std::string& text);
void RemoveBesideProgram(const std::string& fileName);

// Bytes as "4B 45 59", for readable failure messages.
std::string Hex(const std::string& bytes);

}  // namespace qmtest
