// Where the configuration files lie and the small readers through which the agent
// reads them. Every read opens the file anew (nothing is cached) and nothing is written.
#pragma once

#include <string>

extern const char kDefaultProviderName[];   // "Qvware Csp V1.0"
extern const char kDefaultMonitorName[];    // "plugWatch.exe"

enum {
    PATH_FIELD_BYTES = 512,      // callers' zero-filled path fields
    PROVIDER_FIELD_BYTES = 128,  // provider name: at most 127 bytes
    DOCUMENTS_PATH_MAX = 255     // a composed Documents-folder path
};

// Directory of the running program with its trailing backslash ("" if unknown).
std::string GetProgramDir();
// Program directory + "ConfigInfor.ini".
std::string GetConfigInforPath();
// The user's Documents folder without a trailing backslash ("" when the shell has none).
std::string GetDocumentsDir();

// Reads any key of ConfigInfor.ini without a default; copies the value's bytes (no
// terminator) to the start of the caller's zero-filled field of `capacity` bytes and
// stores their count. A value that does not fit is cut to capacity - 1 bytes and logged.
// Always 0.
int ReadConfigInfor(const char* section, const char* key, char* value, int capacity, int* length);

// Appends [UlibSdkList] path, or "qvkey.ini". Always 1.
int GetKeyListFileName(std::string& name);
// Full path of the per-user token list ("" when it cannot be formed; logged).
// An empty path or prefix means "no such file": callers read and delete nothing.
std::string GetKeyListPath();
// Documents folder + "\QVKEYCERTINFORINKEYNO%d_" ("" when it cannot be formed; logged).
std::string GetKeyCertInfoPrefix(int n);

// Program directory + PlugWatch value (or "plugWatch.exe") into the caller's field of
// `capacity` bytes; stores the whole path's length. Returns the offset at which the
// monitor's name starts. A path that does not fit leaves the field empty, length 0,
// returns -1 and logs it.
int GetMonitorPath(char* path, int capacity, int* length);

// ProviderName (at most capacity - 1 bytes, no terminator) into the zero-filled field:
// 0 with its length, or 1 with length 0 when missing or empty (the caller then uses
// kDefaultProviderName). A longer value is refused, not shortened (certificates must not
// be bound to a name that was never configured): -1, length 0, logged.
int GetProviderName(char* name, int capacity, int* length);
// The same for the unload pass; first logs the ConfigInfor.ini path with WriteLogNoCap.
int GetUnloadProviderName(char* name, int capacity, int* length);

// Full path of the private / standard token library into the caller's zero-filled field.
// Always 1; the field is left empty (and that logged) when the path does not fit.
int GetPrvApiPath(char* path, int capacity);
int GetGmTokApiPath(char* path, int capacity);

// Appends [SmartAPP] FunctionPre, or "SKF". Always 1.
int GetFunctionPre(std::string& prefix);

// Logs the ConfigInfor.ini path; stores AppNum; for AppNum 1 reads AppName into the
// caller's field (at most capacity - 1 bytes). Always 1.
int GetAppInfo(char* name, int capacity, int* nameLength, int* appCount);

// 1 when [SmartAPP] WaitDevice is not 0, else 0; logs the ConfigInfor.ini path first.
int GetWaitDevice();
