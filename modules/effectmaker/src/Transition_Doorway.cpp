#include "Transition_Doorway.h"

const MeshSettings& Transition_Doorway::Settings() {
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_Doorway", "transition_doorway",
                   mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_Texture",
                                        "gl_FragColor = vec4( vec3( texColor ), 1.0 ) * v_Color;"));
    return s;
  }();
  return kSettings;
}

void Transition_Doorway::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float W = mesh::kPlaneWidth;
  const float H = mesh::kPlaneHeight;
  const float t = static_cast<float>(progress) / static_cast<float>(Settings().maxProgress);
  if (meshIndex == 0) {
    // Two rigid leaves: the cells left of the centre line move left by t
    // widths, the others right.
    mesh::WalkRowsOfCells(*out, [&](int column, int, float u, float v, mesh::MeshArrays& arrays) {
      const float shift = column < mesh::kColumns / 2 ? -t : t;
      arrays.Put((shift + u) * W - W * 0.5f, mesh::PlaneY(v), 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, u, v);
    });
    return;
  }
  const float z = ((W + H) * 0.25f) * (t - 1.0f);
  mesh::WalkRowsOfCells(*out, [&](int, int, float u, float v, mesh::MeshArrays& arrays) {
    arrays.Put(mesh::PlaneX(u), mesh::PlaneY(v), z, 1.0f, 1.0f, 1.0f, t, u, v);
  });
}
