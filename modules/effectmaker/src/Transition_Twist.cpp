#include "Transition_Twist.h"

#include <cmath>

const MeshSettings& Transition_Twist::Settings() {
  static const std::string kFragment =
      mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_Texture",
                           "gl_FragColor = vec4(texColor.r, texColor.g, texColor.b, texColor.a) * v_Color;");
  static const MeshSettings kSettings("Transition_Twist", "transition_twist", kFragment);
  return kSettings;
}

float Transition_Twist::Phase(int line, int32_t progress) {
  const int32_t maxProgress = Settings().maxProgress;
  const float t = static_cast<float>(progress) / static_cast<float>(maxProgress);
  const float span = static_cast<float>(static_cast<double>(maxProgress) * kTwistSpan);
  const float share = span / static_cast<float>(maxProgress);
  // Line j starts turning at j steps and has finished one share later.
  const float step = (1.0f - share) / static_cast<float>(mesh::kColumns);
  const float start = step * static_cast<float>(line);
  if (start > t) return 0.0f;
  if (t > start + share) return 1.0f;
  return ((t - start) / span) * static_cast<float>(maxProgress);
}

void Transition_Twist::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  // A line's points turn about the x axis: the outgoing side from 0 to pi,
  // the incoming side from -pi to 0.
  float cosA[mesh::kColumns + 1];
  float sinA[mesh::kColumns + 1];
  for (int j = 0; j <= mesh::kColumns; ++j) {
    const float p = Phase(j, progress);
    const double turn = meshIndex == 0 ? static_cast<double>(p) : static_cast<double>(p - 1.0f);
    const float a = static_cast<float>(turn * M_PI);
    cosA[j] = static_cast<float>(std::cos(static_cast<double>(a)));
    sinA[j] = static_cast<float>(std::sin(static_cast<double>(a)));
  }
  mesh::WalkRowsOfCells(*out, [&](int column, int, float u, float v, mesh::MeshArrays& arrays) {
    const int line = u == mesh::GridU(column) ? column : column + 1;
    const float h = mesh::PlaneY(v);
    arrays.Put(mesh::PlaneX(u), cosA[line] * h, sinA[line] * h, 1.0f, 1.0f, 1.0f, 1.0f, u, v);
  });
}
