// The generated resource folder: every art file the theme tables name and
// the zoom map, in the form the slot composer and the effects read them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "platform/Platform.h"
#include "themes/SlotInformation.h"
#include "themes/ThemeTemplate.h"

namespace {

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void RequireResources() {
  ASSERT_TRUE(FileExists("./ReelkaResource/.generated"))
      << "ReelkaResource is missing from the working folder; the reelka_resources target draws it";
}

// Alpha of all layers of a design laid over each other, in layer order.
cv::Mat CompositeAlpha(const std::vector<cv::Mat>& layers) {
  cv::Mat alpha(1080, 1920, CV_32F, cv::Scalar(0));
  for (const cv::Mat& layer : layers) {
    std::vector<cv::Mat> ch;
    cv::split(layer, ch);
    cv::Mat a;
    ch[3].convertTo(a, CV_32F, 1.0 / 255.0);
    alpha = a + alpha.mul(1.0 - a);
  }
  return alpha;
}

TEST(ThemeArt, EveryTableNamesAFileOfTheSizeTheComposerReads) {
  RequireResources();
  int files = 0;
  for (int index : {0, 1, 2}) {
    auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(index));
    ASSERT_TRUE(theme);
    bool overlay[kThemeDesigns] = {};
    for (int b = 0; b < kThemeBuilderCount; ++b) {
      const ThemeBuilderTable& t = theme->GetBuilderTable(b);
      for (size_t i = 0; i < t.slotType.size(); ++i)
        if (t.slotType[i] == 1 || t.slotType[i] == 4) overlay[t.design[i] - 1] = true;
    }
    const ThemeLayerTable& images = theme->GetImageLayerTable();
    const ThemeLayerTable& texts = theme->GetTextLayerTable();
    for (int d = 0; d < kThemeDesigns; ++d) {
      std::vector<cv::Mat> layers;
      for (int j = 0; j < images.counts[d]; ++j) {
        const std::string path = platform::Utf16ToUtf8(images.layers[d][j].layerSource);
        SCOPED_TRACE(path);
        cv::Mat art = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(art.empty());
        ASSERT_EQ(art.type(), CV_8UC4);
        ASSERT_EQ(art.cols, 1920);
        ASSERT_EQ(art.rows, 1080);
        ++files;
        std::vector<cv::Mat> ch;
        cv::split(art, ch);
        // Shapes with an alpha of their own, fully clear elsewhere.
        const int drawn = cv::countNonZero(ch[3]);
        EXPECT_GT(drawn, 0);
        double maxAlpha = 0;
        cv::minMaxLoc(ch[3], nullptr, &maxAlpha);
        EXPECT_GE(maxAlpha, 100.0);
        if (overlay[d]) {
          EXPECT_LT(drawn, static_cast<int>(art.total()));
        }
        cv::Mat clear = ch[3] == 0;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(cv::countNonZero(ch[c] & clear), 0) << "colour under clear pixels";
        layers.push_back(art);
      }
      const cv::Mat alpha = CompositeAlpha(layers);
      SCOPED_TRACE(::testing::Message() << "theme " << index << " design " << d + 1);
      if (overlay[d]) {
        const double seeThrough = static_cast<double>(cv::countNonZero(alpha < 0.25f)) / alpha.total();
        EXPECT_GT(seeThrough, 0.5) << "the photo or the video must show through";
      }
      // The main text sits on the design's art, not on bare picture.
      int largest = 0;
      for (int j = 1; j < texts.counts[d]; ++j) {
        const LayerContext& a = texts.layers[d][j];
        const LayerContext& b = texts.layers[d][largest];
        if (a.width * a.height > b.width * b.height) largest = j;
      }
      const LayerContext& main = texts.layers[d][largest];
      const double under = cv::mean(alpha(cv::Rect(main.x, main.y, main.width, main.height)))[0];
      EXPECT_GT(under, 0.5);
    }
  }
  EXPECT_EQ(files, 76);
}

TEST(ThemeArt, ZoomMapIsASmoothTileableGreyMapAroundMidGrey) {
  RequireResources();
  cv::Mat map = cv::imread("./ReelkaResource/common/map_zoom.png", cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(map.empty());
  ASSERT_EQ(map.depth(), CV_8U);
  ASSERT_GE(map.cols, 64);
  ASSERT_GE(map.rows, 64);
  std::vector<cv::Mat> ch;
  cv::split(map, ch);
  cv::Mat first = ch[map.channels() >= 3 ? 2 : 0];  // red, or the grey level
  for (size_t c = 1; c < std::min<size_t>(ch.size(), 3); ++c) EXPECT_EQ(cv::norm(ch[c], ch[0], cv::NORM_INF), 0.0);
  EXPECT_NEAR(cv::mean(first)[0], 128.0, 3.0);
  double lo = 0, hi = 0;
  cv::minMaxLoc(first, &lo, &hi);
  EXPECT_LT(lo, 80.0);
  EXPECT_GT(hi, 176.0);

  cv::Mat m;
  first.convertTo(m, CV_32S);
  int step = 0, seam = 0;
  for (int y = 0; y < m.rows; ++y) {
    for (int x = 0; x < m.cols; ++x) {
      const int v = m.at<int>(y, x);
      const int right = m.at<int>(y, (x + 1) % m.cols);  // wraps: the seam counts too
      const int down = m.at<int>((y + 1) % m.rows, x);
      const int d = std::max(std::abs(v - right), std::abs(v - down));
      step = std::max(step, d);
      if (x == m.cols - 1 || y == m.rows - 1) seam = std::max(seam, d);
    }
  }
  EXPECT_LE(step, 10) << "smooth";
  EXPECT_LE(seam, 10) << "tileable";
}

}  // namespace
