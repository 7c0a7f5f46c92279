#include "Transition_Pendulum.h"

namespace {

// Where the swinging edge is exactly vertical (shuttle 0.5) its slope is
// infinite; the limit from either side is the right half of the frame.
const char* const kCore =
    "vec4 pendulum(vec2 uv)\n"
    "{\n"
    "    float shuttle = sin(3.14159 * progress);\n"
    "    bool first = (progress >= 0.0 && progress <= 0.5);\n"
    "    bool inside;\n"
    "    if (shuttle <= 0.5) {\n"
    "        float den = 1.0 - 2.0 * shuttle;\n"
    "        if (den > 0.0)\n"
    "            inside = uv.y < (2.0 * shuttle / den) * (uv.x - 0.5);\n"
    "        else\n"
    "            inside = uv.x > 0.5;\n"
    "    } else {\n"
    "        inside = uv.y > ((shuttle - 1.0) / (2.0 * shuttle - 1.0)) * (uv.x - 0.5);\n"
    "    }\n"
    "    if (inside == first)\n"
    "        return reaching(uv);\n"
    "    return leaving(uv);\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = pendulum(v_texCoord);\n"
    "}\n";

}  // namespace

const char* Transition_Pendulum::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}

void Transition_Pendulum::SetUpOnce(Direction, const float* effectOption, const char* tag) {
  mSwing = SwingFor(ReadOption(effectOption, tag));
}
