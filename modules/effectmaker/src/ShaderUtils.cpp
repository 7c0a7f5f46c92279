#include "ShaderUtils.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "api/Log.h"

namespace {

struct KeptProgram {
  GLuint program = 0;
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
};

bool gKeepPrograms = false;
std::map<std::pair<std::string, std::string>, KeptProgram> gKeptPrograms;

// Every active uniform of program back at zero, as linking leaves them.
void ZeroUniforms(GLuint program) {
  GLint count = 0, maxLength = 0, previous = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
  glGetProgramiv(program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &maxLength);
  glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
  glUseProgram(program);
  std::vector<char> name(static_cast<size_t>(maxLength > 0 ? maxLength : 1) + 1);
  for (GLint u = 0; u < count; ++u) {
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(u), static_cast<GLsizei>(name.size()), nullptr, &size, &type,
                       name.data());
    const GLint at = glGetUniformLocation(program, name.data());
    if (at < 0 || size <= 0) continue;
    const std::vector<GLfloat> f(static_cast<size_t>(size) * 16, 0.0f);
    const std::vector<GLint> i(static_cast<size_t>(size) * 4, 0);
    switch (type) {
      case GL_FLOAT: glUniform1fv(at, size, f.data()); break;
      case GL_FLOAT_VEC2: glUniform2fv(at, size, f.data()); break;
      case GL_FLOAT_VEC3: glUniform3fv(at, size, f.data()); break;
      case GL_FLOAT_VEC4: glUniform4fv(at, size, f.data()); break;
      case GL_FLOAT_MAT2: glUniformMatrix2fv(at, size, GL_FALSE, f.data()); break;
      case GL_FLOAT_MAT3: glUniformMatrix3fv(at, size, GL_FALSE, f.data()); break;
      case GL_FLOAT_MAT4: glUniformMatrix4fv(at, size, GL_FALSE, f.data()); break;
      case GL_INT_VEC2: case GL_BOOL_VEC2: glUniform2iv(at, size, i.data()); break;
      case GL_INT_VEC3: case GL_BOOL_VEC3: glUniform3iv(at, size, i.data()); break;
      case GL_INT_VEC4: case GL_BOOL_VEC4: glUniform4iv(at, size, i.data()); break;
      default: glUniform1iv(at, size, i.data()); break;  // int, bool and samplers
    }
  }
  glUseProgram(static_cast<GLuint>(previous));
  ORV_GL_CHECK("ShaderUtils::CreateProgram");
}

// One log line with the driver's info log, written through the open log file.
void WriteInfoLog(const char* tag, int line, const char* label, const std::vector<char>& text) {
  FILE* file = OpenLogFile();
  if (!file) return;
  WriteLogPrefix(file, tag, line);
  std::fprintf(file, "%s : %s\n", label, text.data());
  std::fclose(file);
}

// Reads the info log of a shader or a program and writes it under label.
void WriteObjectInfoLog(GLuint object, PFNGLGETSHADERIVPROC getParameter, PFNGLGETSHADERINFOLOGPROC getInfoLog,
                        const char* tag, int line, const char* label) {
  GLint length = 0;
  getParameter(object, GL_INFO_LOG_LENGTH, &length);
  ORV_GL_CHECK(tag);
  if (length <= 0) return;
  std::vector<char> text;
  try {
    text.assign(static_cast<size_t>(length) + 1, '\0');
  } catch (const std::bad_alloc&) {
    return;
  }
  getInfoLog(object, length, nullptr, text.data());
  ORV_GL_CHECK(tag);
  WriteInfoLog(tag, line, label, text);
}

// Brings a picture to 8-bit 1, 3 or 4 channels with continuous rows; grey
// with alpha becomes BGRA.
cv::Mat ToUploadable(const cv::Mat& picture) {
  cv::Mat out = picture;
  if (out.depth() != CV_8U) {
    double scale = 1.0;
    if (out.depth() == CV_16U) scale = 1.0 / 257.0;
    else if (out.depth() == CV_32F || out.depth() == CV_64F) scale = 255.0;
    out.convertTo(out, CV_MAKETYPE(CV_8U, out.channels()), scale);
  }
  if (out.channels() == 2) {
    out = ShaderUtils::GreyAlphaToBgra(out);
  } else if (out.channels() > 4) {
    cv::Mat first;
    cv::extractChannel(out, first, 0);
    out = first;
  }
  if (!out.isContinuous()) out = out.clone();
  return out;
}

}  // namespace

GLuint ShaderUtils::LoadShaderFromSource(GLenum type, const char* source) {
  static const char* const kTag = "ShaderUtils::LoadShaderFromSource";
  GLuint shader = glCreateShader(type);
  ORV_GL_CHECK(kTag);
  if (shader == 0) {
    ORV_LOG(kTag, "## Couldn't create a shader of type 0x%.4x", static_cast<unsigned>(type));
    return 0;
  }
  glShaderSource(shader, 1, &source, nullptr);
  ORV_GL_CHECK(kTag);
  glCompileShader(shader);
  ORV_GL_CHECK(kTag);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  ORV_GL_CHECK(kTag);
  if (compiled) return shader;

  WriteObjectInfoLog(shader, glGetShaderiv, glGetShaderInfoLog, kTag, __LINE__, "Compile Log");
  ORV_LOG(kTag, "## Shader compilation failed (type 0x%.4x)", static_cast<unsigned>(type));
  glDeleteShader(shader);
  ORV_GL_CHECK(kTag);
  return 0;
}

void ShaderUtils::KeepPrograms(bool keep) {
  if (!keep && !gKeptPrograms.empty()) {
    for (const auto& kept : gKeptPrograms) {
      const KeptProgram& k = kept.second;
      glDetachShader(k.program, k.vertexShader);
      glDetachShader(k.program, k.fragmentShader);
      glDeleteShader(k.vertexShader);
      glDeleteShader(k.fragmentShader);
      glDeleteProgram(k.program);
    }
    ORV_GL_CHECK("ShaderUtils::KeepPrograms");
    gKeptPrograms.clear();
  }
  gKeepPrograms = keep;
}

bool ShaderUtils::IsKept(GLuint program) {
  if (program == 0) return false;
  for (const auto& kept : gKeptPrograms)
    if (kept.second.program == program) return true;
  return false;
}

GLuint ShaderUtils::CreateProgram(const char* vertexSource, GLuint* vertexShader, const char* fragmentSource,
                                  GLuint* fragmentShader) {
  if (!gKeepPrograms) return BuildProgram(vertexSource, vertexShader, fragmentSource, fragmentShader);
  const auto key = std::make_pair(std::string(vertexSource ? vertexSource : ""),
                                  std::string(fragmentSource ? fragmentSource : ""));
  auto kept = gKeptPrograms.find(key);
  if (kept != gKeptPrograms.end()) {
    ZeroUniforms(kept->second.program);
  } else {
    KeptProgram built;
    built.program = BuildProgram(vertexSource, &built.vertexShader, fragmentSource, &built.fragmentShader);
    // A program that did not build is not kept: the caller cleans up.
    if (built.program == 0) {
      if (vertexShader) *vertexShader = built.vertexShader;
      if (fragmentShader) *fragmentShader = built.fragmentShader;
      return 0;
    }
    kept = gKeptPrograms.emplace(key, built).first;
  }
  if (vertexShader) *vertexShader = kept->second.vertexShader;
  if (fragmentShader) *fragmentShader = kept->second.fragmentShader;
  return kept->second.program;
}

GLuint ShaderUtils::BuildProgram(const char* vertexSource, GLuint* vertexShader, const char* fragmentSource,
                                 GLuint* fragmentShader) {
  static const char* const kTag = "ShaderUtils::CreateProgram";
  GLuint vertex = LoadShaderFromSource(GL_VERTEX_SHADER, vertexSource);
  if (vertexShader) *vertexShader = vertex;
  if (vertex == 0) return 0;
  GLuint fragment = LoadShaderFromSource(GL_FRAGMENT_SHADER, fragmentSource);
  if (fragmentShader) *fragmentShader = fragment;
  if (fragment == 0) return 0;

  GLuint program = glCreateProgram();
  ORV_GL_CHECK(kTag);
  if (program == 0) {
    ORV_LOG(kTag, "## Couldn't create a program");
    return 0;
  }
  glAttachShader(program, vertex);
  ORV_GL_CHECK(kTag);
  glAttachShader(program, fragment);
  ORV_GL_CHECK(kTag);
  glLinkProgram(program);
  ORV_GL_CHECK(kTag);
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  ORV_GL_CHECK(kTag);
  if (linked == GL_TRUE) return program;

  WriteObjectInfoLog(program, glGetProgramiv, glGetProgramInfoLog, kTag, __LINE__, "Linking Log");
  ORV_LOG(kTag, "## Program linking failed");
  glDeleteProgram(program);
  ORV_GL_CHECK(kTag);
  return 0;
}

cv::Mat ShaderUtils::GreyAlphaToBgra(const cv::Mat& picture) {
  cv::Mat bgra(picture.rows, picture.cols, CV_MAKETYPE(picture.depth(), 4));
  const int fromTo[] = {0, 0, 0, 1, 0, 2, 1, 3};
  cv::mixChannels(&picture, 1, &bgra, 1, fromTo, 4);
  return bgra;
}

cv::Mat ShaderUtils::OverBlack(const cv::Mat& picture) {
  if (picture.channels() != 4 || picture.depth() != CV_8U) return picture;
  cv::Mat alpha;
  cv::extractChannel(picture, alpha, 3);
  double least = 255.0;
  cv::minMaxLoc(alpha, &least);
  if (least >= 255.0) return picture;
  cv::Mat weights;
  cv::merge(std::vector<cv::Mat>{alpha, alpha, alpha, cv::Mat(alpha.size(), CV_8U, cv::Scalar(255))}, weights);
  cv::Mat out;
  cv::multiply(picture, weights, out, 1.0 / 255.0);
  out.forEach<cv::Vec4b>([](cv::Vec4b& pixel, const int*) { pixel[3] = 255; });
  return out;
}

GLuint ShaderUtils::MatToTexture(const cv::Mat& picture) {
  static const char* const kTag = "ShaderUtils::MatToTexture";
  GLuint texture = 0;
  glGenTextures(1, &texture);
  ORV_GL_CHECK(kTag);
  glBindTexture(GL_TEXTURE_2D, texture);
  ORV_GL_CHECK(kTag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  ORV_GL_CHECK(kTag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  ORV_GL_CHECK(kTag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  ORV_GL_CHECK(kTag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  ORV_GL_CHECK(kTag);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  ORV_GL_CHECK(kTag);

  if (picture.empty()) {
    // Nothing to show: one fully transparent texel.
    static const unsigned char kClear[4] = {0, 0, 0, 0};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, kClear);
    ORV_GL_CHECK(kTag);
    return texture;
  }

  const cv::Mat data = ToUploadable(picture);
  GLenum source = GL_BGR;
  GLint internal = GL_RGB;
  if (data.channels() == 1) {
    source = GL_LUMINANCE;
    internal = GL_RGB;
  } else if (data.channels() == 4) {
    source = GL_BGRA;
    internal = GL_RGBA;
  }
  glTexImage2D(GL_TEXTURE_2D, 0, internal, data.cols, data.rows, 0, source, GL_UNSIGNED_BYTE, data.data);
  ORV_GL_CHECK(kTag);
  return texture;
}

cv::Mat ShaderUtils::PrepareForUpload(const cv::Mat& picture) {
  if (picture.empty()) return picture;
  cv::Mat out = picture;
  switch (out.depth()) {
    case CV_8U:
      break;
    case CV_8S:
      out.convertTo(out, CV_8U, 1.0, 128.0);
      break;
    case CV_16U:
      out.convertTo(out, CV_8U, 1.0 / 257.0);
      break;
    case CV_16S:
      out.convertTo(out, CV_8U, 1.0 / 257.0, 128.0);
      break;
    case CV_32F:
    case CV_64F:
      out.convertTo(out, CV_8U, 255.0);
      break;
    default: {
      cv::Mat wide;
      out.convertTo(wide, CV_32F);
      if (picture.depth() == CV_32S) {
        wide.convertTo(out, CV_8U, 1.0 / 16843009.0, 128.0);
      } else {
        wide.convertTo(out, CV_8U, 255.0);
      }
      break;
    }
  }
  const int channels = out.channels();
  if (channels == 2) {
    out = GreyAlphaToBgra(out);
  } else if (channels > 4) {
    cv::Mat bgr(out.rows, out.cols, CV_8UC3);
    const int fromTo[] = {0, 0, 1, 1, 2, 2};
    cv::mixChannels(&out, 1, &bgr, 1, fromTo, 3);
    out = bgr;
  }
  if (!out.isContinuous()) out = out.clone();
  return out;
}
