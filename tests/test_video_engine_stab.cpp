// Stabilisation: exact trajectory arithmetic on given motions, motion
// estimation on generated shaken clips, progress and cancellation.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "test_video_engine_clips.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "videoengine/OrvStabilization.h"
#include "videoengine/OrvVideoEngine.h"

namespace {

cv::Mat Translation(float dx, float dy = 0.0f) {
  cv::Mat m = cv::Mat::eye(3, 3, CV_32F);
  m.at<float>(0, 2) = dx;
  m.at<float>(1, 2) = dy;
  return m;
}

SuperFrame Block(int32_t start, int32_t end, int32_t size) {
  SuperFrame sf;
  sf.sfStart = start;
  sf.sfEnd = end;
  sf.sfSize = size;
  return sf;
}

// A stabiliser whose records hold the given motions (identity elsewhere).
struct Injected {
  SummarizedVideo video;
  OrvStabilization stab;
  std::atomic<int> progress{0};

  void Add(const SuperFrame& sf) { video.blocks.push_back(sf); }
  void Prepare() {
    const size_t n = video.blocks.size();
    stab.mMotionRecords.assign(n, MotionFrameRecord());
    for (size_t i = 0; i < n; ++i) {
      MotionFrameRecord& r = stab.mMotionRecords[i];
      r.continuesPrevious = i > 0 && video.blocks[i].sfStart == video.blocks[i - 1].sfEnd;
      r.continuesNext = i + 1 < n && video.blocks[i].sfEnd == video.blocks[i + 1].sfStart;
      r.pairwiseMotions.assign(video.blocks[i].sfSize, cv::Mat());
      for (cv::Mat& m : r.pairwiseMotions) m = cv::Mat::eye(3, 3, CV_32F);
      r.badFrames.assign(video.blocks[i].sfSize, false);
    }
  }
  cv::Mat& Motion(size_t block, int k) { return stab.mMotionRecords[block].pairwiseMotions[k]; }
  void Run() {
    stab.mProgressTarget = &progress;
    stab.MotionStabilization(&video, nullptr);
    stab.mProgressTarget = nullptr;
  }
  float M02(size_t block, int k) const { return video.blocks[block].transforms[k][2]; }
};

bool IsIdentity(const std::array<float, 9>& t, float tol = 0.0f) {
  const float id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int e = 0; e < 9; ++e)
    if (std::fabs(t[e] - id[e]) > tol) return false;
  return true;
}

// The renderer's use of a transform: forward warp, 8 % crop, resize back.
cv::Mat ApplyLikeRenderer(const cv::Mat& frame, const std::array<float, 9>& t) {
  cv::Mat m = (cv::Mat_<float>(2, 3) << t[0], t[1], t[2], t[3], t[4], t[5]);
  cv::Mat warped, out;
  cv::warpAffine(frame, warped, m, frame.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
  const int cx = static_cast<int>(std::floor(frame.cols * 0.08f));
  const int cy = static_cast<int>(std::floor(frame.rows * 0.08f));
  cv::resize(warped(cv::Rect(cx, cy, frame.cols - 2 * cx, frame.rows - 2 * cy)), out, frame.size(), 0, 0,
             cv::INTER_LINEAR);
  return out;
}

// Stabilises one manually built block over a clip and returns it.
SummarizedVideo StabilizeClip(const std::string& path, std::vector<SuperFrame> blocks,
                              OrvStabilization* keep = nullptr) {
  SummarizedVideo v;
  v.fileName = path;
  v.blocks = std::move(blocks);
  OrvFrameHandler reader;
  EXPECT_TRUE(reader.setParameters(0, path, ""));
  OrvStabilization local;
  OrvStabilization& stab = keep ? *keep : local;
  stab.ComputePairWiseHomography(&v, &reader);
  stab.MotionStabilization(&v, &reader);
  return v;
}

std::vector<cv::Mat> ReadAll(const std::string& path) {
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  std::vector<cv::Mat> frames;
  for (cv::Mat f; cap.read(f);) frames.push_back(f.clone());
  return frames;
}

double ShiftRms(const std::vector<cv::Mat>& frames) {
  double sum = 0;
  int n = 0;
  cv::Mat prev;
  for (const cv::Mat& f : frames) {
    cv::Mat g, g32;
    cv::cvtColor(f, g, cv::COLOR_BGR2GRAY);
    g.convertTo(g32, CV_64F);
    if (!prev.empty()) {
      const cv::Point2d d = cv::phaseCorrelate(prev, g32);
      sum += d.x * d.x + d.y * d.y;
      ++n;
    }
    prev = g32;
  }
  return std::sqrt(sum / std::max(n, 1));
}

}  // namespace

// ---------------------------------------------------------------- smoothing

TEST(VideoEngineStabMath, SingleJumpIsSpreadOverTheWindow) {
  Injected t;
  t.Add(Block(0, 1333333, 40));
  t.Prepare();
  t.Motion(0, 15) = Translation(11.0f);
  t.Run();
  ASSERT_EQ(t.video.blocks[0].transforms.size(), 40u);
  for (int k = 0; k < 40; ++k) {
    float expect = 0.0f;
    if (k >= 10 && k <= 14) expect = static_cast<float>(k - 9);
    if (k == 15) expect = -5.0f;
    if (k >= 16 && k <= 19) expect = static_cast<float>(k - 20);
    EXPECT_NEAR(t.M02(0, k), expect, 1e-4) << k;
  }
  EXPECT_EQ(t.progress.load(), 100);
}

TEST(VideoEngineStabMath, SteadyPanIsKeptAndContinues) {
  Injected t;
  t.Add(Block(0, 1000, 40));
  t.Add(Block(1000, 2000, 40));  // continues the first block
  t.Prepare();
  for (size_t b = 0; b < 2; ++b)
    for (int k = (b == 0 ? 1 : 0); k < 40; ++k) t.Motion(b, k) = Translation(5.0f);
  t.Run();
  const float atFive = 30.0f / 7 + 35.0f / 8 + 40.0f / 9 + 45.0f / 10 + 50.0f / 11 - 25.0f;
  EXPECT_NEAR(t.M02(0, 5), atFive, 1e-3);
  EXPECT_NEAR(t.M02(0, 5), -2.849, 1e-3);
  for (int k = 5; k < 40; ++k) EXPECT_NEAR(t.M02(0, k), atFive, 1e-3) << k;
  EXPECT_TRUE(IsIdentity(t.video.blocks[0].transforms[0]));
  for (int k = 0; k < 40; ++k)
    for (int e = 0; e < 9; ++e)
      EXPECT_NEAR(t.video.blocks[1].transforms[k][e], t.video.blocks[0].transforms[39][e], 1e-3);
}

TEST(VideoEngineStabMath, ContinuingBlocksGiveTheTransformsOfOneBlock) {
  // Random motions (shift, turn, slight zoom, one rejected frame) over 100
  // frames: one block, then the same frames cut into continuing blocks.
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> shift(-6, 6), turn(-0.4f, 0.4f), zoom(0.99f, 1.01f);
  std::vector<cv::Mat> motions(100);
  for (int k = 0; k < 100; ++k) {
    const double r = turn(rng) * 3.14159265 / 180.0;
    const float s = zoom(rng);
    motions[k] = (cv::Mat_<float>(3, 3) << s * std::cos(r), s * std::sin(r), shift(rng), -s * std::sin(r),
                  s * std::cos(r), shift(rng), 0, 0, 1);
  }
  motions[0] = cv::Mat::eye(3, 3, CV_32F);
  motions[70] = Translation(200.0f);
  auto run = [&](const std::vector<int>& sizes) {
    Injected t;
    int32_t start = 0;
    for (int size : sizes) {
      t.Add(Block(start, start + size * 1000, size));
      start += size * 1000;
    }
    t.Prepare();
    int f = 0;
    for (size_t b = 0; b < sizes.size(); ++b)
      for (int k = 0; k < sizes[b]; ++k, ++f) t.Motion(b, k) = motions[f].clone();
    t.Run();
    std::vector<std::array<float, 9>> all;
    for (const SuperFrame& sf : t.video.blocks) all.insert(all.end(), sf.transforms.begin(), sf.transforms.end());
    return all;
  };
  const auto one = run({100});
  const auto joined = run({30, 25, 45});
  ASSERT_EQ(joined.size(), 100u);
  for (int k = 0; k < 100; ++k)
    for (int e = 0; e < 9; ++e) EXPECT_NEAR(joined[k][e], one[k][e], 2e-3) << k << " " << e;
}

TEST(VideoEngineStabMath, ImplausibleMotionsRestartFromIdentity) {
  auto run = [](const cv::Mat& m) {
    Injected t;
    t.Add(Block(0, 1000, 20));
    t.Prepare();
    for (int k = 1; k < 20; ++k) t.Motion(0, k) = Translation(2.0f);
    t.Motion(0, 10) = m;
    t.Run();
    return std::make_pair(static_cast<bool>(t.stab.mMotionRecords[0].badFrames[10]),
                          t.video.blocks[0].transforms[10]);
  };
  auto scaled = [](float sx, float sy) {
    cv::Mat m = cv::Mat::eye(3, 3, CV_32F);
    m.at<float>(0, 0) = sx;
    m.at<float>(1, 1) = sy;
    return m;
  };
  auto rotated = [](float deg) {
    cv::Mat m = cv::Mat::eye(3, 3, CV_32F);
    const double r = deg * 3.14159265 / 180.0;
    m.at<float>(0, 0) = static_cast<float>(std::cos(r));
    m.at<float>(0, 1) = static_cast<float>(std::sin(r));
    m.at<float>(1, 0) = static_cast<float>(-std::sin(r));
    m.at<float>(1, 1) = static_cast<float>(std::cos(r));
    return m;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const cv::Mat& bad : {Translation(151.0f), Translation(0, -151.0f), scaled(1.25f, 1.0f),
                             scaled(1.0f, 0.79f), scaled(1.2f, 1.0f), rotated(5.5f), Translation(nan)}) {
    auto r = run(bad);
    EXPECT_TRUE(r.first);
    EXPECT_TRUE(IsIdentity(r.second));
  }
  for (const cv::Mat& good : {Translation(150.0f), scaled(0.8f, 1.0f), rotated(4.99f)}) {
    EXPECT_FALSE(run(good).first);
  }
}

TEST(VideoEngineStabMath, ShortBlocksAndMissingMotionsKeepOneTransformPerFrame) {
  Injected t;
  t.Add(Block(0, 100, 3));
  t.Add(Block(100, 200, 2));
  t.Add(Block(200, 300, 4));
  t.Add(Block(400, 500, 0));
  t.Add(Block(600, 700, 7));
  t.Prepare();
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> d(-3, 3);
  for (size_t b = 0; b < 3; ++b)
    for (int k = 0; k < t.video.blocks[b].sfSize; ++k) t.Motion(b, k) = Translation(d(rng), d(rng));
  t.stab.mMotionRecords[4].pairwiseMotions.resize(2);  // motions missing for part of a block
  t.Run();
  for (const SuperFrame& sf : t.video.blocks) {
    ASSERT_EQ(sf.transforms.size(), static_cast<size_t>(sf.sfSize));
    for (const auto& tr : sf.transforms)
      for (float v : tr) EXPECT_TRUE(std::isfinite(v));
  }
  for (const auto& tr : t.video.blocks[4].transforms) EXPECT_TRUE(IsIdentity(tr));

  Injected none;
  none.Prepare();
  none.Run();
  EXPECT_EQ(none.progress.load(), 100);
}

TEST(VideoEngineStabMath, FullSizeConversionOfTheLinearPart) {
  // 4:3 keeps the estimated linear part; the translation is scaled per axis.
  cv::Mat m = (cv::Mat_<float>(3, 3) << 0.99f, 0.0129f, 1.0f, -0.0231f, 1.01f, 1.0f, 0, 0, 1);
  cv::Mat a = m.clone();
  ScaleMotionToFrame(a, 640, 480, 320, 240);
  EXPECT_EQ(a.at<float>(0, 1), 0.0129f);
  EXPECT_EQ(a.at<float>(1, 0), -0.0231f);
  EXPECT_FLOAT_EQ(a.at<float>(0, 2), 2.0f);
  cv::Mat b = m.clone();
  ScaleMotionToFrame(b, 1920, 1080, 320, 240);
  EXPECT_FLOAT_EQ(b.at<float>(0, 2), 6.0f);
  EXPECT_FLOAT_EQ(b.at<float>(1, 2), 4.5f);
  // A 1-degree rotation seen on the squashed working frame comes back as a
  // rotation without shear.
  EXPECT_NEAR(b.at<float>(0, 1), 0.0172, 2e-4);
  EXPECT_NEAR(b.at<float>(1, 0), -0.0173, 2e-4);
}

// ---------------------------------------------------------------- estimation

TEST(VideoEngineStabClip, StaticClipGivesIdentity) {
  const std::string path = clips::TempDir("stab_static") + "/still.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 60, 30, cv::Size(320, 240), [](int) { return clips::Pose(); }, 21, false));
  SummarizedVideo v = StabilizeClip(path, {Block(0, 1000000, 30), Block(1000000, 2000000, 30)});
  for (const SuperFrame& sf : v.blocks) {
    ASSERT_EQ(sf.transforms.size(), 30u);
    for (const auto& t : sf.transforms) EXPECT_TRUE(IsIdentity(t));
  }
}

TEST(VideoEngineStabClip, ContinuityAndFullSizeTranslation) {
  // 640x360 (16:9): content moves (4, 3) px per frame.
  const std::string path = clips::TempDir("stab_pan") + "/pan.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 90, 30, cv::Size(640, 360), [](int k) {
    clips::Pose p;
    p.tx = 4.0 * k - 180;
    p.ty = 3.0 * k - 135;
    return p;
  }, 5, false));
  OrvStabilization stab;
  const int32_t t30 = 1000000, t60 = 2000000;
  SummarizedVideo v = StabilizeClip(path, {Block(0, t30, 30), Block(t30, t60, 30), Block(t60 + 1, 3000000, 25)},
                                    &stab);
  ASSERT_EQ(stab.mMotionRecords.size(), 3u);
  EXPECT_FALSE(stab.mMotionRecords[0].continuesPrevious);
  EXPECT_TRUE(stab.mMotionRecords[0].continuesNext);
  EXPECT_TRUE(stab.mMotionRecords[1].continuesPrevious);
  EXPECT_FALSE(stab.mMotionRecords[1].continuesNext);
  EXPECT_FALSE(stab.mMotionRecords[2].continuesPrevious);
  // Frame 0 of the continuing block is paired with the block before it.
  const cv::Mat& first = stab.mMotionRecords[1].pairwiseMotions[0];
  EXPECT_NEAR(first.at<float>(0, 2), 4.0, 0.15);
  EXPECT_NEAR(first.at<float>(1, 2), 3.0, 0.15);
  const cv::Mat& mid = stab.mMotionRecords[0].pairwiseMotions[10];
  EXPECT_NEAR(mid.at<float>(0, 2), 4.0, 0.15);
  EXPECT_NEAR(mid.at<float>(1, 2), 3.0, 0.15);
  EXPECT_NEAR(mid.at<float>(0, 1), 0.0, 0.002);
  EXPECT_NEAR(mid.at<float>(1, 0), 0.0, 0.002);
  // The block after a gap starts afresh.
  EXPECT_EQ(cv::countNonZero(stab.mMotionRecords[2].pairwiseMotions[0] != cv::Mat::eye(3, 3, CV_32F)), 0);
  EXPECT_TRUE(IsIdentity(v.blocks[2].transforms[0]));
  for (const SuperFrame& sf : v.blocks) EXPECT_EQ(sf.transforms.size(), static_cast<size_t>(sf.sfSize));
}

TEST(VideoEngineStabClip, JitterIsRemovedAsTheRendererAppliesIt) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> u(-6.0, 6.0);
  std::vector<double> jx(90), jy(90);
  for (int k = 0; k < 90; ++k) {
    jx[k] = u(rng);
    jy[k] = u(rng);
  }
  const std::string path = clips::TempDir("stab_jitter") + "/jitter.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 90, 30, cv::Size(320, 240), [&](int k) {
    clips::Pose p;
    p.tx = jx[k];
    p.ty = jy[k];
    return p;
  }, 8, false));
  SummarizedVideo v = StabilizeClip(path, {Block(0, 3000000, 90)});
  ASSERT_EQ(v.blocks[0].transforms.size(), 90u);
  const std::vector<cv::Mat> frames = ReadAll(path);
  ASSERT_EQ(frames.size(), 90u);
  std::vector<cv::Mat> before, after;
  for (int k = 0; k < 90; ++k) {
    before.push_back(ApplyLikeRenderer(frames[k], {1, 0, 0, 0, 1, 0, 0, 0, 1}));
    after.push_back(ApplyLikeRenderer(frames[k], v.blocks[0].transforms[k]));
  }
  const double in = ShiftRms(before), out = ShiftRms(after);
  EXPECT_GT(in, 5.0);
  EXPECT_LE(out, 0.25 * in) << "input " << in << " output " << out;
}

TEST(VideoEngineStabClip, BackToBackBlocksJoinAsSmoothlyAsTheyRun) {
  // Shake of +-6 px and +-0.4 degrees; four blocks of one second played
  // back to back, each read through the renderer's reader.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> shift(-6.0, 6.0), turn(-0.4, 0.4);
  std::vector<clips::Pose> poses(120);
  for (clips::Pose& p : poses) {
    p.tx = shift(rng);
    p.ty = shift(rng);
    p.angleDeg = turn(rng);
  }
  const std::string path = clips::TempDir("stab_joins") + "/shaken.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 120, 30, cv::Size(320, 240), [&](int k) { return poses[k]; }, 12, false));
  std::vector<SuperFrame> blocks;
  for (int b = 0; b < 4; ++b) blocks.push_back(Block(b * 1000000, (b + 1) * 1000000, 30));
  SummarizedVideo v = StabilizeClip(path, blocks);

  OrvFXFrameHandler reader;
  ASSERT_TRUE(reader.setParameters(path, ""));
  std::vector<cv::Mat> played;
  for (const SuperFrame& sf : v.blocks) {
    ASSERT_EQ(sf.transforms.size(), 30u);
    ASSERT_TRUE(reader.seekTo(sf.sfStart));
    for (int k = 0; k < sf.sfSize; ++k) {
      cv::Mat f;
      ASSERT_GE(reader.readFrame(f), 0);
      played.push_back(ApplyLikeRenderer(f, sf.transforms[k]));
    }
  }
  double joinSq = 0, insideSq = 0;
  int joins = 0, inside = 0;
  for (size_t k = 1; k < played.size(); ++k) {
    const double step = ShiftRms({played[k - 1], played[k]});
    if (k % 30 == 0) {
      joinSq += step * step;
      ++joins;
    } else {
      insideSq += step * step;
      ++inside;
    }
  }
  const double join = std::sqrt(joinSq / joins), residual = std::sqrt(insideSq / inside);
  EXPECT_LT(residual, 1.0);
  EXPECT_LE(join, 2.0 * residual) << "join step " << join << " px, inside the blocks " << residual << " px";
}

TEST(VideoEngineStabClip, PanIsKeptWhileJitterGoes) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-4.0, 4.0);
  std::vector<double> x(90);
  for (int k = 0; k < 90; ++k) x[k] = 3.0 * k - 135 + u(rng);
  const std::string path = clips::TempDir("stab_panjitter") + "/pan.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 90, 30, cv::Size(320, 240), [&](int k) {
    clips::Pose p;
    p.tx = x[k];
    return p;
  }, 9, false));
  SummarizedVideo v = StabilizeClip(path, {Block(0, 3000000, 90)});
  ASSERT_EQ(v.blocks[0].transforms.size(), 90u);
  // Stabilised position of the content: its position moved by the correction.
  std::vector<double> in, out;
  for (int k = 1; k < 90; ++k) {
    in.push_back(x[k] - x[k - 1]);
    out.push_back((x[k] + v.blocks[0].transforms[k][2]) - (x[k - 1] + v.blocks[0].transforms[k - 1][2]));
  }
  auto meanOf = [](const std::vector<double>& d) {
    double s = 0;
    for (double e : d) s += e;
    return s / d.size();
  };
  auto rmsAbout = [](const std::vector<double>& d, double m) {
    double s = 0;
    for (double e : d) s += (e - m) * (e - m);
    return std::sqrt(s / d.size());
  };
  // Skip the start, where the window is still one-sided.
  std::vector<double> steady(out.begin() + 10, out.end());
  EXPECT_NEAR(meanOf(steady), 3.0, 0.3);
  EXPECT_LE(rmsAbout(steady, 3.0), 0.25 * rmsAbout(in, 3.0));
}

TEST(VideoEngineStabClip, RotationOnWideVideoIsCorrectedWithoutShear) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  std::vector<clips::Pose> poses(60);
  for (auto& p : poses) p.angleDeg = u(rng);
  const cv::Size size(640, 360);
  const std::string path = clips::TempDir("stab_rot") + "/rot.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 60, 30, size, [&](int k) { return poses[k]; }, 13, false));
  SummarizedVideo measured = StabilizeClip(path, {Block(0, 2000000, 60)});

  // The same trajectory arithmetic on the true motions.
  Injected ideal;
  ideal.Add(Block(0, 2000000, 60));
  ideal.Prepare();
  const cv::Size canvas(size.width * 3, size.height * 3);
  auto full = [&](int k) {
    cv::Mat m = cv::Mat::eye(3, 3, CV_64F);
    clips::PoseMatrix(poses[k], canvas, size).copyTo(m(cv::Rect(0, 0, 3, 2)));
    return m;
  };
  for (int k = 1; k < 60; ++k) {
    cv::Mat m = full(k) * full(k - 1).inv();
    m.convertTo(ideal.Motion(0, k), CV_32F);
  }
  ideal.Run();
  for (int k = 1; k < 60; ++k) {
    cv::Mat t(3, 3, CV_32F, measured.blocks[0].transforms[k].data());
    const AffineParams got = DecomposeAffine(t);
    cv::Mat e(3, 3, CV_32F, ideal.video.blocks[0].transforms[k].data());
    const AffineParams want = DecomposeAffine(e);
    EXPECT_NEAR(got.angle, want.angle, 0.2) << k;
    EXPECT_NEAR(got.shear, 0.0, 0.005) << k;
    EXPECT_NEAR(got.scaleX, got.scaleY, 0.005) << k;
  }
}

// ---------------------------------------------------------------- engine pass

TEST(VideoEngineStabPass, EndOfVideoCutsTheBlockAndLaterBlocksKeepTheirs) {
  const std::string path = clips::TempDir("stab_end") + "/short.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 90, 30, cv::Size(160, 120), [](int k) {
    clips::Pose p;
    p.tx = (k % 3) - 1;
    return p;
  }, 4, false));
  OrvVideoEngine engine;
  engine.ResetCancel();
  std::vector<SummarizedVideo> list(1);
  list[0].fileName = path;
  list[0].blocks = {Block(0, 1000000, 30), Block(2500000, 5500000, 90), Block(6000000, 9000000, 90)};
  EXPECT_TRUE(engine.StartStabilizedVideoList(&list));
  EXPECT_EQ(list[0].blocks[0].sfSize, 30);
  EXPECT_EQ(list[0].blocks[1].sfSize, 15);
  EXPECT_EQ(list[0].blocks[2].sfSize, 90);
  for (const SuperFrame& sf : list[0].blocks) EXPECT_EQ(sf.transforms.size(), static_cast<size_t>(sf.sfSize));
  for (const auto& t : list[0].blocks[2].transforms) EXPECT_TRUE(IsIdentity(t));
  EXPECT_EQ(engine.GetStabilizationProgress(), 100);
}

TEST(VideoEngineStabPass, ProgressAndCancel) {
  const std::string dir = clips::TempDir("stab_cancel");
  const std::string path = dir + "/long.avi";
  ASSERT_TRUE(clips::WritePoseClip(path, 360, 30, cv::Size(320, 240), [](int k) {
    clips::Pose p;
    p.tx = 2.0 * std::sin(k * 0.7);
    return p;
  }, 6, false));
  auto makeList = [&] {
    std::vector<SummarizedVideo> list(2);
    for (auto& v : list) {
      v.fileName = path;
      for (int b = 0; b < 4; ++b) v.blocks.push_back(Block(b * 3000000, (b + 1) * 3000000, 90));
    }
    return list;
  };
  OrvVideoEngine engine;
  engine.ResetCancel();

  // Full pass, polled.
  std::vector<SummarizedVideo> list = makeList();
  std::atomic<bool> done{false};
  std::vector<int> seen;
  std::thread poller([&] {
    while (!done) {
      seen.push_back(engine.GetStabilizationProgress());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(engine.StartStabilizedVideoList(&list));
  const double fullSec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  done = true;
  poller.join();
  EXPECT_EQ(engine.GetStabilizationProgress(), 100);
  bool middle = false;
  for (int p : seen) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p, 100);
    middle = middle || (p > 0 && p < 100);
  }
  EXPECT_TRUE(middle);

  // Cancelled once the pass reports progress.
  list = makeList();
  std::atomic<bool> finished{false};
  std::chrono::steady_clock::time_point cancelAt;
  std::thread canceller([&] {
    while (!finished && engine.GetStabilizationProgress() <= 0) std::this_thread::yield();
    cancelAt = std::chrono::steady_clock::now();
    engine.Cancel();
  });
  EXPECT_FALSE(engine.StartStabilizedVideoList(&list));
  const auto returnedAt = std::chrono::steady_clock::now();
  finished = true;
  canceller.join();
  const double afterCancel = std::chrono::duration<double>(returnedAt - cancelAt).count();
  // Well before the pass would have ended (loose bound: CI machines are shared).
  EXPECT_LT(afterCancel, 0.25 * fullSec) << afterCancel << " s after the cancel, full pass " << fullSec;
  for (const auto& v : list)
    for (const SuperFrame& sf : v.blocks) EXPECT_EQ(sf.transforms.size(), static_cast<size_t>(sf.sfSize));

  // A cancel that is still set refuses the next pass and leaves the counters.
  const int before = engine.GetStabilizationProgress();
  list = makeList();
  EXPECT_FALSE(engine.StartStabilizedVideoList(&list));
  EXPECT_EQ(engine.GetStabilizationProgress(), before);
  for (const auto& v : list)
    for (const SuperFrame& sf : v.blocks) EXPECT_EQ(sf.transforms.size(), static_cast<size_t>(sf.sfSize));
  engine.ResetCancel();

  EXPECT_FALSE(engine.StartStabilizedVideoList(nullptr));
  std::vector<SummarizedVideo> empty;
  EXPECT_TRUE(engine.StartStabilizedVideoList(&empty));
  EXPECT_EQ(engine.mStabilizationProgress.load(), 100);
  EXPECT_EQ(engine.GetStabilizationProgress(), 0);
}
