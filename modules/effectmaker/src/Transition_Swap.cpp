#include "Transition_Swap.h"

#include <cmath>

const MeshSettings& Transition_Swap::Settings() {
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_Swap", "transition_swap",
                   mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_Texture",
                                        "gl_FragColor = texColor * v_Color;"));
    return s;
  }();
  return kSettings;
}

void Transition_Swap::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float W = mesh::kPlaneWidth;
  const float t = static_cast<float>(progress) / static_cast<float>(Settings().maxProgress);
  // Mesh 1 turns, swings right and recedes with a = t; mesh 2 does the
  // mirror image with a = 1 - t.
  const bool outgoing = meshIndex == 0;
  const float a = outgoing ? t : 1.0f - t;
  const double sign = outgoing ? 1.0 : -1.0;
  const float theta = static_cast<float>(sign * static_cast<double>(a) * M_PI * 0.5);
  const float swingBase = W * (1.0f - a) * a;
  const float swing = static_cast<float>(static_cast<double>(outgoing ? swingBase : -swingBase) * 1.7);
  const float recede = a * a * a * W * -2.0f;
  const float sinT = static_cast<float>(std::sin(static_cast<double>(theta)));
  const float cosT = static_cast<float>(std::cos(static_cast<double>(theta)));
  mesh::WalkRowsOfCells(*out, [&](int, int, float u, float v, mesh::MeshArrays& arrays) {
    const float x = mesh::PlaneX(u);
    const float X = static_cast<float>(static_cast<double>(cosT * x) + static_cast<double>(swing));
    const float Z = static_cast<float>(static_cast<double>(sinT * x) * 0.5 + static_cast<double>(recede));
    arrays.Put(X, mesh::PlaneY(v), Z, 1.0f, 1.0f, 1.0f, 1.0f, u, v);
  });
}
