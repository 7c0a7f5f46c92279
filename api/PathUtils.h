// Host (UTF-16) paths to narrow paths that open, with a symbolic-link fallback.
#pragma once

#include <string>

// Process-wide working-file names.
extern std::string gOutfileTempDir;        // "WorkingCopy/" until a start pass
extern std::string gFirstSlotImagePath;    // set by the first written frame
extern const char* const gFirstSlotImageSuffix;  // "_fsi.png"
extern const char* const gPathSeparator;         // "/"
extern const char* const gOutputVideoSuffix;     // "_output.avi"

std::string WideToMultiByte(const char16_t* wide);
std::u16string MultiByteToWide(const char* narrow);
// A narrow path that opens, or the name of a ".symbol" link to the file;
// "" for an empty path. No link is made for a file that does not exist.
std::string GetReadablePath(const char16_t* wide);
bool IsReadableFile(std::string path);
std::string GetTimeStampName();
std::string GetSymbolicName(const char16_t* target);
