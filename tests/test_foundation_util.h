// Helpers for the boundary tests: temp folders and reading the file log.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "api/Log.h"
#include "platform/Platform.h"

namespace testutil {

// A fresh folder under /tmp with "work/" and, optionally, a sibling "Logs/".
struct TempRun {
  std::string root;
  std::string work;
  explicit TempRun(bool withLogs = true) {
    char tmpl[] = "/tmp/reelka_test_XXXXXX";
    root = mkdtemp(tmpl);
    work = root + "/work/";
    std::system(("mkdir -p '" + work + "'").c_str());
    if (withLogs) std::system(("mkdir -p '" + root + "/Logs'").c_str());
  }
  ~TempRun() { std::system(("rm -rf '" + root + "'").c_str()); }
  std::u16string WorkWide() const { return platform::Utf8ToUtf16(work); }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::string ReadLog() { return ReadFile(GetLogFilePath()); }

// Runs a body with the current folder switched to dir.
struct ScopedCwd {
  std::string old;
  explicit ScopedCwd(const std::string& dir) {
    char buf[4096];
    old = getcwd(buf, sizeof(buf)) ? buf : ".";
    if (chdir(dir.c_str()) != 0) old.clear();
  }
  ~ScopedCwd() {
    if (!old.empty() && chdir(old.c_str()) != 0) {
    }
  }
};

}  // namespace testutil
