// OpenGL error check written after GL calls: a non-zero glGetError() becomes
// one file-log line under the caller's tag; the work goes on.
#pragma once

#include <GL/glew.h>

#include <cstdint>

// Reads glGetError() once; logs "glGetError() = %i (0x%.8x) at %s:%i\n" under
// tag when the code is not 0. Returns the code.
GLenum CheckGLError(const char* tag, const char* file, int line);

// Number of non-zero codes seen since the process started (whatever the log
// level); lets callers tell whether a stretch of drawing was clean.
uint64_t GetGLErrorCount();
// Of those, the GL_OUT_OF_MEMORY codes.
uint64_t GetGLOutOfMemoryCount();

#define ORV_GL_CHECK(tag) CheckGLError((tag), __FILE__, __LINE__)
