#include "Transition_Swirl.h"

namespace {

const char* const kCore =
    "uniform float twistAmount; // - clockwise, + anticlockwise\n"
    "void xlat_lib_sincos(float x, out float s, out float c)\n"
    "{\n"
    "    s = sin(x);\n"
    "    c = cos(x);\n"
    "}\n"
    "vec2 xlat_lib_saturate(vec2 x)\n"
    "{\n"
    "    return clamp(x, 0.0, 1.0);\n"
    "}\n"
    "vec4 SampleWithBorder(vec4 border, vec2 uv)\n"
    "{\n"
    "    vec2 clamped = xlat_lib_saturate(uv) - uv;\n"
    "    if (clamped.x != 0.0 || clamped.y != 0.0)\n"
    "        return border;\n"
    "    return leaving(uv);\n"
    "}\n"
    "vec4 Swirl(vec2 uv, float p)\n"
    "{\n"
    "    if (p >= 1.0)\n"
    "        return reaching(uv);\n"
    "    vec2 c = vec2(0.5, 0.5);\n"
    "    vec2 t = uv - c;\n"
    "    float d = length(t);\n"
    "    vec2 q = uv;\n"
    "    if (d > 1.0e-6) {\n"
    "        vec2 n = t / d;\n"
    "        float a = atan(n.y, n.x) + d * d * twistAmount * p;\n"
    "        float s;\n"
    "        float co;\n"
    "        xlat_lib_sincos(a, s, co);\n"
    "        q = vec2(co, s) * d + c;\n"
    "    }\n"
    "    vec4 c1 = SampleWithBorder(vec4(0.0, 0.0, 0.0, 0.0), q);\n"
    "    vec4 c2 = reaching(uv);\n"
    "    return c1 * (1.0 - p) + c2 * p;\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = Swirl(v_texCoord, progress / 100.000);\n"
    "}\n";

}  // namespace

const char* Transition_Swirl::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}

void Transition_Swirl::LookUpAfterProgress(GLuint program, const char* tag) {
  QUAD_GL(mTwistAmount = glGetUniformLocation(program, "twistAmount"));
}

void Transition_Swirl::SetUpOnce(Direction, const float* effectOption, const char* tag) {
  QUAD_GL(glUniform1f(mTwistAmount, TwistAmountFor(ReadOption(effectOption, tag))));
}
