#include "Transition_Mosaic.h"

#include <cmath>

const MeshSettings& Transition_Mosaic::Settings() {
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_Mosaic", "transition_mozaic",
                   mesh::FragmentShader("u_IsNeedOverlay", "u_IsNeedOverlay > 0.0", "t_Texture",
                                        "gl_FragColor = vec4(texColor.rgb, texColor.a) * v_Color;"));
    s.overlayUniform = "u_IsNeedOverlay";
    return s;
  }();
  return kSettings;
}

void Transition_Mosaic::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float W = mesh::kPlaneWidth;
  const float H = mesh::kPlaneHeight;
  const int columns = mesh::kColumns;
  const int tiles = mesh::kColumns * mesh::kRows;
  const int32_t maxProgress = Settings().maxProgress;
  const float t = static_cast<float>(progress) / static_cast<float>(maxProgress);
  const float turn = static_cast<float>(static_cast<double>(maxProgress) * kTileTurnRatio);
  const float share = turn / static_cast<float>(maxProgress);
  const float h = W * 0.5f / static_cast<float>(columns);
  const float xLeft = 0.0f * (W / static_cast<float>(columns)) - h;
  const float xRight = W / static_cast<float>(columns) - h;
  const bool outgoing = meshIndex == 0;
  const float pi = 3.1415927f;

  for (int r = 0; r < mesh::kRows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const float uL = mesh::GridU(c);
      const float uR = mesh::GridU(c + 1);
      const float vT = mesh::GridV(r);
      const float vB = mesh::GridV(r + 1);
      const float yT = (1.0f - vT) * H - H * 0.5f;
      const float yB = (1.0f - vB) * H - H * 0.5f;
      const float xc = ((uL + uR) * 0.5f - 0.5f) * W;
      const float start = ((1.0f - share) / static_cast<float>(tiles)) * static_cast<float>(TurnOrder(c, r));

      // Phase of the tile's turn, and whether this mesh's face is out of
      // the picture (finished outgoing, not yet started incoming).
      float f;
      bool hidden = false;
      if (start > t) {
        f = 0.0f;
        hidden = !outgoing;
      } else if (t > start + share) {
        f = 1.0f;
        hidden = outgoing;
      } else {
        f = (t - start) / turn * static_cast<float>(maxProgress);
      }
      const float theta = outgoing ? f * (-pi) * 0.5f : (1.0f - f) * pi * 0.5f;
      float axis = ((f - 0.5f) * 2.0f * (f - 0.5f) - 0.5f - 1.0f) * W * 0.5f / static_cast<float>(columns);
      if (outgoing) axis -= std::fabs(theta);
      // Beyond the far plane: still drawn, clipped away.
      if (hidden) axis -= 2500.0f * W;
      const float sinT = static_cast<float>(std::sin(static_cast<double>(theta)));
      const float cosT = static_cast<float>(std::cos(static_cast<double>(theta)));
      const float k = outgoing ? 1.0f - f : f;

      auto put = [&](float x, float y, float u, float v) {
        const float X = x * cosT + h * sinT + xc;
        const float Z = h * cosT - x * sinT + axis;
        const float g = ((Z - axis) + h) * k / W * static_cast<float>(columns);
        out->Put(X, y, Z, g, g, g, 1.0f, u, v);
      };
      put(xLeft, yT, uL, vT);
      put(xLeft, yB, uL, vB);
      put(xRight, yT, uR, vT);
      put(xRight, yT, uR, vT);
      put(xLeft, yB, uL, vB);
      put(xRight, yB, uR, vB);
    }
  }
}
