#include "Transition_Diagonal.h"

namespace {

const char* const kCore =
    "vec2 xlat_lib_saturate(vec2 x)\n"
    "{\n"
    "    return clamp(x, 0.0, 1.0);\n"
    "}\n"
    "vec4 SlideLeft(vec2 uv, float p)\n"
    "{\n"
    "    vec2 s = uv + (-1.0 * p);\n"
    "    vec2 clamped = xlat_lib_saturate(s) - s;\n"
    "    if (clamped.x != 0.0 || clamped.y != 0.0)\n"
    "        return leaving(fract(s));\n"
    "    return reaching(s);\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    float p = abs(1.0 - progress / 100.0);\n"
    "    gl_FragData[0] = SlideLeft(v_texCoord, p);\n"
    "}\n";

}  // namespace

const char* Transition_Diagonal::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}
