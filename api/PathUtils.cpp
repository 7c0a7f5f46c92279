#include "api/PathUtils.h"

#include <sys/time.h>

#include <ctime>
#include <fstream>
#include <mutex>
#include <set>

#include "api/Log.h"
#include "platform/Platform.h"

std::string gOutfileTempDir = "WorkingCopy/";
std::string gFirstSlotImagePath;
const char* const gFirstSlotImageSuffix = "_fsi.png";
const char* const gPathSeparator = "/";
const char* const gOutputVideoSuffix = "_output.avi";

namespace {
// Host strings are at most 1,023 units plus the terminator.
constexpr size_t kMaxWideUnits = 1023;

std::mutex gLinkMutex;
std::set<std::string> gLinksMade;  // link names this process created
}  // namespace

std::string WideToMultiByte(const char16_t* wide) {
  if (!wide) return std::string();
  return platform::WideToNarrow(std::u16string(wide, platform::WideLength(wide, kMaxWideUnits)));
}

std::u16string MultiByteToWide(const char* narrow) {
  if (!narrow) return std::u16string();
  return platform::NarrowToWide(narrow);
}

bool IsReadableFile(std::string path) {
  // Opening a pipe or a device could block: only regular files are tried.
  if (!platform::IsRegularFile(path)) return false;
  std::ifstream in(path, std::ios::binary);
  return in.good();
}

std::string GetTimeStampName() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  std::tm t{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &t);
  return platform::Format("%02d_%02d_%02d_%03d", t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

std::string GetSymbolicName(const char16_t* target) {
  std::string targetPath = target ? platform::Utf16ToUtf8(std::u16string(target, platform::WideLength(target, kMaxWideUnits)))
                                  : std::string();
  std::lock_guard<std::mutex> lock(gLinkMutex);
  const std::string stamp = GetTimeStampName();
  std::string name = stamp + ".symbol";
  // A name taken by someone else's file is never replaced: take the next free one.
  for (int k = 1; platform::PathExists(name); ++k) {
    if (gLinksMade.count(name)) {
      std::remove(name.c_str());
      break;
    }
    name = platform::Format("%s_%d.symbol", stamp.c_str(), k);
  }
  bool made = platform::MakeSymbolicLink(name, targetPath);
  if (made) gLinksMade.insert(name);
  ORV_LOG("GetSymbolicName", "wcsLnkFileName : %s", name.c_str());
  ORV_LOG("GetSymbolicName", "wcsFilePath : %s", targetPath.c_str());
  ORV_LOG("GetSymbolicName", "symlink(\"%s\", \"%s\") : %s", targetPath.c_str(), name.c_str(), made ? "made" : "failed");
  return name;
}

std::string GetReadablePath(const char16_t* wide) {
  std::string narrow = WideToMultiByte(wide);
  if (narrow.empty()) return std::string();
  if (IsReadableFile(narrow)) return narrow;
  // The narrow form does not open: link to the real name when the file exists.
  std::string real = platform::Utf16ToUtf8(std::u16string(wide, platform::WideLength(wide, kMaxWideUnits)));
  if (!platform::IsRegularFile(real)) {
    if (platform::PathExists(real))
      ORV_LOG("GetReadablePath", "Not a regular file, no link made : %s", narrow.c_str());
    else
      ORV_LOG("GetReadablePath", "File does not exist, no link made : %s", narrow.c_str());
    return narrow;
  }
  return GetSymbolicName(wide);
}
