#include "GLErrorCheck.h"

#include <atomic>
#include <cstring>
#include <string>

#include "api/Log.h"

namespace {

std::atomic<uint64_t> gGLErrorCount{0};
std::atomic<uint64_t> gGLOutOfMemoryCount{0};

// Source path relative to the library's top folder, as "../modules/...".
std::string SourcePath(const char* file) {
  if (!file) return std::string();
  static const char* const kRoots[] = {"/modules/", "/fxcontroller/"};
  for (const char* root : kRoots) {
    const char* at = std::strstr(file, root);
    if (at) return std::string("..") + at;
  }
  return std::string(file);
}

}  // namespace

GLenum CheckGLError(const char* tag, const char* file, int line) {
  const GLenum code = glGetError();
  if (code != GL_NO_ERROR) {
    gGLErrorCount.fetch_add(1, std::memory_order_relaxed);
    if (code == GL_OUT_OF_MEMORY) gGLOutOfMemoryCount.fetch_add(1, std::memory_order_relaxed);
    WriteFileLog(tag, line, "glGetError() = %i (0x%.8x) at %s:%i\n", static_cast<int>(code),
                 static_cast<unsigned>(code), SourcePath(file).c_str(), line);
  }
  return code;
}

uint64_t GetGLErrorCount() { return gGLErrorCount.load(std::memory_order_relaxed); }

uint64_t GetGLOutOfMemoryCount() { return gGLOutOfMemoryCount.load(std::memory_order_relaxed); }
