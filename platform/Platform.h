// Small stand-in for the operating-system services the library needs:
// debugger output, code-page conversion, symbolic links, file copy, sleep.
#pragma once

#include <cstdarg>
#include <string>

namespace platform {

// Debugger output. Silent unless REELKA_DEBUG_OUTPUT names "stderr" or a
// file path; tests can capture everything written while capture is on.
void DebugOutput(const char* text);
void SetDebugCapture(bool on);
std::string TakeDebugCapture();

// The narrow ("ANSI") code page. UTF-8 by default; a single-byte Latin-1
// page can be switched on so that characters outside it fail to convert.
enum class CodePage { Utf8, Latin1 };
void SetNarrowCodePage(CodePage page);
CodePage GetNarrowCodePage();

// UTF-16 to the narrow page. Characters the page cannot hold (and unpaired
// surrogates) become '?' and clear *lossless when given.
std::string WideToNarrow(const std::u16string& wide, bool* lossless = nullptr);
// Narrow page to UTF-16; invalid bytes become U+FFFD.
std::u16string NarrowToWide(const std::string& narrow);
// UTF-8 <-> UTF-16, independent of the narrow page.
std::string Utf16ToUtf8(const std::u16string& wide);
std::u16string Utf8ToUtf16(const std::string& utf8);

// Length of a terminated UTF-16 string, reading at most max units.
size_t WideLength(const char16_t* s, size_t max);
// Copies src into a fixed field of `capacity` units, always terminated.
// Returns false (and writes an empty string) when src does not fit.
bool CopyWideField(char16_t* dst, size_t capacity, const std::u16string& src);

bool MakeSymbolicLink(const std::string& linkPath, const std::string& targetPath);
// Copies a file through a temporary sibling and a rename, so the
// destination is either the old file or the complete new one.
bool CopyFileAtomic(const std::string& from, const std::string& to);
// Writes size bytes to path through "<path>~tmp", created anew and renamed
// over path: a symbolic link at either name is replaced, never written
// through.
bool WriteNewFile(const std::string& path, const void* data, size_t size);
// Makes path a new, empty regular file of this process, kept open: a
// write-only descriptor, -1 when the name cannot be taken. Whatever the name
// held (a link too) is removed first.
int OpenNewFile(const std::string& path);
bool IsRegularFile(const std::string& path);
bool PathExists(const std::string& path);
bool SameFile(const std::string& a, const std::string& b);
void SleepMs(int ms);
// Processors this process may run on (its affinity mask), at least 1.
int UsableProcessors();

// printf-style formatting into std::string.
std::string FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
