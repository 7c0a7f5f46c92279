// The full-screen quad of the quad effects and their shared vertex shader.
#pragma once

#include <GL/glew.h>

namespace orv_quad {

// Four vertices of (x, y, z, u, v); v = 0 is the top edge, so a picture
// uploaded top row first stands upright. Both triangles wind counter-clockwise.
inline const GLfloat kVertices[20] = {
    -1.0f, 1.0f,  0.0f, 0.0f, 0.0f,  //
    -1.0f, -1.0f, 0.0f, 0.0f, 1.0f,  //
    1.0f,  -1.0f, 0.0f, 1.0f, 1.0f,  //
    1.0f,  1.0f,  0.0f, 1.0f, 0.0f,  //
};
constexpr GLsizei kStride = 5 * sizeof(GLfloat);

inline const char* const kVertexShader =
    "attribute vec4 vPosition;\n"
    "attribute vec2 a_texCoord;\n"
    "varying vec2 v_texCoord;\n"
    "void main()\n"
    "{\n"
    "    gl_Position = vPosition;\n"
    "    v_texCoord = a_texCoord;\n"
    "}\n";

}  // namespace orv_quad
