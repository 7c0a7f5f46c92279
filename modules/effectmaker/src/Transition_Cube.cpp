#include "Transition_Cube.h"

#include <cmath>

const MeshSettings& Transition_Cube::Settings() {
  // The family's vertex shader with one more uniform, declared and unused.
  static const std::string kVertex = [] {
    std::string text = mesh::kVertexShader;
    const std::string after = "uniform mat4 u_Projection;\n";
    text.insert(text.find(after) + after.size(), "uniform float u_TypeTransition;\n");
    return text;
  }();
  static const std::string kFragment =
      mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_Texture",
                           "gl_FragColor = vec4(texColor.r, texColor.g, texColor.b, texColor.a) * v_Color;");
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_Cube", "transition_cube", kFragment);
    s.vertexShader = kVertex;
    return s;
  }();
  return kSettings;
}

void Transition_Cube::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float W = mesh::kPlaneWidth;
  const float hw = W * 0.5f;
  const float t = static_cast<float>(progress) / static_cast<float>(Settings().maxProgress);
  // The cube's axis moves back from 480 to 720 units behind the plane and
  // returns; the incoming face is a quarter turn ahead of the outgoing one.
  const float depth = (((t - 0.5f) * 2.0f) * (t - 0.5f) - 0.5f) - 1.0f;
  const float zc = (W * depth) * 0.5f;
  const bool outgoing = meshIndex == 0;
  const float pi = 3.1415927f;
  const float a = outgoing ? (t * -pi) * 0.5f : ((1.0f - t) * pi) * 0.5f;
  const float fade = outgoing ? 1.0f - t : t;
  const float sinA = static_cast<float>(std::sin(static_cast<double>(a)));
  const float cosA = static_cast<float>(std::cos(static_cast<double>(a)));
  mesh::WalkRowsOfCells(*out, [&](int, int, float u, float v, mesh::MeshArrays& arrays) {
    const float x = mesh::PlaneX(u);
    const float X = (cosA * x + hw * sinA) + 0.0f;
    const float Z = (hw * cosA - sinA * x) + zc;
    // Depth from the plane one half width behind the axis: the full width
    // for a face that looks straight at the camera.
    const float shade = (((Z - zc) + hw) * fade) / W;
    arrays.Put(X, mesh::PlaneY(v), Z, shade, shade, shade, 1.0f, u, v);
  });
}
