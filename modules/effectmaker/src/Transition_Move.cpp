#include "Transition_Move.h"

namespace {

const char* const kCore =
    "uniform int swap;\n"
    "uniform vec2 slideAmount;\n"
    "vec2 xlat_lib_saturate(vec2 x)\n"
    "{\n"
    "    return clamp(x, 0.0, 1.0);\n"
    "}\n"
    "vec4 Move(vec2 uv, float p)\n"
    "{\n"
    "    vec2 s = uv + slideAmount * p;\n"
    "    vec2 clamped = xlat_lib_saturate(s) - s;\n"
    "    if (clamped.x != 0.0 || clamped.y != 0.0) {\n"
    "        s = fract(s);\n"
    "        if (swap == 1)\n"
    "            return reaching(s);\n"
    "        return leaving(s);\n"
    "    }\n"
    "    if (swap == 1)\n"
    "        return leaving(s);\n"
    "    return reaching(s);\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = Move(v_texCoord, progress / 100.000);\n"
    "}\n";

}  // namespace

const char* Transition_Move::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}

void Transition_Move::LookUpAfterProgress(GLuint program, const char* tag) {
  QUAD_GL(mSwap = glGetUniformLocation(program, "swap"));
  QUAD_GL(mSlideAmount = glGetUniformLocation(program, "slideAmount"));
}

void Transition_Move::SetUpOnce(Direction, const float* effectOption, const char* tag) {
  mRow = RowFor(ReadOption(effectOption, tag));
  QUAD_GL(glUniform1i(mSwap, mRow.swap));
  QUAD_GL(glUniform2f(mSlideAmount, mRow.slideX, mRow.slideY));
}
