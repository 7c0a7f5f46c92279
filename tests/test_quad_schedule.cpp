// Frame schedules of the quad transitions and the option tables, without GL.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <opencv2/core.hpp>

#include "FrameWalk.h"
#include "ScreenQuadTransition.h"
#include "ShaderUtils.h"
#include "Transition_Move.h"
#include "Transition_Pendulum.h"
#include "Transition_Swirl.h"
#include "Transition_Zoom.h"

namespace {

using framewalk::Replay;
using framewalk::Rule;
using framewalk::Walk;

constexpr int E = framewalk::kEnd;

Rule QuadRule(int curveStart, bool advanceFirst = false) {
  Rule rule;
  rule.curveStart = curveStart;
  rule.advanceFirst = advanceFirst;
  return rule;
}

std::vector<int> I2ISchedule(int frameLength, int transitionLength, int curveStart, bool advanceFirst) {
  return Replay(Walk::Pictures(frameLength, transitionLength, QuadRule(curveStart, advanceFirst)));
}

std::vector<int> I2VSchedule(int sfSize, int transitionLength, int readableFrames, int curveStart) {
  return Replay(Walk::IntoVideo(sfSize, transitionLength, QuadRule(curveStart)), readableFrames);
}

std::vector<int> V2ISchedule(int sfSize, int frameLength, int lead, int transitionLength, int readableFrames,
                             int curveStart) {
  return Replay(Walk::OutOfVideo(sfSize, frameLength, lead, transitionLength, QuadRule(curveStart)), readableFrames);
}
const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(QuadSchedule, PictureToPictureTakesTheCurveThenTheEndValue) {
  // frameLength = transitionLength: curve[0..T-1]; curve[T] is never taken.
  EXPECT_EQ(I2ISchedule(10, 10, 0, false), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // A hold after the transition stands on the end value.
  EXPECT_EQ(I2ISchedule(12, 10, 0, false), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, E, E}));
  // Fewer frames than the transition: stops part-way.
  EXPECT_EQ(I2ISchedule(3, 10, 0, false), (std::vector<int>{0, 1, 2}));
  // No transition: every frame at the end value; no frames: nothing.
  EXPECT_EQ(I2ISchedule(4, 0, 0, false), (std::vector<int>{E, E, E, E}));
  EXPECT_TRUE(I2ISchedule(0, 10, 0, false).empty());
  EXPECT_TRUE(I2ISchedule(-3, 10, 0, false).empty());
}

TEST(QuadSchedule, ZoomAdvancesFirstAndPendulumStartsAtOne) {
  // Zoom, picture to picture: frame k takes curve[k + 1]; the last frame 100.
  EXPECT_EQ(I2ISchedule(10, 10, 0, true), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(I2ISchedule(11, 10, 0, true).back(), E);
  // Pendulum: curve[k + 1] up to k = T - 2, the end value from T - 1 on.
  EXPECT_EQ(I2ISchedule(10, 10, 1, false), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, E}));
  EXPECT_EQ(I2ISchedule(3, 1, 1, false), (std::vector<int>{E, E, E}));
  EXPECT_EQ(I2ISchedule(3, 2, 1, false), (std::vector<int>{1, E, E}));
}

TEST(QuadSchedule, PictureToVideoWritesOneFramePerFrameRead) {
  EXPECT_EQ(I2VSchedule(10, 4, -1, 0), (std::vector<int>{0, 1, 2, 3, E, E, E, E, E, E}));
  // Transition as long as the block: the end value is never reached.
  EXPECT_EQ(I2VSchedule(10, 10, -1, 0), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // The video runs out after 6 frames: the scene ends early, part-way along.
  EXPECT_EQ(I2VSchedule(10, 8, 6, 0), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  // Nothing readable, or an empty block: no frame.
  EXPECT_TRUE(I2VSchedule(10, 4, 0, 0).empty());
  EXPECT_TRUE(I2VSchedule(0, 0, -1, 0).empty());
  // Pendulum's position starts at 1.
  EXPECT_EQ(I2VSchedule(5, 4, -1, 1), (std::vector<int>{1, 2, 3, E, E}));
}

TEST(QuadSchedule, VideoToPictureLeadsInAndAlwaysWritesFrameLength) {
  // sfSize 10, T 4, lead-in 6: curve[0] through the lead-in, then 1, 2, 3, end.
  EXPECT_EQ(V2ISchedule(10, 10, 6, 4, -1, 0), (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 2, 3, E}));
  // Pendulum, the same block: curve[1] through the lead-in, 2, 3, end, end.
  EXPECT_EQ(V2ISchedule(10, 10, 6, 4, -1, 1), (std::vector<int>{1, 1, 1, 1, 1, 1, 2, 3, E, E}));
  // No lead-in: the first frame already takes curve[1].
  EXPECT_EQ(V2ISchedule(5, 5, 0, 5, -1, 0), (std::vector<int>{1, 2, 3, 4, E}));
  // The video runs out at frame 7: the rest shows the end value, still 10 frames.
  EXPECT_EQ(V2ISchedule(10, 10, 6, 4, 7, 0), (std::vector<int>{0, 0, 0, 0, 0, 0, 1, E, E, E}));
  // Without any frame every frame is at the end value.
  EXPECT_EQ(V2ISchedule(10, 10, 6, 4, 0, 0), std::vector<int>(10, E));
  // No transition: the end value throughout.
  EXPECT_EQ(V2ISchedule(4, 4, 4, 0, -1, 0), std::vector<int>(4, E));
  EXPECT_TRUE(V2ISchedule(10, 0, 6, 4, -1, 0).empty());
}

TEST(QuadOptions, ClassesReadTheOptionWithExactComparisons) {
  EXPECT_EQ(Transition_Swirl::TwistAmountFor(0.0f), -30.0f);
  EXPECT_EQ(Transition_Swirl::TwistAmountFor(-0.0f), -30.0f);
  for (float o : {1.0f, 2.0f, 4.0f, -1.0f, kNaN}) EXPECT_EQ(Transition_Swirl::TwistAmountFor(o), 30.0f) << o;

  EXPECT_EQ(Transition_Zoom::RandomSeedFor(-0.0f), 0.0f);
  for (float o : {1.0f, 2.0f, 4.0f, -1.0f, kNaN}) EXPECT_FLOAT_EQ(Transition_Zoom::RandomSeedFor(o), 0.7f) << o;
  EXPECT_EQ(Transition_Zoom::GetMapFilePath("./ReelkaResource/common/"), "./ReelkaResource/common/map_zoom.png");

  const Transition_Pendulum::Swing first = Transition_Pendulum::SwingFor(-0.0f);
  EXPECT_EQ(first.offset, 0.0f);
  EXPECT_EQ(first.endValue, 0.5f);
  const Transition_Pendulum::Swing second = Transition_Pendulum::SwingFor(kNaN);
  EXPECT_EQ(second.offset, 0.5f);
  EXPECT_EQ(second.endValue, 1.0f);
  // curve x 0.005 in single precision, then the offset.
  EXPECT_EQ(Transition_Pendulum::ValueOf(100.0f, first), 0.5f);
  EXPECT_FLOAT_EQ(Transition_Pendulum::ValueOf(2.6f, second), 0.513f);
}

TEST(QuadOptions, MoveDirectionTable) {
  struct Expect {
    float option;
    int swap;
    float sx, sy, start, end;
  };
  const Expect table[] = {
      {0.0f, 1, 1, 0, 0, 100}, {-0.0f, 1, 1, 0, 0, 100},  {1.0f, 0, 1, 0, 100, 0},   {2.0f, 1, 0, 1, 0, 100},
      {4.0f, 0, 0, 1, 100, 0}, {3.0f, 0, 0, 1, 100, 0},   {2.5f, 0, 0, 1, 100, 0},   {0.999f, 0, 0, 1, 100, 0},
      {kNaN, 0, 0, 1, 100, 0},
  };
  for (const Expect& e : table) {
    const Transition_Move::Row row = Transition_Move::RowFor(e.option);
    EXPECT_EQ(row.swap, e.swap) << e.option;
    EXPECT_EQ(row.slideX, e.sx) << e.option;
    EXPECT_EQ(row.slideY, e.sy) << e.option;
    EXPECT_EQ(row.startValue, e.start) << e.option;
    EXPECT_EQ(row.endValue, e.end) << e.option;
  }
  // The value sent is the distance from the row's start.
  EXPECT_FLOAT_EQ(Transition_Move::ValueOf(23.42f, Transition_Move::RowFor(1.0f)), 76.58f);
  EXPECT_FLOAT_EQ(Transition_Move::ValueOf(23.42f, Transition_Move::RowFor(0.0f)), 23.42f);
}

TEST(QuadUpload, PicturesBecomeEightBitWithOneThreeOrFourChannels) {
  // Already fit: handed on without a copy.
  cv::Mat bgr(9, 7, CV_8UC3, cv::Scalar(1, 2, 3));
  EXPECT_EQ(ShaderUtils::PrepareForUpload(bgr).data, bgr.data);

  cv::Mat deep(4, 5, CV_16UC3, cv::Scalar(257 * 10, 257 * 100, 65535));
  cv::Mat eight = ShaderUtils::PrepareForUpload(deep);
  ASSERT_EQ(eight.type(), CV_8UC3);
  EXPECT_EQ(eight.at<cv::Vec3b>(2, 3), cv::Vec3b(10, 100, 255));

  cv::Mat unit(3, 3, CV_32FC1, cv::Scalar(0.5));
  EXPECT_EQ(ShaderUtils::PrepareForUpload(unit).at<uchar>(1, 1), 128);

  // Grey and alpha keep their alpha.
  cv::Mat greyAlpha(3, 4, CV_8UC2, cv::Scalar(90, 40));
  cv::Mat bgra = ShaderUtils::PrepareForUpload(greyAlpha);
  ASSERT_EQ(bgra.type(), CV_8UC4);
  EXPECT_EQ(bgra.at<cv::Vec4b>(1, 1), cv::Vec4b(90, 90, 90, 40));

  std::vector<cv::Mat> planes;
  for (int c = 1; c <= 6; ++c) planes.push_back(cv::Mat(2, 2, CV_8UC1, cv::Scalar(c)));
  cv::Mat many;
  cv::merge(planes, many);
  cv::Mat three = ShaderUtils::PrepareForUpload(many);
  ASSERT_EQ(three.type(), CV_8UC3);
  EXPECT_EQ(three.at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));

  // A region of a larger picture comes out continuous with its own pixels.
  cv::Mat big(20, 30, CV_8UC3, cv::Scalar(0, 0, 0));
  big(cv::Rect(5, 6, 7, 8)).setTo(cv::Scalar(4, 5, 6));
  cv::Mat roi = ShaderUtils::PrepareForUpload(big(cv::Rect(5, 6, 7, 8)));
  EXPECT_TRUE(roi.isContinuous());
  EXPECT_EQ(roi.size(), cv::Size(7, 8));
  EXPECT_EQ(cv::countNonZero(roi.reshape(1) != 0), 0 + 7 * 8 * 3);

  EXPECT_TRUE(ShaderUtils::PrepareForUpload(cv::Mat()).empty());
}

}  // namespace
