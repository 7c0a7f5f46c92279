#include "Transition_CurlPaper.h"

#include <algorithm>
#include <cmath>

const MeshSettings& Transition_CurlPaper::Settings() {
  static const MeshSettings kSettings = [] {
    MeshSettings s("Transition_CurlPaper", "transition_curl_paper",
                   mesh::FragmentShader("u_TypeTransition", "u_TypeTransition == 1.0", "t_VideoFrameTexture",
                                        "gl_FragColor = vec4(texColor.rgb, texColor.a) * v_Color;"));
    s.maxProgress = 4000;
    s.videoSampler = "t_VideoFrameTexture";
    return s;
  }();
  return kSettings;
}

namespace {

struct Corner {
  float x, y, z, g, tu, tv;
};

// Grid point on column line c (0 on the centre line) and row line r of the
// front (outgoing) or back (incoming) face at t.
Corner PageCorner(int c, int r, float t, bool front) {
  const double W = mesh::kPlaneWidth;
  const double R = Transition_CurlPaper::kPaperHalfThickness;
  const float u = mesh::GridU(c);
  const float v = mesh::GridV(r);
  const float base = std::min(std::max((1.0f + 0.2f * v) * t, 0.0f), 1.0f);
  const float exponent = 1.0f + 1.8f * (1.0f - u) + 0.4f * (1.0f - v);
  const float p = static_cast<float>(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
  Corner corner;
  corner.y = mesh::PlaneY(v);
  corner.tv = v;
  const float a = front ? 1.0f - p - 0.0005f : 1.0f - p + 0.0005f;
  const double theta = (1.0 - static_cast<double>(a)) * M_PI;
  const double sinT = std::sin(theta);
  const double cosT = std::cos(theta);
  const double reach = 0.7 * (W / 2.0) * static_cast<double>(u) * sinT;
  if (front) {
    corner.x = static_cast<float>((static_cast<double>(a) - 0.5) * W * u - R * sinT);
    corner.z = static_cast<float>(R * cosT + reach);
    corner.g = 0.7f * a + 0.3f;
    corner.tu = 0.5f + 0.5f * u;
  } else {
    corner.x = static_cast<float>((static_cast<double>(a) - 0.5) * W * u + R * sinT);
    corner.z = static_cast<float>(reach - R * cosT);
    corner.g = 0.7f * (1.0f - a) + 0.3f;
    corner.tu = 0.5f - 0.5f * u;
  }
  return corner;
}

}  // namespace

void Transition_CurlPaper::Build(int meshIndex, int32_t progress, mesh::MeshArrays* out) {
  const float W = mesh::kPlaneWidth;
  const float H = mesh::kPlaneHeight;
  const float t = static_cast<float>(progress) / static_cast<float>(Settings().maxProgress);
  const bool front = meshIndex == 0;
  // The flat quad: the half of the plane the page does not start on (left)
  // or end on (right), just behind the plane.
  const float left = front ? -W / 2.0f : 0.0f;
  const float right = front ? 0.0f : W / 2.0f;
  const float uLeft = front ? 0.0f : 0.5f;
  const float uRight = front ? 0.5f : 1.0f;
  const float z = -0.0001f;
  out->Put(left, H / 2.0f, z, 1, 1, 1, 1, uLeft, 0.0f);
  out->Put(left, -H / 2.0f, z, 1, 1, 1, 1, uLeft, 1.0f);
  out->Put(right, H / 2.0f, z, 1, 1, 1, 1, uRight, 0.0f);
  out->Put(right, H / 2.0f, z, 1, 1, 1, 1, uRight, 0.0f);
  out->Put(left, -H / 2.0f, z, 1, 1, 1, 1, uLeft, 1.0f);
  out->Put(right, -H / 2.0f, z, 1, 1, 1, 1, uRight, 1.0f);

  // Columns outer, rows inner; the back face is wound the other way, so the
  // culling of back faces alone decides which face shows.
  static const int kFrontOrder[6][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 0}, {0, 1}, {1, 1}};
  static const int kBackOrder[6][2] = {{1, 0}, {0, 1}, {0, 0}, {1, 1}, {0, 1}, {1, 0}};
  const int(*order)[2] = front ? kFrontOrder : kBackOrder;
  for (int c = 0; c < mesh::kColumns; ++c) {
    for (int r = 0; r < mesh::kRows; ++r) {
      for (int k = 0; k < 6; ++k) {
        const Corner p = PageCorner(c + order[k][0], r + order[k][1], t, front);
        out->Put(p.x, p.y, p.z, p.g, p.g, p.g, 1.0f, p.tu, p.tv);
      }
    }
  }
}
