#include <gtest/gtest.h>

#include <fstream>

#include "test_slot_util.h"

using namespace slottest;

namespace {

struct StyleExpect {
  int style, s1, v1, s2, v2;
};
// Saturation and value per colour style (S2 falls back to S1).
const StyleExpect kStyles[] = {{1, 26, 255, 26, 26},   {2, 103, 255, 103, 103}, {3, 255, 103, 255, 255},
                               {4, 179, 103, 179, 179}, {5, 179, 255, 255, 25},  {6, 255, 179, 229, 76},
                               {7, 179, 179, 179, 179}, {8, 103, 103, 38, 229},  {0, 26, 255, 26, 26},
                               {42, 26, 255, 26, 26}};

PickedColors Pick(const cv::Mat& picture, int style) {
  PickedColors colours;
  colours.style = style;
  OrvColorUtils::PickDominantColor(picture, &colours);
  return colours;
}

// 10 x 10 picture: the first `grey` pixels grey, the rest a pure colour.
cv::Mat GreyShare(int grey, cv::Scalar colour) {
  cv::Mat m = Solid(10, 10, colour);
  for (int i = 0; i < grey; ++i) m.at<cv::Vec3b>(i / 10, i % 10) = cv::Vec3b(90, 90, 90);
  return m;
}

void ExpectGreyResult(const PickedColors& c, const StyleExpect& s) {
  int g = s.v1 == 255 ? 200 : s.v1;
  EXPECT_EQ(Colour(c.colour1), cv::Vec3b(g, g, g)) << "style " << s.style;
  EXPECT_EQ(Colour(c.colour2), cv::Vec3b(s.v2, s.v2, s.v2)) << "style " << s.style;
}

void ExpectHueResult(const PickedColors& c, const StyleExpect& s, int h) {
  EXPECT_EQ(Colour(c.colour1), HsvToBgr(h, s.s1, s.v1)) << "style " << s.style << " hue " << h;
  EXPECT_EQ(Colour(c.colour2), HsvToBgr(h, s.s2, s.v2)) << "style " << s.style << " hue " << h;
}

}  // namespace

TEST(ColorPick, AllGreyPictureGivesTheStyleGreyForEveryStyle) {
  cv::Mat grey = Solid(16, 9, cv::Scalar(40, 45, 50));  // d = 8.2: grey
  for (const StyleExpect& s : kStyles) {
    ExpectGreyResult(Pick(grey, s.style), s);
    PickedColors preset;
    OrvColorUtils::SetGreyColors(&preset, s.style);
    ExpectGreyResult(preset, s);
  }
}

TEST(ColorPick, GreyShareBandsChooseBetweenGreyAndHue) {
  const cv::Scalar orange(0, 128, 255);
  const int h = HueOf(orange);
  for (const StyleExpect& s : kStyles) {
    for (int grey : {0, 50}) ExpectHueResult(Pick(GreyShare(grey, orange), s.style), s, h);
    for (int grey : {51, 60, 69}) ExpectGreyResult(Pick(GreyShare(grey, orange), s.style), s);
    // Mostly grey pictures take the hue of their few coloured pixels.
    for (int grey : {70, 85, 99}) ExpectHueResult(Pick(GreyShare(grey, orange), s.style), s, h);
    ExpectGreyResult(Pick(GreyShare(100, orange), s.style), s);
  }
}

TEST(ColorPick, DominantHueAndTies) {
  const cv::Scalar green(0, 255, 0), blue(255, 0, 0);
  // 60 green, 40 blue: green wins.
  cv::Mat m = Solid(10, 10, blue);
  m(cv::Rect(0, 0, 10, 6)).setTo(green);
  for (const StyleExpect& s : kStyles) ExpectHueResult(Pick(m, s.style), s, HueOf(green));
  // 50 / 50: the lower hue wins whatever the pixel order.
  cv::Mat tie = Solid(10, 10, blue);
  tie(cv::Rect(5, 0, 5, 10)).setTo(green);
  cv::Mat tieFlipped;
  cv::flip(tie, tieFlipped, 1);
  for (const StyleExpect& s : kStyles) {
    ExpectHueResult(Pick(tie, s.style), s, HueOf(green));
    ExpectHueResult(Pick(tieFlipped, s.style), s, HueOf(green));
  }
}

TEST(ColorPick, GreyThresholdIsADistanceOfTen) {
  // (100,107,100): d ~ 5.7, grey; (100,114,100): d ~ 11.4, coloured.
  cv::Mat nearGrey = GreyShare(60, cv::Scalar(100, 107, 100));
  ExpectGreyResult(Pick(nearGrey, 6), kStyles[5]);
  cv::Mat mostlyTinted = GreyShare(20, cv::Scalar(100, 114, 100));
  ExpectHueResult(Pick(mostlyTinted, 6), kStyles[5], HueOf(cv::Scalar(100, 114, 100)));
  cv::Mat mostlyNearGrey = GreyShare(20, cv::Scalar(100, 107, 100));
  ExpectGreyResult(Pick(mostlyNearGrey, 6), kStyles[5]);  // every pixel grey
}

TEST(ColorPick, PicturesOfOtherFormatsAndEmptyPictures) {
  PickedColors c;
  OrvColorUtils::SetGreyColors(&c, 6);
  cv::Mat before1 = c.colour1.clone();
  OrvColorUtils::PickDominantColor(cv::Mat(), &c);
  EXPECT_EQ(Colour(c.colour1), Colour(before1));
  OrvColorUtils::PickDominantColor(cv::Mat(4, 4, CV_8UC3, cv::Scalar(0, 0, 255)), nullptr);

  cv::Mat bgra(8, 8, CV_8UC4, cv::Scalar(255, 0, 0, 255));
  ExpectHueResult(Pick(bgra, 8), kStyles[7], HueOf(cv::Scalar(255, 0, 0)));
  cv::Mat grey16(8, 8, CV_16UC1, cv::Scalar(30000));
  ExpectGreyResult(Pick(grey16, 5), kStyles[4]);
}

TEST(ColorPick, FromImageFileAndFailures) {
  SlotRun r;
  std::string red = WriteImage(r.run.root + "/red.png", Solid(64, 36, cv::Scalar(0, 0, 255)));
  PickedColors c;
  OrvColorUtils::SetGreyColors(&c, 6);
  OrvColorUtils::PickColorFromImage(&c, red);
  ExpectHueResult(c, kStyles[5], 0);

  // Failures leave the colours as they were and log one line each.
  PickedColors kept;
  OrvColorUtils::SetGreyColors(&kept, 6);
  std::string empty = r.run.root + "/empty.png";
  std::ofstream(empty).close();
  std::string text = r.run.root + "/text.png";
  std::ofstream(text) << "not a picture";
  OrvColorUtils::PickColorFromImage(&kept, r.run.root + "/missing.png");
  OrvColorUtils::PickColorFromImage(&kept, empty);
  OrvColorUtils::PickColorFromImage(&kept, text);
  OrvColorUtils::PickColorFromImage(&kept, r.run.root);
  OrvColorUtils::PickColorFromImage(&kept, "");
  ExpectGreyResult(kept, kStyles[5]);
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("## Couldn't read image file for ColorPick, " + r.run.root + "/missing.png"), std::string::npos);
  EXPECT_NE(log.find("## Couldn't decode image file for ColorPick, " + text), std::string::npos);
  EXPECT_NE(log.find("## Couldn't read image file for ColorPick, " + r.run.root + "\n"), std::string::npos);
}

TEST(ColorPick, FromTargetPictureSlotAndBadTargets) {
  SlotRun r;
  std::string green = WriteImage(r.run.root + "/green.png", Solid(32, 18, cv::Scalar(0, 255, 0)));
  std::vector<SlotContext> slots(2);
  SetWide(slots[1].layers[0].layerSource, REELKA_PATH_LEN, green);
  PickedColors c;
  OrvColorUtils::SetGreyColors(&c, 5);
  OrvColorUtils::PickColorFromTarget(slots.data(), nullptr, 1, 1, &c, 2);
  ExpectHueResult(c, kStyles[4], 60);

  PickedColors kept;
  OrvColorUtils::SetGreyColors(&kept, 5);
  OrvColorUtils::PickColorFromTarget(slots.data(), nullptr, 0, 1, &kept, 2);
  OrvColorUtils::PickColorFromTarget(slots.data(), nullptr, 1, 2, &kept, 2);
  OrvColorUtils::PickColorFromTarget(slots.data(), nullptr, 1, -1, &kept, 2);
  OrvColorUtils::PickColorFromTarget(nullptr, nullptr, 1, 0, &kept, 2);
  OrvColorUtils::PickColorFromTarget(slots.data(), nullptr, 2, 1, &kept, 2);
  std::vector<SummarizedVideo> noBlocks(1);
  noBlocks[0].fileName = r.run.root + "/v.avi";
  OrvColorUtils::PickColorFromTarget(slots.data(), &noBlocks, 2, 1, &kept, 2);
  SuperFrame* none = nullptr;
  OrvColorUtils::PickColorFromVideo(nullptr, none, &kept);
  ExpectGreyResult(kept, kStyles[4]);
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Error: This slot has no separator."), std::string::npos);
  EXPECT_NE(log.find("Summarized Frame had null pointer"), std::string::npos);
  EXPECT_NE(log.find("Video handler had null pointer"), std::string::npos);
  EXPECT_NE(log.find("Failed to find correct summary block"), std::string::npos);
}

TEST(ColorPick, FromVideoBlockFirstFrame) {
  SlotRun r;
  std::string video = r.run.root + "/clip.avi";
  const cv::Scalar yellow(0, 255, 255), magenta(255, 0, 255);
  ASSERT_TRUE(WriteVideo(video, {yellow, magenta}));
  r.videos.resize(1);
  r.videos[0].fileName = video;
  r.videos[0].blocks.resize(2);
  r.videos[0].blocks[1].sfStart = 333334;  // frame 10
  PickedColors c;
  OrvColorUtils::SetGreyColors(&c, 6);
  OrvColorUtils::PickColorFromTarget(nullptr, &r.videos, 2, 2, &c);
  EXPECT_TRUE(Near(Colour(c.colour1), HsvToBgr(HueOf(magenta), 255, 179), 8));
  OrvColorUtils::PickColorFromTarget(nullptr, &r.videos, 2, 1, &c);
  EXPECT_TRUE(Near(Colour(c.colour1), HsvToBgr(HueOf(yellow), 255, 179), 8));
  // Block 3 wraps to block 1 (the magenta one).
  OrvColorUtils::PickColorFromTarget(nullptr, &r.videos, 2, 4, &c);
  EXPECT_TRUE(Near(Colour(c.colour1), HsvToBgr(HueOf(magenta), 255, 179), 8));
}

TEST(ColorLocation, WalksVideosAndWraps) {
  std::vector<SummarizedVideo> list(2);
  list[0].fileName = "a.mp4";
  list[0].blocks.resize(3);
  list[1].fileName = "b.mp4";
  list[1].blocks.resize(2);
  struct Case {
    int index, video, block;
  } cases[] = {{0, 0, 0}, {2, 0, 2}, {3, 1, 0}, {4, 1, 1}, {5, 0, 0}, {12, 0, 2}, {9, 1, 1}};
  for (const Case& c : cases) {
    SummaryLocation loc = OrvColorUtils::GetSummaryLocation(&list, c.index);
    EXPECT_EQ(loc.videoName, list[c.video].fileName) << c.index;
    EXPECT_EQ(loc.block, &list[c.video].blocks[c.block]) << c.index;
    SummaryLocation quiet = OrvColorUtils::FindSummaryBlock(&list, c.index);
    EXPECT_EQ(quiet.block, loc.block);
  }
  // A negative index is not found: the first block stands in.
  EXPECT_EQ(OrvColorUtils::GetSummaryLocation(&list, -1).block, &list[0].blocks[0]);
  EXPECT_EQ(OrvColorUtils::FindSummaryBlock(&list, -1).block, nullptr);
  // A first video without blocks is skipped by the fall-back.
  list[0].blocks.clear();
  EXPECT_EQ(OrvColorUtils::GetSummaryLocation(&list, -5).block, &list[1].blocks[0]);
  EXPECT_EQ(OrvColorUtils::GetSummaryLocation(&list, 7).block, &list[1].blocks[1]);
}

TEST(ColorLocation, NoBlocksGiveAnEmptyLocation) {
  EXPECT_EQ(OrvColorUtils::GetSummaryLocation(nullptr, 0).block, nullptr);
  std::vector<SummarizedVideo> empty;
  EXPECT_EQ(OrvColorUtils::GetSummaryLocation(&empty, 3).block, nullptr);
  std::vector<SummarizedVideo> blockless(2);
  SummaryLocation loc = OrvColorUtils::GetSummaryLocation(&blockless, 0);
  EXPECT_EQ(loc.block, nullptr);
  EXPECT_TRUE(loc.videoName.empty());
}

TEST(ColorBlend, CopiesOntoTransparentAndMixesOntoOpaque) {
  cv::Mat canvas = cv::Mat::zeros(1080, 1920, CV_8UC4);
  cv::Mat overlay(4, 4, CV_8UC4, cv::Scalar(10, 20, 30, 77));
  OrvColorUtils::BlendImage(overlay, canvas, 100, 50, 4, 4);
  EXPECT_EQ(canvas.at<cv::Vec4b>(50, 100), cv::Vec4b(10, 20, 30, 77));
  EXPECT_EQ(canvas.at<cv::Vec4b>(53, 103), cv::Vec4b(10, 20, 30, 77));
  EXPECT_EQ(canvas.at<cv::Vec4b>(54, 104), cv::Vec4b(0, 0, 0, 0));

  cv::Mat opaque(1080, 1920, CV_8UC4, cv::Scalar(200, 100, 50, 255));
  cv::Mat clear(2, 2, CV_8UC4, cv::Scalar(1, 2, 3, 0));
  OrvColorUtils::BlendImage(clear, opaque, 0, 0, 2, 2);
  EXPECT_EQ(opaque.at<cv::Vec4b>(0, 0), cv::Vec4b(200, 100, 50, 255));

  cv::Mat half(1, 1, CV_8UC4, cv::Scalar(0, 255, 101, 128));
  cv::Mat base(1080, 1920, CV_8UC4, cv::Scalar(255, 0, 33, 100));
  OrvColorUtils::BlendImage(half, base, 7, 9, 1, 1);
  const double a = 128 / 255.0;
  cv::Vec4b expect(static_cast<uchar>(int(0 * a + 255 * (1 - a))), static_cast<uchar>(int(255 * a + 0 * (1 - a))),
                   static_cast<uchar>(int(101 * a + 33 * (1 - a))), 228);
  EXPECT_EQ(base.at<cv::Vec4b>(9, 7), expect);
  cv::Mat again(1, 1, CV_8UC4, cv::Scalar(0, 0, 0, 200));
  OrvColorUtils::BlendImage(again, base, 7, 9, 1, 1);
  EXPECT_EQ(base.at<cv::Vec4b>(9, 7)[3], 255);  // alpha saturates

  // A three-channel overlay is opaque.
  cv::Mat bgr(2, 2, CV_8UC3, cv::Scalar(5, 6, 7));
  OrvColorUtils::BlendImage(bgr, base, 0, 0, 2, 2);
  EXPECT_EQ(bgr.type(), CV_8UC4);
  EXPECT_EQ(base.at<cv::Vec4b>(1, 1), cv::Vec4b(5, 6, 7, 255));
}

TEST(ColorBlend, ClipsToFrameCanvasAndOverlay) {
  cv::Mat canvas = cv::Mat::zeros(1080, 1920, CV_8UC4);
  cv::Mat overlay(20, 20, CV_8UC4, cv::Scalar(9, 9, 9, 255));
  overlay.at<cv::Vec4b>(10, 10) = cv::Vec4b(1, 2, 3, 255);
  // Past the right and bottom edges.
  OrvColorUtils::BlendImage(overlay, canvas, 1910, 1070, 20, 20);
  EXPECT_EQ(canvas.at<cv::Vec4b>(1079, 1919), cv::Vec4b(9, 9, 9, 255));
  EXPECT_EQ(canvas.at<cv::Vec4b>(1069, 1909), cv::Vec4b(0, 0, 0, 0));
  // Left of and above the frame: only the visible part, at its own position.
  cv::Mat c2 = cv::Mat::zeros(1080, 1920, CV_8UC4);
  OrvColorUtils::BlendImage(overlay, c2, -10, -10, 20, 20);
  EXPECT_EQ(c2.at<cv::Vec4b>(0, 0), cv::Vec4b(1, 2, 3, 255));
  EXPECT_EQ(c2.at<cv::Vec4b>(9, 9), cv::Vec4b(9, 9, 9, 255));
  EXPECT_EQ(c2.at<cv::Vec4b>(10, 10), cv::Vec4b(0, 0, 0, 0));
  // A rectangle larger than the overlay reads nothing past the overlay.
  cv::Mat c3 = cv::Mat::zeros(1080, 1920, CV_8UC4);
  OrvColorUtils::BlendImage(overlay, c3, 100, 100, 400, 80);
  EXPECT_EQ(c3.at<cv::Vec4b>(119, 119), cv::Vec4b(9, 9, 9, 255));
  EXPECT_EQ(c3.at<cv::Vec4b>(120, 120), cv::Vec4b(0, 0, 0, 0));
  EXPECT_EQ(cv::countNonZero(c3.reshape(1)), 20 * 20 * 4);
  // A canvas smaller than the frame is not written past its end.
  cv::Mat small = cv::Mat::zeros(10, 10, CV_8UC4);
  OrvColorUtils::BlendImage(overlay, small, 0, 0, 1920, 1080);
  EXPECT_EQ(small.at<cv::Vec4b>(9, 9), cv::Vec4b(9, 9, 9, 255));
  // Grey and 16-bit overlays are taken as four-channel 8-bit.
  cv::Mat grey(2, 2, CV_8UC1, cv::Scalar(77));
  OrvColorUtils::BlendImage(grey, small, 0, 0, 2, 2);
  EXPECT_EQ(small.at<cv::Vec4b>(0, 0), cv::Vec4b(77, 77, 77, 255));
  cv::Mat deep(2, 2, CV_16UC3, cv::Scalar(257 * 10, 257 * 20, 257 * 30));
  OrvColorUtils::BlendImage(deep, small, 0, 0, 2, 2);
  EXPECT_EQ(small.at<cv::Vec4b>(1, 1), cv::Vec4b(10, 20, 30, 255));
  // A canvas of another type is left alone.
  cv::Mat three = cv::Mat::zeros(4, 4, CV_8UC3);
  OrvColorUtils::BlendImage(overlay, three, 0, 0, 4, 4);
  EXPECT_EQ(cv::countNonZero(three.reshape(1)), 0);
}

TEST(ColorFill, PaintsColourAndKeepsAlpha) {
  cv::Mat colour(1, 1, CV_8UC3, cv::Scalar(1, 2, 3));
  cv::Mat bgr(2, 2, CV_8UC3, cv::Scalar(50, 50, 50));
  OrvColorUtils::FillColor(colour, bgr);
  ASSERT_EQ(bgr.type(), CV_8UC4);
  EXPECT_EQ(bgr.at<cv::Vec4b>(1, 1), cv::Vec4b(1, 2, 3, 255));
  cv::Mat bgra(2, 2, CV_8UC4, cv::Scalar(50, 50, 50, 17));
  OrvColorUtils::FillColor(colour, bgra);
  EXPECT_EQ(bgra.at<cv::Vec4b>(0, 1), cv::Vec4b(1, 2, 3, 17));
  cv::Mat grey(2, 2, CV_8UC1, cv::Scalar(9));
  OrvColorUtils::FillColor(colour, grey);
  EXPECT_EQ(grey.at<cv::Vec4b>(0, 0), cv::Vec4b(1, 2, 3, 255));
  // Without a colour the layer stays as stored.
  cv::Mat kept(2, 2, CV_8UC4, cv::Scalar(4, 5, 6, 7));
  OrvColorUtils::FillColor(cv::Mat(), kept);
  EXPECT_EQ(kept.at<cv::Vec4b>(0, 0), cv::Vec4b(4, 5, 6, 7));
}

TEST(ColorText, TrailingNumberAndSplit) {
  EXPECT_EQ(OrvColorUtils::ParseTrailingNumber("rgba(0, 0, 0, 100)"), 100);
  EXPECT_EQ(OrvColorUtils::ParseTrailingNumber("rgba(255, 255, 255, 40)"), 40);
  EXPECT_EQ(OrvColorUtils::ParseTrailingNumber(nullptr), -1);
  EXPECT_EQ(OrvColorUtils::ParseTrailingNumber(""), -1);
  EXPECT_EQ(OrvColorUtils::ParseTrailingNumber("(,)"), -1);
  EXPECT_EQ(OrvColorUtils::SplitByDelimiters("rgba(1,,2)", "(,)"), (std::vector<std::string>{"rgba", "1", "2"}));
  EXPECT_EQ(OrvColorUtils::SplitByDelimiters(",a,", ","), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(OrvColorUtils::SplitByDelimiters("", ",").empty());
  cv::Mat colour(1, 1, CV_8UC3, cv::Scalar(10, 20, 30));
  EXPECT_EQ(OrvColorUtils::RgbaText(colour, 100), "rgba(30, 20, 10, 100)");
}
