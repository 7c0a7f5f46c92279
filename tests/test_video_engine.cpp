// Video engine: pass arithmetic, reader, camera-motion analysis and the
// summary pass on generated clips.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_video_engine_clips.h"
#include "videoengine/OrvFrameHandler.h"
#include "videoengine/OrvGCMAnalyzer.h"
#include "videoengine/OrvStabilization.h"
#include "videoengine/OrvSummarizer.h"
#include "videoengine/OrvVideoEngine.h"

namespace {

// Clips shared by several tests, written once.
struct SharedClips {
  std::string dir = clips::TempDir("shared");
  std::string staticThenRotating;  // 20 s: static 10 s, then rotating
  std::string zoomInMiddle;        // 15 s: zoom from 4.5 s to 7.5 s
  std::string v20, v10, v25;       // plain clips of 20, 10 and 25 s
  SharedClips() {
    const cv::Size sz(320, 240);
    staticThenRotating = dir + "/s1.avi";
    clips::WritePoseClip(staticThenRotating, 600, 30, sz, [](int k) {
      clips::Pose p;
      if (k >= 300) p.angleDeg = 2.0 * (k - 299);
      return p;
    }, 7, false);
    zoomInMiddle = dir + "/s2.avi";
    clips::WritePoseClip(zoomInMiddle, 450, 30, sz, [](int k) {
      clips::Pose p;
      const int z = std::min(std::max(k - 135, 0), 90);
      p.scale = std::pow(1.015, z);
      return p;
    }, 7, false);
    const cv::Size small(160, 120);
    auto still = [](int) { return clips::Pose(); };
    v20 = dir + "/v20.avi";
    clips::WritePoseClip(v20, 600, 30, small, still, 3);
    v10 = dir + "/v10.avi";
    clips::WritePoseClip(v10, 300, 30, small, still, 4);
    v25 = dir + "/v25.avi";
    clips::WritePoseClip(v25, 750, 30, small, still, 5);
  }
};

SharedClips& Clips() {
  static SharedClips c;
  return c;
}


SummaryPlan Plan(double total, double sf, std::vector<std::string> paths) {
  SummaryPlan p;
  p.summaryLengthSec = total;
  p.sfLengthSec = sf;
  p.videoPaths = std::move(paths);
  return p;
}

}  // namespace

// ---------------------------------------------------------------- arithmetic

TEST(VideoEngineMath, LengthsSharesAndPercent) {
  EXPECT_EQ(ComputeVideoLengthUs(600, 30.0), 20000000);
  EXPECT_EQ(ComputeVideoLengthUs(300, 30.0), 10000000);
  EXPECT_EQ(ComputeVideoLengthUs(17983, 29.97), 600033385);
  EXPECT_EQ(ComputeVideoLengthUs(0, 30.0), 0);
  EXPECT_EQ(ComputeVideoLengthUs(100, 0.0), 0);

  EXPECT_EQ(ComputeVideoShare(20000000, 30000000, 27.0), 18.0f);
  EXPECT_EQ(ComputeVideoShare(10000000, 30000000, 27.0), 9.0f);
  EXPECT_EQ(ComputeVideoShare(20000000, 30000000, 9.0), 6.0f);
  EXPECT_EQ(ComputeVideoShare(10000000, 30000000, 9.0), 3.0f);
  EXPECT_EQ(ComputeVideoShare(17000000, 30000000, 45.0), 25.0f);
  EXPECT_EQ(ComputeVideoShare(13000000, 30000000, 45.0), 19.0f);
  EXPECT_EQ(ComputeVideoShare(5000000, 15000000, 36.0), 12.0f);
  EXPECT_EQ(ComputeVideoShare(25000000, 25000000, 9.5), 9.0f);
  // Nothing measured, nothing planned: no share and no division by zero.
  EXPECT_EQ(ComputeVideoShare(0, 0, 9.0), 0.0f);
  EXPECT_EQ(ComputeVideoShare(10, 10, 0.0), 0.0f);

  EXPECT_EQ(ComputePassPercent(3, 1, 50), 50);
  EXPECT_EQ(ComputePassPercent(3, 2, 99), 99);
  EXPECT_EQ(ComputePassPercent(3, 2, 100), 100);
  EXPECT_EQ(ComputePassPercent(3, 0, 100), 33);
  EXPECT_EQ(ComputePassPercent(0, 5, 100), 0);
  EXPECT_EQ(ComputePassPercent(1, 1, 150), 100);
}

TEST(VideoEngineMath, BlockCountFrameNumbersAndWeights) {
  EXPECT_EQ(ComputeBlockCount(9.0f, 3.0f), 3);
  EXPECT_EQ(ComputeBlockCount(10.0f, 3.0f), 4);
  EXPECT_EQ(ComputeBlockCount(9.0f, 2.0f), 5);
  EXPECT_EQ(ComputeBlockCount(8.0f, 2.0f), 4);
  EXPECT_EQ(ComputeBlockCount(0.2f, 3.0f), 0);
  EXPECT_EQ(ComputeBlockCount(9.0f, 0.0f), 0);
  EXPECT_EQ(ComputeBlockCount(0.0f, 3.0f), 0);

  EXPECT_EQ(TimestampToFrame(3003003, 29.97f) - TimestampToFrame(0, 29.97f), 90);
  EXPECT_EQ(TimestampToFrame(3000000, 30.0f), 90);

  auto middle = [](int p, int c, int x) {
    std::vector<float> pw, nw, fw;
    ComputeWindowWeights({p, c, x}, pw, nw, fw);
    return fw[1];
  };
  EXPECT_FLOAT_EQ(middle(2, 1, 1), 1.2f);
  EXPECT_FLOAT_EQ(middle(2, 1, 3), 1.0f);
  EXPECT_FLOAT_EQ(middle(1, 4, 1), 0.9f);
  EXPECT_FLOAT_EQ(middle(1, 4, 4), 1.0f);
  EXPECT_FLOAT_EQ(middle(4, 3, 1), 1.2f);
  EXPECT_FLOAT_EQ(middle(4, 1, 1), 1.1f);
  EXPECT_FLOAT_EQ(middle(1, 6, 2), 1.0f);

  std::vector<float> pw, nw, fw;
  ComputeWindowWeights({2, 1, 5}, pw, nw, fw);
  EXPECT_FLOAT_EQ(fw[0], 1.2f);
  ComputeWindowWeights({1, 2, 5}, pw, nw, fw);
  EXPECT_FLOAT_EQ(fw[0], 1.0f);
  ComputeWindowWeights({5, 1, 2}, pw, nw, fw);
  EXPECT_FLOAT_EQ(fw[2], 1.2f);
  ComputeWindowWeights({5, 2, 1}, pw, nw, fw);
  EXPECT_FLOAT_EQ(fw[2], 1.0f);
  // A single window has no neighbour to read.
  ComputeWindowWeights({3}, pw, nw, fw);
  ASSERT_EQ(fw.size(), 1u);
  EXPECT_FLOAT_EQ(fw[0], 1.0f);
}

TEST(VideoEngineProgress, ReporterAndSharedCancelFlag) {
  std::atomic<int> target{40};
  {
    OrvVideoEngineProgressStatus none;
    none.SetProgress(57);
    EXPECT_EQ(none.GetProgress(), 0);
    OrvVideoEngineProgressStatus r;
    r.mProgressTarget = &target;
    EXPECT_EQ(r.GetProgress(), 40);
    r.SetProgress(150);
    EXPECT_EQ(target.load(), 150);
    r.SetProgress(-3);
    EXPECT_EQ(target.load(), -3);
    r.ResetProgress();
    EXPECT_EQ(target.load(), 0);
    r.SetProgress(60);
  }
  EXPECT_EQ(target.load(), 0);  // destroyed with a target

  OrvVideoEngineCancelTask a, b;
  EXPECT_FALSE(a.IsCanceled());
  a.SetCancel(true);
  EXPECT_TRUE(b.IsCanceled());
  b.ResetCancel();
  EXPECT_FALSE(a.IsCanceled());
}

// ---------------------------------------------------------------- reader

TEST(VideoEngineReader, TimestampsAndSeekPositions) {
  OrvFrameHandler r;
  r.mFps = 29.97;
  EXPECT_EQ(r.timestampOf(2), 66733);
  EXPECT_EQ(r.timestampOf(45), 1501501);
  r.seekTo(1500000);
  EXPECT_EQ(r.mFrameIndex, 45);
  r.mFps = 30.0;
  EXPECT_EQ(r.timestampOf(2), 66666);
  r.seekTo(1500000);
  EXPECT_EQ(r.mFrameIndex, 45);
  r.mFps = 25.0;
  r.seekTo(1500000);
  EXPECT_EQ(r.mFrameIndex, 38);
  r.seekTo(0);
  EXPECT_EQ(r.mFrameIndex, 0);
  EXPECT_FALSE(r.seekTo(-5));
  EXPECT_EQ(r.mFrameIndex, 0);
  // Beyond the 32-bit microsecond range there is no timestamp.
  r.mFps = 1.0;
  EXPECT_EQ(r.timestampOf(2147), 2147000000);
  EXPECT_EQ(r.timestampOf(2148), -1);

  OrvFrameHandler empty;
  EXPECT_TRUE(empty.setParameters(0, "", ""));
  EXPECT_EQ(empty.mFps, 0.0);
  EXPECT_EQ(empty.mFrameCount, 0);
  cv::Mat f;
  EXPECT_EQ(empty.readFrame(f), -1);
  EXPECT_TRUE(f.empty());
}

TEST(VideoEngineReader, KeyFramePairsFollowTheSeekOffset) {
  const std::string path = Clips().v10;  // 160x120, 300 frames at 30 fps
  OrvFrameHandler r;
  ASSERT_TRUE(r.setParameters(1500000, path, ""));
  EXPECT_EQ(r.mFrameCount, 300);
  FrameBatch batch(8);
  EXPECT_EQ(r.readFrames(&batch), 8);
  const int expected[] = {0, 2, 45, 47, 90, 92, 135, 137};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(batch.timestamps[i], r.timestampOf(expected[i])) << i;
    ASSERT_EQ(batch.frames[i].size(), cv::Size(kKeyFrameWidth, kKeyFrameHeight));
    ASSERT_EQ(batch.frames[i].channels(), 1);
    EXPECT_EQ(clips::ReadFrameNumber(batch.frames[i], 496.0 / 160, 240.0 / 120), expected[i]) << i;
  }
  // A full batch takes nothing.
  EXPECT_EQ(r.readFrames(&batch), 0);
  // Reading on to the end, then -1.
  FrameBatch rest(400);
  EXPECT_EQ(r.readFrames(&rest), 6);  // pairs at 6, 7.5, 9 s
  EXPECT_EQ(r.readFrames(&rest), -1);

  // Random access by seek returns the stamped frame.
  OrvFrameHandler s;
  ASSERT_TRUE(s.setParameters(0, path, ""));
  cv::Mat f;
  for (int target : {200, 17, 18, 250, 5}) {
    s.seekTo(s.timestampOf(target) + 1);
    ASSERT_GE(s.readFrame(f), 0);
    EXPECT_EQ(clips::ReadFrameNumber(f), target);
  }
}

TEST(VideoEngineReader, ZeroOffsetStillReachesTheEnd) {
  OrvFrameHandler r;
  ASSERT_TRUE(r.setParameters(0, Clips().v10, ""));
  FrameBatch batch(400);
  int total = 0, calls = 0;
  for (int n; (n = r.readFrames(&batch)) > 0 && calls < 10; ++calls) {
    total += n;
    batch.count = 0;
  }
  EXPECT_LT(calls, 10);
  EXPECT_EQ(total, 150);  // every second frame of 300
}

// ---------------------------------------------------------------- analysis

TEST(VideoEngineGCM, PairScoresTypesAndClasses) {
  OrvGCMAnalyzer g;
  EXPECT_NEAR(g.computeZoomScore(1.03f, 1.03f, 1.03f, 1.03f, 3), 1.178, 0.001);
  EXPECT_NEAR(g.computeZoomScore(0.97f, 0.97f, 0.97f, 0.97f, 3), 0.852, 0.001);
  EXPECT_FLOAT_EQ(g.computeZoomScore(1.0f, 1.0f, 1.0f, 1.0f, 3), 1.0f);

  auto sim = [](float s, float angleDeg, float tx, float ty) {
    const float a = angleDeg * static_cast<float>(CV_PI) / 180.0f;
    cv::Mat m = cv::Mat::eye(3, 3, CV_32F);
    m.at<float>(0, 0) = s * std::cos(a);
    m.at<float>(0, 1) = s * std::sin(a);
    m.at<float>(1, 0) = -s * std::sin(a);
    m.at<float>(1, 1) = s * std::cos(a);
    m.at<float>(0, 2) = tx;
    m.at<float>(1, 2) = ty;
    return m;
  };
  const cv::Mat I = cv::Mat::eye(3, 3, CV_32F);
  int type = 0;
  EXPECT_FLOAT_EQ(g.classifyMotionPair(false, false, type, I, I), 0.5f);
  EXPECT_EQ(type, 1);
  EXPECT_FLOAT_EQ(g.classifyMotionPair(false, true, type, I, I), -1.0f);
  EXPECT_EQ(type, 4);
  EXPECT_NEAR(g.classifyMotionPair(false, false, type, sim(1, 0, 0, 0), sim(1, 0, 75, 0)), 0.5 * std::exp(-1.0),
              1e-4);
  EXPECT_EQ(type, 2);
  EXPECT_NEAR(g.classifyMotionPair(false, false, type, I, sim(1, 9, 0, 0)), 0.288, 0.001);
  EXPECT_EQ(type, 4);
  g.classifyMotionPair(false, false, type, sim(1, 0, 4.0f, 0), sim(1, 0, -4.0f, 0));
  EXPECT_EQ(type, 1);  // 4.0 is not a pan
  g.classifyMotionPair(false, false, type, sim(1.03f, 0, 0, 0), I);
  EXPECT_EQ(type, 3);
  g.classifyMotionPair(false, false, type, sim(0.97f, 0, 0, 0), I);
  EXPECT_EQ(type, 4);
  g.classifyMotionPair(false, false, type, sim(1, 1.0f, 0, 0), I);
  EXPECT_EQ(type, 1);  // exactly one degree is not a rotation

  int cls = 0;
  float factor = 0;
  EXPECT_TRUE(OrvGCMAnalyzer::lookupClass(2, 1, cls, factor));
  EXPECT_EQ(cls, 6);
  EXPECT_FLOAT_EQ(factor, 1.2f);
  EXPECT_TRUE(OrvGCMAnalyzer::lookupClass(1, 3, cls, factor));
  EXPECT_EQ(cls, 7);
  EXPECT_FLOAT_EQ(factor, 1.1f);
  cls = 7;
  EXPECT_FALSE(OrvGCMAnalyzer::lookupClass(4, 2, cls, factor));
  EXPECT_EQ(cls, 7);
}

TEST(VideoEngineGCM, EstimatesOnSyntheticKeyFrames) {
  const cv::Mat canvas = clips::MakeTexture(1488, 720, 11);
  auto key = [&](clips::Pose p) {
    cv::Mat f = clips::RenderFrame(canvas, p, cv::Size(496, 240)), g;
    cv::cvtColor(f, g, cv::COLOR_BGR2GRAY);
    return g;
  };
  OrvGCMAnalyzer g;
  bool invalid = true;
  clips::Pose shifted;
  shifted.tx = 6.0;
  cv::Mat m = g.estimateGlobalMotion(invalid, key(clips::Pose()), key(shifted));
  EXPECT_FALSE(invalid);
  EXPECT_NEAR(m.at<float>(0, 2), 6.0, 0.1);
  EXPECT_NEAR(m.at<float>(1, 2), 0.0, 0.1);

  cv::Mat still = key(clips::Pose());
  m = g.estimateGlobalMotion(invalid, still, still.clone());
  EXPECT_FALSE(invalid);
  EXPECT_EQ(cv::countNonZero(m != cv::Mat::eye(3, 3, CV_32F)), 0);

  cv::Mat black = cv::Mat::zeros(240, 496, CV_8U);
  m = g.estimateGlobalMotion(invalid, black, still);
  EXPECT_FALSE(invalid);
  EXPECT_EQ(cv::countNonZero(m != cv::Mat::eye(3, 3, CV_32F)), 0);

  const cv::Mat other = clips::MakeTexture(1488, 720, 99);
  cv::Mat o = clips::RenderFrame(other, clips::Pose(), cv::Size(496, 240)), og;
  cv::cvtColor(o, og, cv::COLOR_BGR2GRAY);
  g.estimateGlobalMotion(invalid, still, og);
  EXPECT_TRUE(invalid);

  // A window of identical frames: class 1, score exactly 0.5.
  FrameBatch batch(6);
  for (int i = 0; i < 6; ++i) batch.frames[i] = still;
  batch.count = 6;
  int cls = 0;
  EXPECT_FLOAT_EQ(g.analyzeFrames(batch, 0, cls), 0.5f);
  EXPECT_EQ(cls, 1);
}

// ---------------------------------------------------------------- summary pass

TEST(VideoEngineSummary, StaticWindowsBeatRotation) {
  OrvVideoEngine engine;
  const SummaryPlan plan = Plan(9.0, 3.0, {Clips().staticThenRotating});
  std::vector<SummarizedVideo>* list = engine.StartSummaryVideoList(&plan);
  ASSERT_EQ(list->size(), 1u);
  const SummarizedVideo& v = (*list)[0];
  EXPECT_EQ(v.fileName, Clips().staticThenRotating);
  ASSERT_EQ(v.blocks.size(), 3u);
  const int32_t starts[] = {0, 3000000, 6000000};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(v.blocks[i].sfStart, starts[i]);
    EXPECT_EQ(v.blocks[i].sfEnd, starts[i] + 3000000);
    EXPECT_EQ(v.blocks[i].sfSize, 90);
    EXPECT_EQ(v.blocks[i].camera, 1);
    EXPECT_FLOAT_EQ(v.blocks[i].interestingness, 0.5f);
    EXPECT_TRUE(v.blocks[i].transforms.empty());
  }
  EXPECT_EQ(engine.GetSummaryProgress(), 100);
  EXPECT_EQ(engine.GetSummarizedVideoList(), list);
}

TEST(VideoEngineSummary, ZoomIsPreferred) {
  OrvVideoEngine engine;
  const SummaryPlan plan = Plan(3.0, 3.0, {Clips().zoomInMiddle});
  const auto& v = (*engine.StartSummaryVideoList(&plan))[0];
  ASSERT_EQ(v.blocks.size(), 1u);
  const SuperFrame& b = v.blocks[0];
  EXPECT_LT(b.sfStart, 7500000);
  EXPECT_GT(b.sfEnd, 4500000);
  EXPECT_TRUE(b.camera == 3 || b.camera == 7 || b.camera == 8) << b.camera;
  EXPECT_GT(b.interestingness, 0.5f);
}

TEST(VideoEngineSummary, SharesAndBlockCountsFollowThePlan) {
  clips::LogCapture log;
  OrvVideoEngine engine;
  SummaryPlan one = Plan(9.0, 3.0, {Clips().v25});
  auto* list = engine.StartSummaryVideoList(&one);
  ASSERT_EQ(list->size(), 1u);
  ASSERT_EQ((*list)[0].blocks.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const SuperFrame& b = (*list)[0].blocks[i];
    EXPECT_EQ(b.sfEnd - b.sfStart, 3000000);
    EXPECT_EQ(b.sfSize, 90);
    EXPECT_GE(b.camera, 0);
    EXPECT_LE(b.camera, 10);
    if (i > 0) {
      EXPECT_GE(b.sfStart, (*list)[0].blocks[i - 1].sfEnd);
    }
  }
  EXPECT_EQ(log.Count("start Index : "), 3);

  SummaryPlan two = Plan(27.0, 3.0, {Clips().v20, Clips().v10});
  auto* again = engine.StartSummaryVideoList(&two);
  EXPECT_EQ(again, list);  // same list, refilled
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ((*list)[0].blocks.size(), 6u);  // every window of the 20-s clip
  EXPECT_EQ((*list)[1].blocks.size(), 3u);
  for (size_t i = 1; i < (*list)[0].blocks.size(); ++i)
    EXPECT_EQ((*list)[0].blocks[i].sfStart, (*list)[0].blocks[i - 1].sfEnd);  // abutting windows

  SummaryPlan twoBlocks = Plan(8.0, 2.0, {Clips().v25});
  EXPECT_EQ((*engine.StartSummaryVideoList(&twoBlocks))[0].blocks.size(), 4u);
}

TEST(VideoEngineSummary, ShortVideosAndEmptyPlans) {
  const std::string dir = clips::TempDir("short");
  auto still = [](int) { return clips::Pose(); };
  const std::string v92 = dir + "/v92.avi", v93 = dir + "/v93.avi", v150 = dir + "/v150.avi";
  ASSERT_TRUE(clips::WritePoseClip(v92, 92, 30, cv::Size(160, 120), still));
  ASSERT_TRUE(clips::WritePoseClip(v93, 93, 30, cv::Size(160, 120), still));
  ASSERT_TRUE(clips::WritePoseClip(v150, 150, 30, cv::Size(160, 120), still));

  clips::LogCapture log;
  OrvVideoEngine engine;
  SummaryPlan plan = Plan(9.0, 3.0, {v92, v93, v150});
  auto* list = engine.StartSummaryVideoList(&plan);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_TRUE((*list)[0].blocks.empty());
  ASSERT_EQ((*list)[1].blocks.size(), 1u);  // one window: no neighbour read
  EXPECT_NEAR((*list)[1].blocks[0].interestingness, 0.5f, 1e-3);
  ASSERT_EQ((*list)[2].blocks.size(), 1u);
  EXPECT_GE(log.Count("numSuperFrames is invalid"), 1);

  // Image-band plans keep nothing and must not hang.
  for (const SummaryPlan& p : {Plan(0.0, 0.0, {v150}), Plan(9.0, 0.0, {v150}), Plan(0.0, 3.0, {v150})}) {
    auto* l = engine.StartSummaryVideoList(&p);
    ASSERT_EQ(l->size(), 1u);
    EXPECT_TRUE((*l)[0].blocks.empty());
  }
  EXPECT_GE(log.Count("Summary plan keeps nothing"), 3);
  SummaryPlan none = Plan(9.0, 3.0, {});
  EXPECT_TRUE(engine.StartSummaryVideoList(&none)->empty());
  EXPECT_EQ(engine.GetSummaryProgress(), 0);
}

TEST(VideoEngineSummary, ProgressIsPolledWhileRunning) {
  OrvVideoEngine engine;
  SummaryPlan plan = Plan(9.0, 3.0, {Clips().v20, Clips().v10, Clips().v25});
  std::atomic<bool> done{false};
  std::vector<int> seen;
  std::thread poller([&] {
    while (!done) {
      seen.push_back(engine.GetSummaryProgress());
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  engine.Cancel();  // the summary pass does not stop for it
  auto* list = engine.StartSummaryVideoList(&plan);
  done = true;
  poller.join();
  engine.ResetCancel();
  EXPECT_EQ(list->size(), 3u);
  for (const auto& v : *list) EXPECT_FALSE(v.blocks.empty());
  EXPECT_EQ(engine.GetSummaryProgress(), 100);
  ASSERT_FALSE(seen.empty());
  int maxSeen = 0;
  for (int p : seen) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p, 100);
    maxSeen = std::max(maxSeen, p);
  }
  EXPECT_GT(maxSeen, 0);
}
