// The diagnostic log "c:\qvlog\Quillmere.log": the agent's only diagnostic channel.
// Each call opens, appends and closes, so entries survive a crash and other programs
// can read the file meanwhile. Failures are silent.
#pragma once

// Size above which WriteLog deletes the whole file (100 MiB).
#define LOG_SIZE_CAP 104857600LL

// Appends "time line + message + newline", then deletes the file when it grew past the cap.
void WriteLog(const char* message);
// Appends an entry without looking at the size.
void WriteLogNoCap(const char* message);
// Appends a hex dump of the bytes (no time line).
void WriteLogHex(const void* bytes, unsigned int length);
// WriteLog of a printf-style line; the text is cut at 2047 bytes. Callers pass names
// read from tokens only as arguments, never as the format.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
