#include "Transition_Fadein.h"

namespace {

const char* const kCore =
    "float xlat_lib_saturate(float x)\n"
    "{\n"
    "    return clamp(x, 0.0, 1.0);\n"
    "}\n"
    "vec4 Circle(vec2 uv, float t)\n"
    "{\n"
    "    if (t >= 1.0)\n"
    "        return reaching(uv);\n"
    "    float radius = -0.4 + t * (3.0 + 2.0 * 0.4);\n"
    "    float fromCenter = length(uv - vec2(0.5, 0.5));\n"
    "    float distFromCircle = fromCenter - radius;\n"
    "    float p = xlat_lib_saturate((distFromCircle + 0.4) / (2.0 * 0.4));\n"
    "    return mix(reaching(uv), leaving(uv), p);\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = Circle(v_texCoord, progress / 100.000);\n"
    "}\n";

}  // namespace

const char* Transition_Fadein::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}
