// The mesh family's arithmetic without GL: matrices and camera, the meshes
// of every class against worked values, and which faces the camera sees.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "EffectTable.h"
#include "FrameWalk.h"
#include "MeshTransition.h"
#include "ProgressCurve.h"
#include "Transition_Cube.h"
#include "Transition_CurlPaper.h"
#include "Transition_Doorway.h"
#include "Transition_Mosaic.h"
#include "Transition_Push.h"
#include "Transition_Swap.h"
#include "Transition_Twist.h"
#include "Transition_ZoomIn.h"
#include "test_quad_util.h"

namespace {

using mesh::MeshArrays;
using Builder = std::function<void(int, int32_t, MeshArrays*)>;

MeshArrays Build(const Builder& build, int meshIndex, int32_t progress) {
  MeshArrays arrays;
  build(meshIndex, progress, &arrays);
  return arrays;
}

// Range of one coordinate over a mesh.
std::pair<float, float> Extent(const MeshArrays& m, int axis) {
  float lo = 1e30f, hi = -1e30f;
  for (int i = 0; i < m.count; ++i) {
    lo = std::min(lo, m.Position(i)[axis]);
    hi = std::max(hi, m.Position(i)[axis]);
  }
  return {lo, hi};
}

// The vertex nearest (x, y) in the plane, read back as (x, y, z, grey).
const float* NearestTo(const MeshArrays& m, float x, float y, int* index) {
  double best = 1e30;
  for (int i = 0; i < m.count; ++i) {
    const double d = std::hypot(m.Position(i)[0] - x, m.Position(i)[1] - y);
    if (d < best) {
      best = d;
      *index = i;
    }
  }
  return m.Position(*index);
}

TEST(MeshCamera, MatricesAndProjectionHoldTheFamilyValues) {
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float moved[16];
  mesh::Matrix4Translate(moved, identity, 0, 0, -742.0f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(moved[i], i == 14 ? -742.0f : identity[i]) << i;

  // Column-major: a translation sits in 12..14; two add up; the output may
  // be an input.
  float twice[16];
  mesh::Matrix4Translate(twice, moved, 3.0f, -2.0f, 1.0f);
  EXPECT_EQ(twice[12], 3.0f);
  EXPECT_EQ(twice[13], -2.0f);
  EXPECT_EQ(twice[14], -741.0f);
  float product[16];
  mesh::Matrix4Multiply(product, twice, identity);
  mesh::Matrix4Multiply(product, product, moved);
  EXPECT_EQ(product[14], -1483.0f);
  EXPECT_EQ(product[12], 3.0f);

  float p[16], model[16];
  mesh::CameraMatrices(p, model);
  EXPECT_NEAR(p[0], 1.5454559f, 1e-6);
  EXPECT_NEAR(p[5], 2.7474773f, 1e-6);
  EXPECT_NEAR(p[10], -1.0040081f, 1e-6);
  EXPECT_EQ(p[11], -1.0f);
  EXPECT_NEAR(p[14], -20.040081f, 1e-5);
  for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(p[i], 0.0f) << i;
  EXPECT_EQ(model[14], -742.0f);
  // The flat plane fills the frame, whatever its shape.
  double x = 0, y = 0;
  const float corner[3] = {-480.0f, 270.0f, 0.0f};
  ASSERT_TRUE(mesh::ProjectToFrame(corner, &x, &y));
  EXPECT_NEAR(x, 0.0, 2e-4);
  EXPECT_NEAR(y, 0.0, 2e-4);
}

// Progress drawn at each frame of a mesh scene.
std::vector<int> MeshProgress(framewalk::Walk walk, int transitionLength, int readable = -1) {
  const std::vector<float> curve = ScaleProgressCurve(3000, MakeProgressCurve(transitionLength));
  std::vector<int> out;
  for (int step : framewalk::Replay(walk, readable)) out.push_back(MeshTransition::ProgressOf(curve, step, 3000));
  return out;
}

TEST(MeshSchedule, DirectionsFollowTheWorkedExamples) {
  using framewalk::Walk;
  const framewalk::Rule rule = MeshTransition::FamilyRule();
  // Picture to picture: the change, then the end state from frame T - 1 on.
  EXPECT_EQ(MeshProgress(Walk::Pictures(12, 10, rule), 10),
            (std::vector<int>{0, 78, 312, 702, 1171, 1639, 2107, 2297, 2687, 3000, 3000, 3000}));
  EXPECT_EQ(MeshProgress(Walk::Pictures(3, 1, rule), 1), (std::vector<int>{3000, 3000, 3000}));
  EXPECT_EQ(MeshProgress(Walk::Pictures(3, 2, rule), 2), (std::vector<int>{0, 3000, 3000}));
  // Picture to video: the curve's last value is drawn too; a short block
  // never reaches it.
  EXPECT_EQ(MeshProgress(Walk::IntoVideo(12, 10, rule), 10),
            (std::vector<int>{0, 78, 312, 702, 1171, 1639, 2107, 2297, 2687, 2921, 3000, 3000}));
  EXPECT_EQ(MeshProgress(Walk::IntoVideo(10, 10, rule), 10).back(), 2921);
  EXPECT_EQ(MeshProgress(Walk::IntoVideo(19, 17, rule), 17)[17], 2999);
  EXPECT_EQ(MeshProgress(Walk::IntoVideo(12, 10, rule), 10, 5).size(), 5u);
  // Video to picture: one frame behind the frames read, one curve step short
  // of the end on the block's last frame.
  EXPECT_EQ(MeshProgress(Walk::OutOfVideo(6, 6, 2, 4, rule), 4), (std::vector<int>{0, 0, 0, 750, 1500, 2250}));
  EXPECT_EQ(MeshProgress(Walk::OutOfVideo(25, 25, 15, 10, rule), 10).back(), 2921);
  // The video runs out at frame 4: that frame is drawn at the step reached
  // before, then the end state; still frameLength frames.
  EXPECT_EQ(MeshProgress(Walk::OutOfVideo(6, 6, 2, 4, rule), 4, 4), (std::vector<int>{0, 0, 0, 750, 1500, 3000}));
  EXPECT_EQ(MeshProgress(Walk::OutOfVideo(4, 4, 4, 0, rule), 0), (std::vector<int>{0, 3000, 3000, 3000}));
  // Short changes ramp, never run backwards and end at the maximum.
  for (int length = 1; length <= 5; ++length) {
    const std::vector<int> p = MeshProgress(Walk::IntoVideo(length + 2, length, rule), length);
    for (size_t i = 1; i < p.size(); ++i) EXPECT_GE(p[i], p[i - 1]) << length;
    EXPECT_EQ(p.back(), 3000) << length;
  }
  // Values outside the range are clamped before they are converted.
  const float nan = std::nanf("");
  EXPECT_EQ(MeshTransition::ProgressOf({0.0f, nan, -5.0f, 9e9f}, 1, 3000), 0);
  EXPECT_EQ(MeshTransition::ProgressOf({0.0f, nan, -5.0f, 9e9f}, 2, 3000), 0);
  EXPECT_EQ(MeshTransition::ProgressOf({0.0f, nan, -5.0f, 9e9f}, 3, 3000), 3000);
}

TEST(MeshGeometry, SwapCardsChangePlaces) {
  const Builder build = Transition_Swap::Build;
  const MeshArrays flat = Build(build, 0, 0);
  ASSERT_EQ(flat.count, 1800);
  EXPECT_EQ(Extent(flat, 0), std::make_pair(-480.0f, 480.0f));
  EXPECT_EQ(Extent(flat, 1), std::make_pair(-270.0f, 270.0f));
  EXPECT_EQ(Extent(flat, 2), std::make_pair(0.0f, 0.0f));
  // The first cell's texture coordinates; the top row shows row 0.
  const float firstCell[6][2] = {{0, 0}, {0, 1.0f / 15}, {0.05f, 0}, {0.05f, 0}, {0, 1.0f / 15}, {0.05f, 1.0f / 15}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(flat.TexCoord(i)[0], firstCell[i][0]);
    EXPECT_FLOAT_EQ(flat.TexCoord(i)[1], firstCell[i][1]);
  }

  const MeshArrays edgeOn = Build(build, 1, 0);
  EXPECT_LT(std::fabs(Extent(edgeOn, 0).first), 3e-5);
  EXPECT_NEAR(Extent(edgeOn, 2).first, -2160.0f, 1e-2);
  EXPECT_NEAR(Extent(edgeOn, 2).second, -1680.0f, 1e-2);

  // Half-way: the two stand side by side, mirror images.
  const MeshArrays out = Build(build, 0, 1500), in = Build(build, 1, 1500);
  int i = 0;
  const float* left = NearestTo(out, 68.59f, 0.0f, &i);
  EXPECT_NEAR(left[0], 68.59f, 0.01);
  EXPECT_NEAR(left[2], -409.71f, 0.01);
  const float* right = NearestTo(out, 747.41f, 0.0f, &i);
  EXPECT_NEAR(right[2], -70.29f, 0.01);
  EXPECT_NEAR(Extent(in, 0).first, -747.41f, 0.01);
  EXPECT_NEAR(Extent(in, 0).second, -68.59f, 0.01);

  // The end is the start with the cards exchanged.
  const MeshArrays end = Build(build, 1, 3000);
  EXPECT_EQ(Extent(end, 0), std::make_pair(-480.0f, 480.0f));
  EXPECT_EQ(Extent(end, 2), std::make_pair(0.0f, 0.0f));
  for (int k = 0; k < end.count; ++k) ASSERT_EQ(end.Color(k)[3], 1.0f);
}

TEST(MeshGeometry, CurlPaperCornersAtTheMiddleOfTheTurn) {
  // Corners of the page at progress 2000 of 4000: front (mesh 0) and back
  // (mesh 1) face, each as x, y, z, grey and texture u.
  struct Expected {
    int c, r;
    float front[5];
    float back[5];
  };
  const Expected corners[] = {
      {20, 15, {-97.43f, -270, 319.08f, 0.5796f, 1.0f}, {-94.57f, -270, 320.03f, 0.7197f, 0.0f}},
      {20, 0, {114.82f, 270, 312.55f, 0.7344f, 1.0f}, {117.64f, 270, 311.42f, 0.5649f, 0.0f}},
      {0, 0, {-0.34f, 270, 0.94f, 0.9235f, 0.5f}, {0.33f, 270, -0.94f, 0.3758f, 0.5f}},
  };
  for (int meshIndex = 0; meshIndex < 2; ++meshIndex) {
    const MeshArrays m = Build(Transition_CurlPaper::Build, meshIndex, 2000);
    ASSERT_EQ(m.count, 1806);
    for (const Expected& e : corners) {
      const float* want = meshIndex == 0 ? e.front : e.back;
      bool found = false;
      for (int i = 6; i < m.count && !found; ++i) {
        if (std::fabs(m.TexCoord(i)[0] - want[4]) > 1e-6 || std::fabs(m.TexCoord(i)[1] - e.r / 15.0f) > 1e-6) continue;
        found = true;
        EXPECT_NEAR(m.Position(i)[0], want[0], 0.01) << meshIndex << " " << e.c << "," << e.r;
        EXPECT_NEAR(m.Position(i)[1], want[1], 0.01);
        EXPECT_NEAR(m.Position(i)[2], want[2], 0.01) << meshIndex << " " << e.c << "," << e.r;
        EXPECT_NEAR(m.Color(i)[0], want[3], 1e-3);
      }
      EXPECT_TRUE(found) << meshIndex << " " << e.c << "," << e.r;
    }
  }
  // At the start the page lies in front of the flat quads, 1 to about 1.53
  // units; the bottom edge has finished its turn at t = 1/1.2.
  const MeshArrays start = Build(Transition_CurlPaper::Build, 0, 0);
  EXPECT_EQ(start.Position(0)[2], -0.0001f);
  float zMin = 1e9f, zMax = -1e9f;
  for (int i = 6; i < start.count; ++i) {
    zMin = std::min(zMin, start.Position(i)[2]);
    zMax = std::max(zMax, start.Position(i)[2]);
  }
  EXPECT_NEAR(zMin, 1.0f, 1e-4);
  EXPECT_NEAR(zMax, 1.53f, 0.01);
  const MeshArrays turned = Build(Transition_CurlPaper::Build, 0, 3334);
  for (int i = 6; i < turned.count; ++i) {
    if (turned.TexCoord(i)[1] == 1.0f) {
      EXPECT_LE(turned.Position(i)[0], 0.5f) << i;
    }
  }
}

TEST(MeshGeometry, MosaicTurnsTilesInItsScrambledOrder) {
  std::set<int> order;
  for (int r = 0; r < 15; ++r)
    for (int c = 0; c < 20; ++c) order.insert(Transition_Mosaic::TurnOrder(c, r));
  EXPECT_EQ(order.size(), 300u);
  EXPECT_EQ(Transition_Mosaic::TurnOrder(17, 3), 0);
  EXPECT_EQ(Transition_Mosaic::TurnOrder(4, 12), 299);
  EXPECT_EQ(Transition_Mosaic::TurnOrder(0, 0), 31);

  // Tile (0, 0) starts at t = 0.0961 and is half-way through its turn at
  // t = 0.1311: the outgoing face's corners at x_c - 1.414 h (grey 0.25) and
  // x_c (grey about 0.60), axis 1.5 h plus pi/4 deep.
  const int32_t half = static_cast<int32_t>(std::lround((0.0031 * 31 + 0.035) * 3000));
  const MeshArrays out = Build(Transition_Mosaic::Build, 0, half);
  const float xc = -456.0f, h = 24.0f;
  EXPECT_NEAR(out.Position(0)[0], xc - 1.414f * h, 0.3);
  EXPECT_NEAR(out.Color(0)[0], 0.25f, 0.01);
  EXPECT_NEAR(out.Position(2)[0], xc, 0.3);
  EXPECT_NEAR(out.Color(2)[0], 0.60f, 0.02);
  EXPECT_NEAR(out.Position(0)[2], -36.785f, 0.3);
  const MeshArrays in = Build(Transition_Mosaic::Build, 1, half);
  EXPECT_NEAR(in.Position(2)[0], xc + 1.414f * h, 0.3);
  EXPECT_NEAR(in.Position(2)[2], -36.0f, 0.3);

  // Start: every outgoing face flat at full brightness; end: every incoming
  // one, the outgoing faces beyond the far plane.
  const MeshArrays first = Build(Transition_Mosaic::Build, 0, 0);
  const MeshArrays last = Build(Transition_Mosaic::Build, 1, 3000);
  const MeshArrays gone = Build(Transition_Mosaic::Build, 0, 3000);
  for (int i = 0; i < 1800; ++i) {
    ASSERT_NEAR(first.Position(i)[2], 0.0f, 1e-4) << i;
    ASSERT_NEAR(first.Color(i)[0], 1.0f, 1e-5);
    ASSERT_NEAR(last.Position(i)[2], 0.0f, 1e-4) << i;
    ASSERT_NEAR(last.Color(i)[0], 1.0f, 1e-5);
    ASSERT_LT(gone.Position(i)[2], -5000.0f);
  }
}

TEST(MeshGeometry, ZoomInPushAndDoorwayMoveFlatPlanes) {
  // ZoomIn: the outgoing plane in front, fading out by the middle (never
  // below 0); the incoming one comes forward from 375 units back.
  for (auto step : {std::make_tuple(0, 0.0f, 1.0f, -375.0f), std::make_tuple(1500, 0.5f, 0.0f, -187.5f),
                    std::make_tuple(3000, 1.0f, 0.0f, 0.0f)}) {
    const MeshArrays out = Build(Transition_ZoomIn::Build, 0, std::get<0>(step));
    const MeshArrays in = Build(Transition_ZoomIn::Build, 1, std::get<0>(step));
    EXPECT_EQ(out.Position(7)[2], std::get<1>(step));
    EXPECT_EQ(out.Color(7)[3], std::get<2>(step));
    EXPECT_EQ(in.Position(7)[2], std::get<3>(step));
    EXPECT_EQ(in.Color(7)[3], 1.0f);
  }
  const MeshArrays grid = Build(Transition_ZoomIn::Build, 1, 3000);
  const float firstCell[6][2] = {{-480, 270}, {-480, 234}, {-432, 270}, {-432, 270}, {-480, 234}, {-432, 234}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(grid.Position(i)[0], firstCell[i][0]);
    EXPECT_FLOAT_EQ(grid.Position(i)[1], firstCell[i][1]);
  }
  EXPECT_FLOAT_EQ(grid.Position(1799)[0], 480.0f);
  EXPECT_FLOAT_EQ(grid.Position(1799)[1], -270.0f);
  EXPECT_FLOAT_EQ(grid.TexCoord(1799)[0], 1.0f);

  // Push half-way: offsets 0.86152 and -0.80383 widths; at the end the
  // incoming plane is the flat grid.
  EXPECT_NEAR(Extent(Build(Transition_Push::Build, 0, 1500), 0).first, 347.06f, 0.01);
  EXPECT_NEAR(Extent(Build(Transition_Push::Build, 1, 1500), 0).second, -291.68f, 0.01);
  const MeshArrays pushed = Build(Transition_Push::Build, 1, 3000);
  for (int i = 0; i < pushed.count; ++i) ASSERT_EQ(pushed.Position(i)[0], grid.Position(i)[0]) << i;

  // Doorway: column 9 goes with the left leaf, column 10 with the right one;
  // half-way the leaves span 480..960 on either side and the incoming plane
  // stands half-way forward at half alpha.
  const MeshArrays leaves = Build(Transition_Doorway::Build, 0, 1500);
  EXPECT_FLOAT_EQ(leaves.Position(9 * 6 + 2)[0], -480.0f);   // column 9, right edge
  EXPECT_FLOAT_EQ(leaves.Position(10 * 6)[0], 480.0f);       // column 10, left edge
  EXPECT_EQ(Extent(leaves, 0), std::make_pair(-960.0f, 960.0f));
  const MeshArrays door = Build(Transition_Doorway::Build, 1, 1500);
  EXPECT_EQ(door.Position(0)[2], -187.5f);
  EXPECT_EQ(door.Color(0)[3], 0.5f);
}

// Whether every grid point has one position, whichever cell writes it: the
// mesh is one surface without gaps.
::testing::AssertionResult Seamless(const MeshArrays& m) {
  std::map<std::pair<long, long>, int> first;
  for (int i = 0; i < m.count; ++i) {
    const std::pair<long, long> point(std::lround(m.TexCoord(i)[0] * 20), std::lround(m.TexCoord(i)[1] * 15));
    const auto found = first.emplace(point, i);
    const float* a = m.Position(found.first->second);
    const float* b = m.Position(i);
    if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2])
      return ::testing::AssertionFailure() << "grid point " << point.first << "," << point.second << " at vertices "
                                           << found.first->second << " and " << i;
  }
  return ::testing::AssertionSuccess();
}

TEST(MeshGeometry, TwistTurnsItsColumnLinesOneAfterAnother) {
  // Phases of column lines 0, 5, 10, 15 and 20.
  const struct {
    int32_t progress;
    float phase[5];
  } table[] = {{750, {0.42517f, 0.25f, 0.07483f, 0.0f, 0.0f}},
               {1500, {0.85034f, 0.67517f, 0.5f, 0.32483f, 0.14966f}},
               {2250, {1.0f, 1.0f, 0.92517f, 0.75f, 0.57483f}}};
  for (const auto& row : table)
    for (int i = 0; i < 5; ++i)
      EXPECT_NEAR(Transition_Twist::Phase(5 * i, row.progress), row.phase[i], 1e-5)
          << row.progress << " line " << 5 * i;
  // Left to right, each line 61.8 progress units after its neighbour, none
  // turning back; all flat at the start and exactly half turned at the end.
  for (int j = 0; j <= 20; ++j) {
    EXPECT_EQ(Transition_Twist::Phase(j, 0), 0.0f) << j;
    EXPECT_EQ(Transition_Twist::Phase(j, 3000), 1.0f) << j;
    for (int32_t p = 50; p <= 3000; p += 50) {
      ASSERT_GE(Transition_Twist::Phase(j, p), Transition_Twist::Phase(j, p - 50)) << j << " at " << p;
      if (j > 0) {
        ASSERT_LE(Transition_Twist::Phase(j, p), Transition_Twist::Phase(j - 1, p)) << j << " at " << p;
      }
    }
  }
  EXPECT_EQ(Transition_Twist::Phase(1, 61), 0.0f);
  EXPECT_GT(Transition_Twist::Phase(1, 62), 0.0f);
  EXPECT_EQ(Transition_Twist::Phase(20, 1230), 0.0f);
  EXPECT_GT(Transition_Twist::Phase(20, 1240), 0.0f);

  // Flat at the start: the outgoing side exactly, the incoming side upside
  // down behind it; at the end the other way round.
  for (int32_t p : {0, 3000}) {
    const MeshArrays flat = Build(Transition_Twist::Build, p == 0 ? 0 : 1, p);
    const MeshArrays turned = Build(Transition_Twist::Build, p == 0 ? 1 : 0, p);
    ASSERT_EQ(flat.count, 1800);
    ASSERT_EQ(turned.count, 1800);
    EXPECT_EQ(Extent(flat, 0), std::make_pair(-480.0f, 480.0f));
    EXPECT_EQ(Extent(flat, 2), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(flat.Position(0)[1], 270.0f);  // texture row 0 at the top
    EXPECT_LT(std::max(std::fabs(Extent(turned, 2).first), std::fabs(Extent(turned, 2).second)), 3e-5f);
    for (int i = 0; i < 1800; ++i) {
      ASSERT_EQ(turned.Position(i)[0], flat.Position(i)[0]) << i;
      ASSERT_NEAR(turned.Position(i)[1], -flat.Position(i)[1], 1e-4) << i;
      ASSERT_EQ(turned.TexCoord(i)[1], flat.TexCoord(i)[1]) << i;
    }
  }
  // Half-way line 10 stands a quarter turned: its top point at z = 270. The
  // two sides share one surface, y and z negated, every vertex white.
  const MeshArrays out = Build(Transition_Twist::Build, 0, 1500), in = Build(Transition_Twist::Build, 1, 1500);
  const int top10 = 10 * 6;  // cell (10, 0), its top-left corner
  EXPECT_FLOAT_EQ(out.TexCoord(top10)[0], 0.5f);
  EXPECT_NEAR(out.Position(top10)[1], 0.0f, 1e-4);
  EXPECT_NEAR(out.Position(top10)[2], 270.0f, 1e-4);
  EXPECT_TRUE(Seamless(out));
  EXPECT_TRUE(Seamless(in));
  for (int i = 0; i < 1800; ++i) {
    ASSERT_NEAR(in.Position(i)[1], -out.Position(i)[1], 1e-3) << i;
    ASSERT_NEAR(in.Position(i)[2], -out.Position(i)[2], 1e-3) << i;
    for (int k = 0; k < 4; ++k) ASSERT_EQ(in.Color(i)[k], 1.0f);
  }
}

TEST(MeshGeometry, CubeFacesTurnAboutTheirSharedEdge) {
  // Corners of the top row: u = 0 (vertex 0) and u = 1 (vertex 116) of each
  // face, as X, Z and shade.
  const struct {
    int32_t progress;
    int meshIndex;
    float left[3];
    float right[3];
  } corners[] = {
      {0, 0, {-480.0f, 0.0f, 1.0f}, {480.0f, 0.0f, 1.0f}},
      {0, 1, {480.0f, 0.0f, 0.0f}, {480.0f, -960.0f, 0.0f}},
      {750, 0, {-627.150f, -400.226f, 0.5779f}, {259.774f, -32.850f, 0.8650f}},
      {750, 1, {259.774f, -32.850f, 0.2883f}, {627.150f, -919.774f, 0.0574f}},
      {1500, 0, {-678.823f, -720.0f, 0.25f}, {0.0f, -41.177f, 0.6036f}},
      {1500, 1, {0.0f, -41.177f, 0.6036f}, {678.823f, -720.0f, 0.25f}},
      {3000, 0, {-480.0f, -960.0f, 0.0f}, {-480.0f, 0.0f, 0.0f}},
      {3000, 1, {-480.0f, 0.0f, 1.0f}, {480.0f, 0.0f, 1.0f}},
  };
  for (const auto& c : corners) {
    const MeshArrays m = Build(Transition_Cube::Build, c.meshIndex, c.progress);
    ASSERT_EQ(m.count, 1800);
    for (int side = 0; side < 2; ++side) {
      const int i = side == 0 ? 0 : 19 * 6 + 2;
      const float* want = side == 0 ? c.left : c.right;
      SCOPED_TRACE(::testing::Message() << "progress " << c.progress << " mesh " << c.meshIndex << " side " << side);
      EXPECT_EQ(m.TexCoord(i)[0], static_cast<float>(side));
      EXPECT_NEAR(m.Position(i)[0], want[0], 2e-3);
      EXPECT_NEAR(m.Position(i)[2], want[1], 2e-3);
      EXPECT_NEAR(m.Color(i)[0], want[2], 1e-4);
    }
  }
  // The flat faces lie at z = 0 exactly.
  for (int32_t p : {0, 3000}) {
    const MeshArrays flat = Build(Transition_Cube::Build, p == 0 ? 0 : 1, p);
    EXPECT_EQ(Extent(flat, 2), std::make_pair(0.0f, 0.0f)) << p;
  }

  // At every progress: the faces meet along one edge, the incoming face is
  // the outgoing one's mirror image at the opposite progress, rows keep their
  // height and the shade stays in 0 .. 1.
  for (int32_t p = 0; p <= 3000; p += 150) {
    const MeshArrays out = Build(Transition_Cube::Build, 0, p), in = Build(Transition_Cube::Build, 1, p);
    const MeshArrays mirror = Build(Transition_Cube::Build, 0, 3000 - p);
    ASSERT_TRUE(Seamless(out)) << p;
    for (int r = 0; r < 15; ++r) {
      const float* rightEdge = out.Position((r * 20 + 19) * 6 + 2);
      const float* leftEdge = in.Position((r * 20) * 6);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(rightEdge[k], leftEdge[k], 1e-3) << p << " row " << r;
    }
    for (int i = 0; i < 1800; ++i) {
      // Vertex i of cell (c, r) mirrors the vertex of cell (19 - c, r) that
      // has the same row and the other column edge.
      const int cell = i / 6, corner = i % 6;
      const int c = cell % 20, r = cell / 20;
      static const int kMirroredCorner[6] = {2, 5, 0, 0, 5, 1};
      const int j = (r * 20 + 19 - c) * 6 + kMirroredCorner[corner];
      ASSERT_NEAR(in.Position(i)[0], -mirror.Position(j)[0], 2e-3) << p << " vertex " << i;
      ASSERT_NEAR(in.Position(i)[2], mirror.Position(j)[2], 2e-3) << p << " vertex " << i;
      ASSERT_NEAR(in.Color(i)[0], mirror.Color(j)[0], 1e-5) << p << " vertex " << i;
      ASSERT_FLOAT_EQ(in.TexCoord(i)[0], 1.0f - mirror.TexCoord(j)[0]) << p << " vertex " << i;
      for (const MeshArrays* m : {&out, &in}) {
        ASSERT_EQ(m->Position(i)[1], mesh::PlaneY(m->TexCoord(i)[1])) << p << " vertex " << i;
        ASSERT_GE(m->Color(i)[0], 0.0f) << p << " vertex " << i;
        ASSERT_LE(m->Color(i)[0], 1.0f) << p << " vertex " << i;
        ASSERT_EQ(m->Color(i)[3], 1.0f);
      }
    }
  }
}

// Signed screen area of each triangle: counter-clockwise (positive) faces
// are drawn, clockwise ones culled.
struct Facing {
  int front = 0;
  int back = 0;
};

Facing FacesSeen(const MeshArrays& m, int from) {
  Facing facing;
  for (int i = from; i + 2 < m.count; i += 3) {
    double x[3], y[3];
    bool visible = true;
    for (int k = 0; k < 3; ++k) visible = mesh::ProjectToFrame(m.Position(i + k), &x[k], &y[k]) && visible;
    if (!visible) continue;
    // y grows downward in frame fractions, so flip it for the usual sense.
    const double area = (x[1] - x[0]) * (y[0] - y[2]) - (x[2] - x[0]) * (y[0] - y[1]);
    if (area > 1e-9) ++facing.front;
    if (area < -1e-9) ++facing.back;
  }
  return facing;
}

TEST(MeshGeometry, TheCameraSeesTheOutgoingFaceFirstAndTheIncomingLast) {
  quadtest::ForEachClassOf<MeshTransition>([](auto tag, int32_t) {
    using Class = typename decltype(tag)::type;
    const char* name = Class::Settings().className.c_str();
    // Outgoing mesh at the start and incoming mesh at the end: every face
    // on screen is counter-clockwise.
    const Facing start = FacesSeen(Build(Class::Build, 0, 0), 0);
    const Facing end = FacesSeen(Build(Class::Build, 1, Class::Settings().maxProgress), 0);
    EXPECT_EQ(start.back, 0) << name;
    EXPECT_GE(start.front, 600) << name;
    EXPECT_EQ(end.back, 0) << name;
    EXPECT_GE(end.front, 600) << name;
  });
  // The page's back is wound the other way: culled while the page lies
  // flat on the right.
  const Facing back = FacesSeen(Build(Transition_CurlPaper::Build, 1, 0), 6);
  EXPECT_EQ(back.front, 0);
  EXPECT_EQ(back.back, 600);

  // Twist and Cube hide the other side by culling alone: it faces away at
  // the start and the end. The cube's incoming face turns towards the camera
  // between t = 0.2 and 0.25.
  for (const Builder& build : {Builder(Transition_Twist::Build), Builder(Transition_Cube::Build)}) {
    for (const Facing& hidden : {FacesSeen(Build(build, 1, 0), 0), FacesSeen(Build(build, 0, 3000), 0)}) {
      EXPECT_EQ(hidden.front, 0);
      EXPECT_EQ(hidden.back, 600);
    }
  }
  EXPECT_EQ(FacesSeen(Build(Transition_Cube::Build, 1, 600), 0).front, 0);
  EXPECT_EQ(FacesSeen(Build(Transition_Cube::Build, 1, 750), 0).front, 600);
}

}  // namespace
