#include "api/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/Platform.h"

std::atomic<int> gLogLevel{1};

namespace {
std::mutex gLogPathMutex;
std::string gLogFilePath;
std::string gUnwritableReported;  // the last log path said to be unwritable

bool LocalNow(std::tm& out) {
  std::time_t now = std::time(nullptr);
  return localtime_r(&now, &out) != nullptr;
}
}  // namespace

bool IsFileLogOn() { return gLogLevel.load() >= 2; }

std::string GetLogFilePath() {
  std::lock_guard<std::mutex> lock(gLogPathMutex);
  return gLogFilePath;
}

// Said once a log file on the error stream: a log that cannot be written
// costs its lines, never the pass.
void ReportUnwritable(const std::string& path, const char* why) {
  {
    std::lock_guard<std::mutex> lock(gLogPathMutex);
    if (gUnwritableReported == path) return;
    gUnwritableReported = path;
  }
  const std::string line = "Reelka: log file \"" + path + "\" cannot be written (" + why + "); no log is written\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

FILE* OpenLogFile() {
  if (!IsFileLogOn()) return nullptr;
  std::string path = GetLogFilePath();
  if (path.empty()) return nullptr;
  // Never appended through a link planted at the name, never waiting on a
  // pipe or a device: only a regular file is written.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    // Without a log folder the log is off.
    // A pipe without a reader fails with ENXIO.
    if (errno != ENOENT)
      ReportUnwritable(path, errno == ELOOP ? "a link" : errno == ENXIO ? "not a regular file" : std::strerror(errno));
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    ReportUnwritable(path, "not a regular file");
    return nullptr;
  }
  FILE* file = ::fdopen(fd, "ab");
  if (!file) ::close(fd);
  return file;
}

void WriteLogPrefix(FILE* file, const char* tag, int line) {
  if (!file) return;
  std::tm t{};
  LocalNow(t);
  std::fprintf(file, "[%04d-%02d-%02d, %02d:%02d:%02d][%s][%d] \t", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
               t.tm_hour, t.tm_min, t.tm_sec, tag ? tag : "", line);
}

void WriteFileLog(const char* tag, int line, const char* format, ...) {
  if (!IsFileLogOn()) return;
  va_list args;
  va_start(args, format);
  std::string message = platform::FormatV(format, args);
  va_end(args);
  FILE* f = OpenLogFile();
  if (!f) return;
  WriteLogPrefix(f, tag, line);
  std::fwrite(message.data(), 1, message.size(), f);
  std::fputc('\n', f);
  std::fclose(f);
}

void DebugPrint(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (n < 0) buffer[0] = 0;
  platform::DebugOutput(buffer);
}

void SetLogFileName(const char16_t* directory) {
  std::tm t{};
  LocalNow(t);
  std::string prefix;
  if (directory && *directory) prefix = platform::WideToNarrow(directory);
  std::string path = platform::Format("%s%04d-%02d-%02d-%02d%02d%02d_reelka.txt", prefix.c_str(), t.tm_year + 1900,
                                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  std::lock_guard<std::mutex> lock(gLogPathMutex);
  gLogFilePath = path;
}

void InitLog(const std::u16string& tempDirPath) {
  std::u16string directory = tempDirPath + u"../Logs/";
  SetLogFileName(directory.c_str());
  gLogLevel = 2;
}
