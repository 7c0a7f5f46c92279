#include "platform/Platform.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {
std::mutex gDebugMutex;
bool gDebugCapture = false;
std::string gDebugCaptured;
std::atomic<CodePage> gCodePage{CodePage::Utf8};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// Decodes UTF-16 into code points; unpaired surrogates give 0xFFFFFFFF.
std::vector<char32_t> DecodeUtf16(const std::u16string& s) {
  std::vector<char32_t> cps;
  cps.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        cps.push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
        ++i;
      } else {
        cps.push_back(0xFFFFFFFFu);
      }
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      cps.push_back(0xFFFFFFFFu);
    } else {
      cps.push_back(u);
    }
  }
  return cps;
}
}  // namespace

void DebugOutput(const char* text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(gDebugMutex);
  if (gDebugCapture) gDebugCaptured += text;
  const char* target = std::getenv("REELKA_DEBUG_OUTPUT");
  if (!target || !*target) return;
  if (std::strcmp(target, "stderr") == 0) {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    return;
  }
  if (FILE* f = std::fopen(target, "ab")) {
    std::fputs(text, f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

void SetDebugCapture(bool on) {
  std::lock_guard<std::mutex> lock(gDebugMutex);
  gDebugCapture = on;
  gDebugCaptured.clear();
}

std::string TakeDebugCapture() {
  std::lock_guard<std::mutex> lock(gDebugMutex);
  std::string out;
  out.swap(gDebugCaptured);
  return out;
}

void SetNarrowCodePage(CodePage page) { gCodePage = page; }
CodePage GetNarrowCodePage() { return gCodePage; }

std::string Utf16ToUtf8(const std::u16string& wide) {
  std::string out;
  for (char32_t cp : DecodeUtf16(wide)) AppendUtf8(out, cp == 0xFFFFFFFFu ? 0xFFFD : cp);
  return out;
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    char32_t cp = 0;
    bool ok = len > 0 && i + len <= s.size();
    if (ok) {
      cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
      for (int k = 1; k < len; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) { ok = false; break; }
        cp = (cp << 6) | (cc & 0x3F);
      }
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    if (ok && ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
               (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
      ok = false;
    if (!ok) {
      AppendUtf16(out, 0xFFFD);
      ++i;
      continue;
    }
    AppendUtf16(out, cp);
    i += len;
  }
  return out;
}

std::string WideToNarrow(const std::u16string& wide, bool* lossless) {
  if (lossless) *lossless = true;
  std::string out;
  const bool latin1 = gCodePage == CodePage::Latin1;
  for (char32_t cp : DecodeUtf16(wide)) {
    bool bad = cp == 0xFFFFFFFFu || (latin1 && cp > 0xFF);
    if (bad) {
      if (lossless) *lossless = false;
      out += '?';
    } else if (latin1) {
      out += static_cast<char>(cp);
    } else {
      AppendUtf8(out, cp);
    }
  }
  return out;
}

std::u16string NarrowToWide(const std::string& narrow) {
  if (gCodePage == CodePage::Latin1) {
    std::u16string out;
    for (unsigned char c : narrow) out += static_cast<char16_t>(c);
    return out;
  }
  return Utf8ToUtf16(narrow);
}

size_t WideLength(const char16_t* s, size_t max) {
  if (!s) return 0;
  size_t n = 0;
  while (n < max && s[n] != 0) ++n;
  return n;
}

bool CopyWideField(char16_t* dst, size_t capacity, const std::u16string& src) {
  if (!dst || capacity == 0) return false;
  if (src.size() >= capacity) {
    dst[0] = 0;
    return false;
  }
  std::memcpy(dst, src.data(), src.size() * sizeof(char16_t));
  dst[src.size()] = 0;
  return true;
}

bool MakeSymbolicLink(const std::string& linkPath, const std::string& targetPath) {
  return ::symlink(targetPath.c_str(), linkPath.c_str()) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A new file at name, never through a link: an existing name is removed
// (not what it points to) and the create retried once.
int OpenNewFile(const std::string& name) {
  if (name.empty()) return -1;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(name.c_str(), flags, 0666);
  if (fd < 0 && errno == EEXIST && ::unlink(name.c_str()) == 0) fd = ::open(name.c_str(), flags, 0666);
  return fd;
}

bool WriteNewFile(const std::string& path, const void* data, size_t size) {
  if (path.empty()) return false;
  const std::string tmp = path + "~tmp";
  const int fd = OpenNewFile(tmp);
  if (fd < 0) return false;
  const char* bytes = static_cast<const char*>(data);
  bool ok = true;
  for (size_t done = 0; ok && done < size;) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool CopyFileAtomic(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !IsRegularFile(from)) return false;
  if (SameFile(from, to)) return false;
  FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  // A unique sibling: no existing file is ever touched but the destination.
  // It is made with mode 0666 so that the umask applies, as to any new file;
  // a file it replaces passes on its permissions.
  std::string tmp;
  int fd = -1;
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = Format("%s.%d.%u.tmp", to.c_str(), static_cast<int>(::getpid()), counter++);
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  struct stat old;
  if (fd >= 0 && ::stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 0777);
  FILE* out = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (!out) {
    if (fd >= 0) {
      ::close(fd);
      std::remove(tmp.c_str());
    }
    std::fclose(in);
    return false;
  }
  std::vector<char> buf(1 << 20);
  bool ok = true;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
    if (std::fwrite(buf.data(), 1, n, out) != n) {
      ok = false;
      break;
    }
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fflush(out) != 0) ok = false;
  if (::fsync(fileno(out)) != 0 && errno != EINVAL) ok = false;
  if (std::fclose(out) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), to.c_str()) != 0) ok = false;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(cores) : 1;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string FormatV(const char* format, va_list args) {
  if (!format) return std::string();
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatV(format, args);
  va_end(args);
  return out;
}

}  // namespace platform
