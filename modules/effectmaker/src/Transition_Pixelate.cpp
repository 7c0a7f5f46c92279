#include "Transition_Pixelate.h"

namespace {

const char* const kCore =
    "float xlat_lib_saturate(float x)\n"
    "{\n"
    "    return clamp(x, 0.0, 1.0);\n"
    "}\n"
    "vec4 Pixelate(vec2 uv, float p)\n"
    "{\n"
    "    if (p >= 1.0)\n"
    "        return reaching(uv);\n"
    "    float segment_progress;\n"
    "    if (p < 0.5)\n"
    "        segment_progress = 1.0 - 2.0 * p;\n"
    "    else\n"
    "        segment_progress = (p - 0.5) * 2.0;\n"
    "    float pixels = 5.0 + 1000.0 * segment_progress * segment_progress;\n"
    "    vec2 newUV = floor(uv * pixels + 0.5) / pixels;\n"
    "    vec4 c1 = leaving(newUV);\n"
    "    vec4 c2 = reaching(newUV);\n"
    "    float lerp_progress = xlat_lib_saturate((p - 0.4) / 0.2);\n"
    "    return mix(c1, c2, lerp_progress);\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = Pixelate(v_texCoord, progress / 100.0);\n"
    "}\n";

}  // namespace

const char* Transition_Pixelate::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}
