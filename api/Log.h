// File log and debugger output.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

// 1 at load; 2 once a start pass has switched the file log on.
extern std::atomic<int> gLogLevel;

// Writes one file-log line: header, message, "\n". Does nothing below
// level 2; a file that cannot be opened drops the line.
void WriteFileLog(const char* tag, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));
#define ORV_LOG(tag, ...) WriteFileLog(tag, __LINE__, __VA_ARGS__)

// Writes the header of a log line into an already opened log file.
void WriteLogPrefix(FILE* file, const char* tag, int line);
// Opens the current log file for appending, or null when the log is off.
FILE* OpenLogFile();

bool IsFileLogOn();
// Current log file path (narrow).
std::string GetLogFilePath();

// Debugger output: formatted into at most 4,096 bytes.
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Switches the file log on and starts a new file under tempDir + "../Logs/".
void InitLog(const std::u16string& tempDirPath);
void SetLogFileName(const char16_t* directory);
