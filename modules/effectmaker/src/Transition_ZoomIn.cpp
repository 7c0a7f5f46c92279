#include "Transition_ZoomIn.h"

#include <algorithm>

const MeshSettings& Transition_ZoomIn::Settings() {
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_ZoomIn", "transition_zoom_in",
                   mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_Texture",
                                        "gl_FragColor = texColor * v_Color;"));
    // The nearer, fading outgoing picture is blended over the incoming one.
    s.incomingFirst = true;
    return s;
  }();
  return kSettings;
}

void Transition_ZoomIn::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float t = static_cast<float>(progress) / static_cast<float>(Settings().maxProgress);
  float z;
  float alpha;
  if (meshIndex == 0) {
    // Stays in front and fades out by the middle; the alpha is kept in 0..1.
    z = t;
    alpha = std::min(std::max(1.0f - t * 2.0f, 0.0f), 1.0f);
  } else {
    z = ((mesh::kPlaneWidth + mesh::kPlaneHeight) * 0.25f) * (t - 1.0f);
    alpha = 1.0f;
  }
  mesh::WalkRowsOfCells(*out, [&](int, int, float u, float v, mesh::MeshArrays& arrays) {
    arrays.Put(mesh::PlaneX(u), mesh::PlaneY(v), z, 1.0f, 1.0f, 1.0f, alpha, u, v);
  });
}
