#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "scriptmaker/ThemeResource.h"
#include "test_slot_util.h"

using namespace slottest;

namespace {

const cv::Scalar kRed(0, 0, 255), kGreen(0, 255, 0), kBlue(255, 0, 0), kYellow(0, 255, 255);

// Vivid-like style 5: S1 179 V1 255, S2 255 V2 25.
cv::Vec3b First(const cv::Scalar& c) { return HsvToBgr(HueOf(c), 179, 255); }
cv::Vec3b Second(const cv::Scalar& c) { return HsvToBgr(HueOf(c), 255, 25); }
cv::Vec4b WithAlpha(cv::Vec3b c, uchar a) { return cv::Vec4b(c[0], c[1], c[2], a); }

// Slots: 0 picture, 1 picture+art (colours from slot 0), 2 paper (from slot
// 0), 3 video, 4 picture+art (colours from itself), 5 video with art.
struct PictureRun : SlotRun {
  ThemeResource resource;
  std::string red, green, blue;
  PictureRun() : SlotRun(5, "vid") {
    theme->AddArt(art, 1, "AB.");
    theme->AddText(1, 'A', "rgba(255, 255, 255, 100)", cv::Rect(300, 400, 400, 80));
    red = AddPicture("red.png", Solid(1280, 720, kRed));
    green = AddPicture("green.png", Solid(64, 36, kGreen));
    blue = AddPicture("blue.jpg", Solid(64, 36, kBlue));
    theme->SetTable({0, 1, 2, 3, 1, 4}, {0, 1, 1, 0, 1, 1}, {0, 1, 1, 0, 1, 2}, {0, 0, 0, 1, 4, 1});
    Fill();
  }
  cv::Mat Slot(int s) { return theme->GetSlotMat(s, slots.data(), &resource); }
};

}  // namespace

TEST(SlotPictures, WorkspaceNames) {
  SlotRun r(6, "sp");
  char out[kWSPathCapacity];
  r.theme->CreateWSImagePath(8, 4, out, "/tmp/f/");
  EXPECT_STREQ(out, "/tmp/f/ss_icon_clip_sp_04-WS8.png");
  r.theme->CreateWSImagePath(0, 10, out, "");
  EXPECT_STREQ(out, "ss_icon_clip_sp_10-WS0.png");
  SlotRun m(8, "md");
  m.theme->CreateWSImagePath(31, 10, out, "tmp_");
  EXPECT_STREQ(out, "tmp_ss_icon_clip_md_10-WS31.png");
  // A name that does not fit is refused, not cut.
  m.theme->CreateWSImagePath(1, 1, out, std::string(kWSPathCapacity - 20, 'x'));
  EXPECT_STREQ(out, "");
}

TEST(SlotPictures, ComposesEachSlotType) {
  PictureRun r;
  ASSERT_EQ(r.slots.size(), 6u);

  // Picture alone: scaled to the frame, opaque.
  cv::Mat p0 = r.Slot(0);
  ASSERT_EQ(p0.type(), CV_8UC4);
  ASSERT_EQ(p0.size(), cv::Size(1920, 1080));
  EXPECT_EQ(p0.at<cv::Vec4b>(500, 900), cv::Vec4b(0, 0, 255, 255));

  // Picture with art: the art's probes in colours of slot 0's red picture.
  cv::Mat p1 = r.Slot(1);
  ASSERT_EQ(p1.size(), cv::Size(1920, 1080));
  EXPECT_EQ(p1.at<cv::Vec4b>(ProbeRect(0).tl()), WithAlpha(First(kRed), 255));
  EXPECT_EQ(p1.at<cv::Vec4b>(ProbeRect(1).tl()), WithAlpha(Second(kRed), 255));
  EXPECT_EQ(p1.at<cv::Vec4b>(ProbeRect(2).tl()), StoredArtColour(2));
  EXPECT_EQ(p1.at<cv::Vec4b>(600, 1000), cv::Vec4b(0, 255, 0, 255));  // green picture of slot 1

  // Paper: transparent wherever the art is.
  cv::Mat p2 = r.Slot(2);
  EXPECT_EQ(p2.at<cv::Vec4b>(600, 1000), cv::Vec4b(0, 0, 0, 0));
  EXPECT_EQ(p2.at<cv::Vec4b>(ProbeRect(0).tl()), WithAlpha(First(kRed), 255));
  EXPECT_EQ(p2.at<cv::Vec4b>(105, 45), WithAlpha(First(kRed), 128));

  // Video slot: the stored first frame as it is.
  cv::Mat p3 = r.Slot(3);
  EXPECT_EQ(p3.size(), cv::Size(1920, 1080));
  EXPECT_EQ(p3.at<cv::Vec4b>(5, 5), cv::Vec4b(0, 0, 0, 255));

  // Video slot with art over a transparent ground, grey colours without video.
  cv::Mat p5 = r.Slot(5);
  EXPECT_EQ(p5.at<cv::Vec4b>(ProbeRect(0).tl()), cv::Vec4b(200, 200, 200, 255));
  EXPECT_EQ(p5.at<cv::Vec4b>(ProbeRect(1).tl()), cv::Vec4b(25, 25, 25, 255));
  EXPECT_EQ(p5.at<cv::Vec4b>(600, 1000), cv::Vec4b(0, 0, 0, 0));

  // Every slot matches its workspace preview where the art lies.
  cv::Mat ws = cv::imread(r.WsPath(2, 1), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(cv::norm(ws, p2, cv::NORM_INF), 0.0);
}

TEST(SlotPictures, TextImagesAreScaledIntoTheirRectangles) {
  PictureRun r;
  // The host renders text layers to images: 600 x 120 into 400 x 80.
  cv::Mat text(120, 600, CV_8UC4, cv::Scalar(0, 0, 0, 0));
  text(cv::Rect(0, 0, 300, 120)).setTo(cv::Scalar(255, 255, 255, 255));
  std::string textPath = WriteImage(r.run.root + "/text.png", text);
  LayerContext& layer = r.slots[1].layers[2];
  layer.layerType = 4;
  SetWide(layer.layerSource, REELKA_PATH_LEN, textPath);
  cv::Mat p1 = r.Slot(1);
  cv::Mat scaled;
  cv::resize(text, scaled, cv::Size(400, 80), 0, 0, cv::INTER_LINEAR);
  cv::Mat expect = OrvColorUtils::ReadPicture(r.green, true, "test");
  OrvColorUtils::ResizeToFrame(expect);
  OrvColorUtils::BlendImage(scaled, expect, 300, 400, 400, 80);
  EXPECT_EQ(p1.at<cv::Vec4b>(410, 310), cv::Vec4b(255, 255, 255, 255));
  EXPECT_EQ(p1.at<cv::Vec4b>(410, 690), cv::Vec4b(0, 255, 0, 255));
  EXPECT_EQ(cv::norm(p1(cv::Rect(300, 400, 400, 80)), expect(cv::Rect(300, 400, 400, 80)), cv::NORM_INF), 0.0);

  // Left at layer type 3 and smaller than its rectangle: blended at its own
  // size, nothing read past its end.
  cv::Mat small(10, 10, CV_8UC4, cv::Scalar(1, 2, 3, 255));
  SetWide(layer.layerSource, REELKA_PATH_LEN, WriteImage(r.run.root + "/small.png", small));
  layer.layerType = 3;
  cv::Mat p1b = r.Slot(1);
  EXPECT_EQ(p1b.at<cv::Vec4b>(409, 309), cv::Vec4b(1, 2, 3, 255));
  EXPECT_EQ(p1b.at<cv::Vec4b>(410, 310), cv::Vec4b(0, 255, 0, 255));

  // A text layer without area, and a host record claiming too many layers.
  layer.layerType = 4;
  layer.width = 0;
  r.slots[1].layerCount = 99;
  EXPECT_EQ(r.Slot(1).size(), cv::Size(1920, 1080));
  // An unrendered text layer is passed.
  r.slots[2].layers[2].layerSource[0] = 0;
  r.Slot(2);
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Pass Text[2] "), std::string::npos);
  EXPECT_NE(log.find("## Text layer has no area (0 x 80), left out"), std::string::npos);
}

TEST(SlotPictures, AlphaAndOrientationFollowOnePolicy) {
  PictureRun r;
  // A translucent picture keeps its alpha in a decorated slot, loses it alone.
  cv::Mat translucent(1080, 1920, CV_8UC4, cv::Scalar(0, 255, 255, 90));
  std::string path = WriteImage(r.run.root + "/translucent.png", translucent);
  SetWide(r.slots[0].layers[0].layerSource, REELKA_PATH_LEN, path);
  SetWide(r.slots[1].layers[0].layerSource, REELKA_PATH_LEN, path);
  EXPECT_EQ(r.Slot(0).at<cv::Vec4b>(500, 500), cv::Vec4b(0, 255, 255, 255));
  EXPECT_EQ(r.Slot(1).at<cv::Vec4b>(500, 500), cv::Vec4b(0, 255, 255, 90));

  // Grey and 16-bit pictures compose like colour ones.
  std::string grey = WriteImage(r.run.root + "/grey.png", cv::Mat(90, 160, CV_8UC1, cv::Scalar(77)));
  std::string deep = WriteImage(r.run.root + "/deep.png", cv::Mat(90, 160, CV_16UC3, cv::Scalar(0, 257 * 200, 0)));
  SetWide(r.slots[0].layers[0].layerSource, REELKA_PATH_LEN, grey);
  SetWide(r.slots[1].layers[0].layerSource, REELKA_PATH_LEN, deep);
  EXPECT_EQ(r.Slot(0).at<cv::Vec4b>(500, 500), cv::Vec4b(77, 77, 77, 255));
  EXPECT_EQ(r.Slot(1).at<cv::Vec4b>(500, 500), cv::Vec4b(0, 200, 0, 255));
}

TEST(SlotPictures, FailuresGiveSafeResults) {
  PictureRun r;
  EXPECT_TRUE(r.theme->GetSlotMat(0, nullptr, &r.resource).empty());
  EXPECT_TRUE(r.theme->GetSlotMat(0, r.slots.data(), nullptr).empty());
  EXPECT_TRUE(r.theme->GetSlotMat(6, r.slots.data(), &r.resource).empty());
  EXPECT_TRUE(r.theme->GetSlotMat(-1, r.slots.data(), &r.resource).empty());

  // A missing or broken picture: an opaque black frame.
  SetWide(r.slots[0].layers[0].layerSource, REELKA_PATH_LEN, r.run.root + "/gone.png");
  cv::Mat p0 = r.Slot(0);
  ASSERT_EQ(p0.size(), cv::Size(1920, 1080));
  EXPECT_EQ(p0.at<cv::Vec4b>(1, 1), cv::Vec4b(0, 0, 0, 255));
  std::string broken = r.run.root + "/broken.png";
  std::ofstream(broken) << "broken";
  SetWide(r.slots[1].layers[0].layerSource, REELKA_PATH_LEN, broken);
  cv::Mat p1 = r.Slot(1);
  EXPECT_EQ(p1.at<cv::Vec4b>(600, 1000), cv::Vec4b(0, 0, 0, 255));
  // Slot 1's colours come from slot 0, now missing: grey colours.
  EXPECT_EQ(p1.at<cv::Vec4b>(ProbeRect(0).tl()), cv::Vec4b(200, 200, 200, 255));
  // An unterminated host path field is read within its bounds.
  std::fill(std::begin(r.slots[0].layers[0].layerSource), std::end(r.slots[0].layers[0].layerSource), u'a');
  EXPECT_EQ(r.Slot(0).size(), cv::Size(1920, 1080));
  // A missing first frame.
  r.slots[3].layers[0].layerSource[0] = 0;
  EXPECT_TRUE(r.Slot(3).empty());

  // Before any slot filling.
  TestTheme* fresh = new TestTheme(5, "vid");
  EXPECT_TRUE(fresh->GetSlotMat(0, r.slots.data(), &r.resource).empty());
  delete fresh;
  std::string log = testutil::ReadLog();
  EXPECT_EQ(CountOf(log, "Passing parameters was wrong"), 2);
  EXPECT_GE(CountOf(log, "Slot data was wrong"), 3);
  EXPECT_NE(log.find("## Couldn't read image file. " + r.run.root + "/gone.png"), std::string::npos);
  EXPECT_NE(log.find("## Couldn't decode image file. " + broken), std::string::npos);
  EXPECT_NE(log.find("## Couldn't read alternative image file. "), std::string::npos);
}

TEST(SlotUpdate, ReplacesPictureSlots) {
  PictureRun r;
  char16_t ws[REELKA_PATH_LEN], sep[REELKA_PATH_LEN];
  std::fill(std::begin(ws), std::end(ws), u'#');
  std::fill(std::begin(sep), std::end(sep), u'#');
  char16_t* wsp = ws;
  char16_t* sepp = sep;
  EXPECT_EQ(r.theme->GetReplacedSlot(&wsp, &sepp), 0);
  EXPECT_EQ(ws[0], u'#');
  EXPECT_EQ(sep[0], u'#');

  // Picture alone: the picture itself is the workspace path.
  std::string yellow = WriteImage(r.run.root + "/yellow.png", Solid(64, 36, kYellow));
  r.theme->UpdateSlot(&r.slots, 0, platform::Utf8ToUtf16(yellow).c_str());
  EXPECT_EQ(Narrow(r.slots[0].layers[0].layerSource), yellow);
  EXPECT_EQ(r.theme->GetReplacedSlot(&wsp, &sepp), 100);
  EXPECT_EQ(Narrow(ws), yellow);
  EXPECT_EQ(sep[0], 0);
  EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 100);

  // Slot 1 takes its colours from slot 0, which now shows yellow.
  EXPECT_EQ(r.Slot(1).at<cv::Vec4b>(ProbeRect(0).tl()), WithAlpha(First(kYellow), 255));

  // Picture with art, coloured from itself: picture, colours and workspace.
  r.theme->UpdateSlot(&r.slots, 4, platform::Utf8ToUtf16(r.red).c_str());
  EXPECT_EQ(Narrow(r.slots[4].layers[0].layerSource), r.red);
  EXPECT_EQ(r.theme->GetReplacedSlot(&wsp, &sepp), 100);
  EXPECT_EQ(Narrow(ws), r.WsPath(4, 1));
  cv::Mat wsImage = cv::imread(r.WsPath(4, 1), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(wsImage.at<cv::Vec4b>(ProbeRect(0).tl()), WithAlpha(First(kRed), 255));
  cv::Mat p4 = r.Slot(4);
  EXPECT_EQ(p4.at<cv::Vec4b>(ProbeRect(1).tl()), WithAlpha(Second(kRed), 255));
  EXPECT_EQ(p4.at<cv::Vec4b>(700, 1500), cv::Vec4b(0, 0, 255, 255));
}

TEST(SlotUpdate, PaperTakesTheChosenPictureIntoTheClip) {
  PictureRun r;
  const std::u16string blue = platform::Utf8ToUtf16(r.blue);
  r.theme->UpdateSlot(&r.slots, 2, blue.c_str());
  EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 100);
  cv::Mat ws = cv::imread(r.WsPath(2, 1), cv::IMREAD_UNCHANGED);
  cv::Vec4b preview = ws.at<cv::Vec4b>(ProbeRect(0).tl());
  EXPECT_TRUE(Near(cv::Vec3b(preview[0], preview[1], preview[2]), First(kBlue), 6));
  // The rendered paper shows what the preview showed.
  cv::Mat p2 = r.Slot(2);
  EXPECT_EQ(cv::norm(p2, ws, cv::NORM_INF), 0.0);
  // The workspace layer still names the rewritten file.
  EXPECT_EQ(Narrow(r.slots[2].layers[1].layerSource), r.WsPath(2, 1));
}

TEST(SlotUpdate, VideoSlotsAndBadRequestsChangeNothing) {
  PictureRun r;
  const std::u16string green = platform::Utf8ToUtf16(r.green);
  r.theme->UpdateSlot(&r.slots, 0, green.c_str());
  ASSERT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 100);
  std::vector<SlotContext> before = r.slots;
  auto unchanged = [&]() {
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(std::memcmp(&before[i], &r.slots[i], sizeof(SlotContext)), 0) << "slot " << i;
    }
  };

  r.theme->UpdateSlot(&r.slots, 3, green.c_str());
  EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 0);
  r.theme->UpdateSlot(&r.slots, 5, green.c_str());
  EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 0);
  unchanged();

  std::u16string tooLong(REELKA_PATH_LEN, u'a');
  std::string missing = r.run.root + "/missing.png";
  std::string notPicture = r.run.root + "/notes.txt";
  std::ofstream(notPicture) << "text";
  struct Bad {
    int index;
    std::u16string path;
    bool null;
  } bads[] = {{6, green, false},
              {-1, green, false},
              {0, u"", true},
              {0, u"", false},
              {0, tooLong, false},
              {1, platform::Utf8ToUtf16(missing), false},
              {2, platform::Utf8ToUtf16(notPicture), false},
              {4, platform::Utf8ToUtf16(r.run.root), false}};
  for (const Bad& b : bads) {
    r.theme->UpdateSlot(&r.slots, 0, green.c_str());
    ASSERT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 100);
    before = r.slots;
    r.theme->UpdateSlot(&r.slots, b.index, b.null ? nullptr : b.path.c_str());
    EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 0) << b.index;
    unchanged();
  }
  r.theme->UpdateSlot(nullptr, 0, green.c_str());
  EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 0);

  // Before a start pass.
  TestTheme* fresh = new TestTheme(5, "vid");
  fresh->UpdateSlot(&r.slots, 0, green.c_str());
  EXPECT_EQ(fresh->GetReplacedSlot(nullptr, nullptr), 0);
  delete fresh;
  unchanged();

  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Error, Changed slotIndex over slotSize, index : 6, size : 6"), std::string::npos);
  EXPECT_NE(log.find("Error, Changed slotIndex over slotSize, index : -1, size : 6"), std::string::npos);
  EXPECT_NE(log.find("## Image path is null, update refused"), std::string::npos);
  EXPECT_NE(log.find("## Image path is too long, update refused"), std::string::npos);
  EXPECT_NE(log.find("## Couldn't read image file. " + missing + ", update refused"), std::string::npos);
  EXPECT_NE(log.find("## Slots were not filled by this theme, update refused"), std::string::npos);
}

TEST(SlotUpdate, FailedWorkspaceWriteReportsNothingReplaced) {
  PictureRun r;
  // A folder where the workspace image should go: the write fails.
  std::remove(r.WsPath(4, 1).c_str());
  std::system(("mkdir -p '" + r.WsPath(4, 1) + "'").c_str());
  std::vector<SlotContext> before = r.slots;
  r.theme->UpdateSlot(&r.slots, 4, platform::Utf8ToUtf16(r.red).c_str());
  EXPECT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 0);
  EXPECT_EQ(std::memcmp(&before[4], &r.slots[4], sizeof(SlotContext)), 0);
  // The earlier workspace file of another slot stays as it was.
  cv::Mat ws2 = cv::imread(r.WsPath(2, 1), cv::IMREAD_UNCHANGED);
  r.theme->UpdateSlot(&r.slots, 2, platform::Utf8ToUtf16(r.blue).c_str());
  ASSERT_EQ(r.theme->GetReplacedSlot(nullptr, nullptr), 100);
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("## Workspace image not written, slot 4 keeps its picture"), std::string::npos);
  EXPECT_FALSE(ws2.empty());
}
