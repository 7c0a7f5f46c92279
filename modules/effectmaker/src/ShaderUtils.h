// Static OpenGL helpers shared by every effect: shaders, programs, textures.
#pragma once

#include <GL/glew.h>

#include <opencv2/core.hpp>

#include "GLErrorCheck.h"

class ShaderUtils {
 public:
  // Shader name, or 0 when it does not compile ("Compile Log : %s" logged).
  static GLuint LoadShaderFromSource(GLenum type, const char* source);
  // Program name, or 0 on failure. The shader names are stored in the
  // out-parameters as soon as each exists; the caller deletes them.
  static GLuint CreateProgram(const char* vertexSource, GLuint* vertexShader, const char* fragmentSource,
                              GLuint* fragmentShader);
  // While programs are kept (one context for many scenes), CreateProgram
  // builds a program once per pair of texts and hands the same one out again
  // with its uniforms back at zero, as after linking; callers leave a kept
  // program alone (IsKept). Ending the keeping deletes them, in the current
  // context.
  static void KeepPrograms(bool keep);
  static bool IsKept(GLuint program);

  // New GL_TEXTURE_2D holding the picture (8-bit, 1, 3 or 4 channels; other
  // depths are scaled and grey with alpha becomes BGRA), first row as
  // texture row 0; left bound to the active texture unit.
  static GLuint MatToTexture(const cv::Mat& picture);
  // The picture as MatToTexture can take it: 8-bit, 1, 3 or 4 channels,
  // continuous rows. Returns the picture itself (no copy) when it already is.
  static cv::Mat PrepareForUpload(const cv::Mat& picture);
  // Two-channel grey and alpha as four channels: grey into B, G and R,
  // alpha into A. Same depth.
  static cv::Mat GreyAlphaToBgra(const cv::Mat& picture);
  // An 8-bit BGRA picture laid over black, as a frame shows it: colour
  // times alpha, alpha full. Any other picture, or one with no transparent
  // pixel, is returned as it is.
  static cv::Mat OverBlack(const cv::Mat& picture);

 private:
  // Compiles and links a new program.
  static GLuint BuildProgram(const char* vertexSource, GLuint* vertexShader, const char* fragmentSource,
                             GLuint* fragmentShader);
};
