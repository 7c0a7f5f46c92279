#include "Transition_Push.h"

#include <cmath>

const MeshSettings& Transition_Push::Settings() {
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_Push", "transition_push",
                   mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_Texture",
                                        "gl_FragColor = vec4(vec3(texColor), texColor.a) * v_Color;"));
    return s;
  }();
  return kSettings;
}

void Transition_Push::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float W = mesh::kPlaneWidth;
  const float t = static_cast<float>(progress) / static_cast<float>(Settings().maxProgress);
  // Offsets in plane widths.
  float offset;
  if (meshIndex == 0) {
    offset = 1.5f * static_cast<float>(std::pow(static_cast<double>(t), 0.8));
  } else {
    const float rest = 1.0f - t;
    offset = 1.5f * static_cast<float>(-std::pow(static_cast<double>(rest), 0.9));
  }
  mesh::WalkRowsOfCells(*out, [&](int, int, float u, float v, mesh::MeshArrays& arrays) {
    arrays.Put((offset + u) * W - W * 0.5f, mesh::PlaneY(v), 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, u, v);
  });
}
