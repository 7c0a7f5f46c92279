// Progress curve and scene frame counts: pure arithmetic, no GL.
#include <gtest/gtest.h>

#include <cmath>

#include "ProgressCurve.h"
#include "Transition_ThreeWay.h"
#include "fxcontroller/OrvVideoFXController.h"

namespace {

std::vector<float> Scaled(int n) { return ScaleProgressCurve(100, MakeProgressCurve(n)); }

TEST(CurveTest, KnownLengthsGiveTheEasedValues) {
  const std::vector<float> ten = Scaled(10);
  const float expect10[] = {0, 2.60f, 10.41f, 23.42f, 39.03f, 54.65f, 70.26f, 76.58f, 89.59f, 97.40f, 100};
  ASSERT_EQ(ten.size(), 11u);
  for (size_t i = 0; i < ten.size(); ++i) EXPECT_NEAR(ten[i], expect10[i], 0.01) << "i=" << i;

  const std::vector<float> raw = MakeProgressCurve(10);
  const float raw10[] = {0, 0.35f, 1.4f, 3.15f, 5.25f, 7.35f, 9.45f, 10.3f, 12.05f, 13.1f, 13.45f};
  for (size_t i = 0; i < raw.size(); ++i) EXPECT_NEAR(raw[i], raw10[i], 1e-4) << "i=" << i;

  const std::vector<float> six = Scaled(6);
  const float expect6[] = {0, 7.29f, 29.17f, 58.33f, 70.83f, 92.71f, 100};
  ASSERT_EQ(six.size(), 7u);
  for (size_t i = 0; i < six.size(); ++i) EXPECT_NEAR(six[i], expect6[i], 0.01) << "i=" << i;
}

TEST(CurveTest, ZeroAndShortLengthsRampWithoutDividingByZero) {
  EXPECT_EQ(MakeProgressCurve(0), std::vector<float>{0.0f});
  EXPECT_EQ(Scaled(0), std::vector<float>{0.0f});
  EXPECT_EQ(MakeProgressCurve(-3), std::vector<float>{0.0f});
  for (int n = 1; n <= 5; ++n) {
    const std::vector<float> c = Scaled(n);
    ASSERT_EQ(c.size(), static_cast<size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) {
      ASSERT_TRUE(std::isfinite(c[i]));
      EXPECT_NEAR(c[i], 100.0f * i / n, 1e-3) << "n=" << n << " i=" << i;
    }
  }
  // A curve that cannot be scaled becomes a ramp instead of NaN.
  const std::vector<float> flat = ScaleProgressCurve(100, std::vector<float>{0, 0, 0});
  EXPECT_FLOAT_EQ(flat[1], 50.0f);
  EXPECT_FLOAT_EQ(flat[2], 100.0f);
}

TEST(CurveTest, EveryLengthRisesFromZeroToTheMaximum) {
  for (int n = 0; n <= 3000; ++n) {
    for (int maximum : {100, 7}) {
      const std::vector<float> c = ScaleProgressCurve(maximum, MakeProgressCurve(n));
      ASSERT_EQ(c.size(), static_cast<size_t>(n) + 1);
      ASSERT_EQ(c[0], 0.0f) << n;
      for (size_t i = 1; i < c.size(); ++i) {
        ASSERT_TRUE(std::isfinite(c[i])) << n;
        ASSERT_GE(c[i], c[i - 1]) << "n=" << n << " i=" << i;
      }
      if (n > 0) {
        ASSERT_NEAR(c.back(), maximum, maximum * 1e-6) << n;
      }
    }
  }
}

TEST(CurveTest, ProgressAtSendsTheCurveThenTheEndValue) {
  const std::vector<float> c = Scaled(10);
  EXPECT_EQ(ProgressAt(c, 0, 10, 100.0f), c[0]);
  EXPECT_EQ(ProgressAt(c, 9, 10, 100.0f), c[9]);
  EXPECT_EQ(ProgressAt(c, 10, 10, 100.0f), 100.0f);
  EXPECT_EQ(ProgressAt(c, 30, 10, 100.0f), 100.0f);
}

TEST(CurveTest, ThreePanelValuesStartMovedAndEndAtOneHalf) {
  EXPECT_TRUE(Transition_ThreeWay::ProgressValues(0).empty());
  const std::vector<float> v = Transition_ThreeWay::ProgressValues(10);
  ASSERT_EQ(v.size(), 10u);
  EXPECT_NEAR(v[0], 2.60f * 0.005f, 1e-4);
  EXPECT_GT(v[0], 0.0f);
  EXPECT_FLOAT_EQ(v[9], 0.5f);
  const std::vector<float> one = Transition_ThreeWay::ProgressValues(1);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_FLOAT_EQ(one[0], 0.5f);
}

TEST(SceneFramesTest, CountsAt2997FramesPerSecond) {
  const float fps = 29.97f;
  EXPECT_EQ(fxframes::ImageHold(fps, 2.0f), 59);
  EXPECT_EQ(fxframes::ImageHold(fps, 1.0f), 29);
  EXPECT_EQ(fxframes::ImageHold(fps, 0.5f), 14);
  EXPECT_EQ(fxframes::ImageHold(fps, 0.4f), 11);
  EXPECT_EQ(fxframes::ImageHold(fps, 0.0f), 0);  // no default for a hold
  EXPECT_EQ(fxframes::OneImage(fps, 0.0f, 0.0f), 0);
  EXPECT_EQ(fxframes::OneImage(fps, 0.0f, 1.0f), 29);
  EXPECT_EQ(fxframes::OneImage(fps, 0.5f, 1.0f), 14);

  int32_t frameLength = -1, tl = -1;
  fxframes::ImageToImage(fps, 0.0f, 2.0f, 0.0f, &frameLength, &tl);
  EXPECT_EQ(tl, 59);
  EXPECT_EQ(frameLength, 59);
  fxframes::ImageToImage(fps, 0.5f, 2.0f, 1.0f, &frameLength, &tl);
  EXPECT_EQ(tl, 14);
  EXPECT_EQ(frameLength, 43);  // (int)(29.97 + 14)

  EXPECT_EQ(fxframes::VideoTransition(fps, 2.0f, 2.0f, 45), 45);
  EXPECT_EQ(fxframes::VideoTransition(fps, 2.0f, 2.0f, 90), 59);
  EXPECT_EQ(fxframes::VideoTransition(fps, 0.0f, 2.0f, 90), 59);
  EXPECT_EQ(90 - fxframes::VideoTransition(fps, 0.5f, 2.0f, 90), 76);
  EXPECT_EQ(fxframes::VideoTransition(fps, 0.5f, 2.0f, 0), 0);
}

TEST(SceneFramesTest, CountsAtAVideosOwnRate) {
  EXPECT_EQ(fxframes::ImageHold(25.0f, 2.0f), 50);
  EXPECT_EQ(fxframes::ImageHold(30.0f, 0.5f), 15);
  EXPECT_EQ(fxframes::ImageHold(23.976f, 1.0f), 23);
  int32_t frameLength = 0, tl = 0;
  fxframes::ImageToImage(25.0f, 0.0f, 2.0f, 0.0f, &frameLength, &tl);
  EXPECT_EQ(tl, 50);
  EXPECT_EQ(fxframes::VideoTransition(60.0f, 0.5f, 2.0f, 90), 30);
}

TEST(SceneFramesTest, PercentagePublishedBeforeEachScene) {
  std::vector<int> seen;
  for (int i = 0; i < 41; ++i) seen.push_back(fxframes::ScenePercent(i, 41));
  EXPECT_EQ(seen[0], 2);
  EXPECT_EQ(seen[1], 4);
  EXPECT_EQ(seen[2], 7);
  EXPECT_EQ(seen[39], 97);
  EXPECT_EQ(seen[40], 100);
  EXPECT_EQ(fxframes::ScenePercent(0, 0), 0);
}

}  // namespace
