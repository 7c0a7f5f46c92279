#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "test_slot_util.h"

using namespace slottest;

namespace {

const cv::Scalar kRed(0, 0, 255), kGreen(0, 255, 0), kBlue(255, 0, 0);
const cv::Scalar kYellow(0, 255, 255), kCyan(255, 255, 0), kMagenta(255, 0, 255);

// Sporty-like: S1 255 V1 179, S2 229 V2 76.
cv::Vec3b First(const cv::Scalar& c) { return HsvToBgr(HueOf(c), 255, 179); }
cv::Vec3b Second(const cv::Scalar& c) { return HsvToBgr(HueOf(c), 229, 76); }

cv::Vec4b WithAlpha(cv::Vec3b c, uchar a) { return cv::Vec4b(c[0], c[1], c[2], a); }

// Designs: 1 = art "B A ." with two text layers, 2 = art "A - B" (second file
// missing) with one text layer.
void AddDesigns(SlotRun& r) {
  r.theme->AddArt(r.art, 1, "BA.");
  r.theme->AddArt(r.art, 2, "A-B");
  r.theme->AddText(1, 'A', "rgba(255, 255, 255, 100)", cv::Rect(100, 200, 400, 80), "&#8220;");
  r.theme->AddText(1, '.', "rgba(12, 34, 56, 80)", cv::Rect(100, 300, 400, 80));
  r.theme->AddText(2, 'B', "rgba(0, 0, 0, 50)", cv::Rect(1500, 900, 300, 60));
}

}  // namespace

TEST(SlotFilling, PictureSlotsRecordsFilesAndColours) {
  SlotRun r;
  AddDesigns(r);
  std::string red = r.AddPicture("red.png", Solid(64, 36, kRed));
  std::string green = r.AddPicture("green.png", Solid(64, 36, kGreen));
  std::string blue = r.AddPicture("blue.png", Solid(64, 36, kBlue));
  // slot: 0 picture, 1 picture+art (colours from slot 0), 2 paper (from slot
  // 1), 3 paper design 2 (from slot 4), 4 picture.
  r.theme->SetTable({0, 1, 2, 2, 0}, {0, 1, 1, 2, 0}, {0, 1, 1, 1, 0}, {0, 0, 1, 4, 0});
  r.Fill();

  ASSERT_EQ(r.slots.size(), 5u);
  ASSERT_EQ(r.theme->GetSlotArrayCount(), 5);
  const int32_t* allocated = r.theme->GetAllocatedImages();
  EXPECT_EQ(std::vector<int>(allocated, allocated + 5), (std::vector<int>{0, 1, 2, 0, 1}));

  // Picture slots: one layer, no file.
  EXPECT_EQ(r.slots[0].slotType, 0);
  EXPECT_EQ(r.slots[0].layerCount, 1);
  EXPECT_EQ(r.slots[0].layers[0].layerType, 0);
  EXPECT_EQ(Narrow(r.slots[0].layers[0].layerSource), red);
  EXPECT_EQ(Narrow(r.slots[4].layers[0].layerSource), green);
  EXPECT_EQ(r.slots[0].layers[0].width, 1920);
  EXPECT_EQ(r.slots[0].layers[0].height, 1080);
  EXPECT_EQ(r.slots[0].layers[1].layerType, 0);
  EXPECT_EQ(r.slots[0].layers[1].layerSource[0], 0);
  EXPECT_FALSE(platform::PathExists(r.WsPath(0, 0)));

  // Picture with art: picture, workspace image, text layers.
  const SlotContext& s1 = r.slots[1];
  EXPECT_EQ(s1.layerCount, 4);
  EXPECT_EQ(Narrow(s1.layers[0].layerSource), green);
  EXPECT_EQ(s1.layers[1].layerType, 2);
  EXPECT_EQ(Narrow(s1.layers[1].layerSource), r.WsPath(1, 1));
  EXPECT_EQ(s1.layers[1].width, 1920);
  EXPECT_EQ(s1.slotPath[0], 0);

  // Paper: empty layer 0, full-frame rectangles.
  const SlotContext& s2 = r.slots[2];
  EXPECT_EQ(s2.slotType, 2);
  EXPECT_EQ(s2.layers[0].layerType, 0);
  EXPECT_EQ(s2.layers[0].layerSource[0], 0);
  EXPECT_EQ(s2.layers[0].width, 1920);
  EXPECT_EQ(Narrow(s2.layers[1].layerSource), r.WsPath(2, 1));
  EXPECT_EQ(r.slots[3].layerCount, 3);

  // Text layers: templates copied, 'A' recoloured with the template's alpha.
  const LayerContext& t0 = s1.layers[2];
  EXPECT_EQ(t0.layerType, 3);
  EXPECT_EQ(t0.x, 100);
  EXPECT_EQ(t0.y, 200);
  EXPECT_EQ(t0.width, 400);
  EXPECT_EQ(t0.size, 40);
  EXPECT_EQ(Narrow(t0.text), "&#8220;");
  EXPECT_EQ(Narrow(t0.font), "Oswald-Regular");
  EXPECT_EQ(Narrow(t0.horizontal, REELKA_SHORT_LEN), "center");
  EXPECT_EQ(Narrow(t0.background, REELKA_SHORT_LEN), "rgba(255, 255, 255, 0)");
  cv::Vec3b c1 = First(kRed);  // slot 1 takes colours from slot 0's red picture
  EXPECT_EQ(Narrow(t0.colour, REELKA_SHORT_LEN), platform::Format("rgba(%d, %d, %d, 100)", c1[2], c1[1], c1[0]));
  EXPECT_EQ(Narrow(s1.layers[3].colour, REELKA_SHORT_LEN), "rgba(12, 34, 56, 80)");
  cv::Vec3b paper2 = Second(kGreen);  // slot 3 from slot 4's green picture
  EXPECT_EQ(Narrow(r.slots[3].layers[2].colour, REELKA_SHORT_LEN),
            platform::Format("rgba(%d, %d, %d, 50)", paper2[2], paper2[1], paper2[0]));

  // Workspace image: art in picked colours on a transparent ground.
  cv::Mat ws = cv::imread(r.WsPath(1, 1), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(ws.type(), CV_8UC4);
  ASSERT_EQ(ws.size(), cv::Size(1920, 1080));
  EXPECT_EQ(ws.at<cv::Vec4b>(ProbeRect(0).tl()), WithAlpha(Second(kRed), 255));
  EXPECT_EQ(ws.at<cv::Vec4b>(ProbeRect(1).tl()), WithAlpha(First(kRed), 255));
  EXPECT_EQ(ws.at<cv::Vec4b>(ProbeRect(2).tl()), StoredArtColour(2));
  EXPECT_EQ(ws.at<cv::Vec4b>(105, 45), WithAlpha(Second(kRed), 128));
  EXPECT_EQ(ws.at<cv::Vec4b>(500, 1000), cv::Vec4b(0, 0, 0, 0));
  cv::Mat ws2 = cv::imread(r.WsPath(2, 1), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(ws2.at<cv::Vec4b>(ProbeRect(1).tl()), WithAlpha(First(kGreen), 255));

  // A missing art file is left out and logged.
  cv::Mat ws3 = cv::imread(r.WsPath(3, 2), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(ws3.at<cv::Vec4b>(ProbeRect(0).tl()), WithAlpha(First(kGreen), 255));
  EXPECT_EQ(ws3.at<cv::Vec4b>(ProbeRect(1).tl())[3], 0);
  EXPECT_EQ(ws3.at<cv::Vec4b>(ProbeRect(2).tl()), WithAlpha(Second(kGreen), 255));
  std::string log = testutil::ReadLog();
  EXPECT_EQ(CountOf(log, "## Couldn't read separator file. " + r.art + "art_2_1.png"), 1);
  EXPECT_EQ(CountOf(log, "FillSlotContextForSequence, slot : "), 5);
}

TEST(SlotFilling, PicturesAreAllocatedOverAllSlotsAndProgressIsPublished) {
  SlotRun r;
  for (int i = 0; i < 3; ++i) r.AddPicture("p" + std::to_string(i) + ".png", Solid(8, 8, kRed));
  const int N = 17;
  r.theme->SetTable(std::vector<int32_t>(N, 0), std::vector<int32_t>(N, 0), std::vector<int32_t>(N, 0),
                    std::vector<int32_t>(N, 0));
  std::atomic<int> progress{0};
  gSlotProgressTarget = &progress;
  std::set<int> allowed;
  for (int i = 0; i < N; ++i) allowed.insert(100 * (i + 1) / N);
  std::atomic<bool> done{false};
  std::vector<int> seen;
  std::thread poll([&] {
    while (!done) seen.push_back(progress.load());
  });
  r.Fill();
  done = true;
  poll.join();
  gSlotProgressTarget = nullptr;

  EXPECT_EQ(progress.load(), 100);
  int last = 0;
  for (int v : seen) {
    if (v == 0) continue;
    EXPECT_TRUE(allowed.count(v)) << v;
    EXPECT_GE(v, last);
    last = v;
  }
  EXPECT_EQ(*allowed.begin(), 5);
  EXPECT_EQ(Narrow(r.slots[3].layers[0].layerSource), Narrow(r.input->ImagePath[0]));
  EXPECT_EQ(Narrow(r.slots[16].layers[0].layerSource), Narrow(r.input->ImagePath[1]));
}

TEST(SlotFilling, VideoSlotsGetFirstFramesAndBlockColours) {
  SlotRun r;
  AddDesigns(r);
  r.AddPicture("red.png", Solid(32, 18, kRed));
  std::string video = r.run.root + "/clip.avi";
  ASSERT_TRUE(WriteVideo(video, {kYellow, kCyan, kMagenta}));
  r.videos.resize(1);
  r.videos[0].fileName = video;
  r.videos[0].blocks.resize(3);
  r.videos[0].blocks[1].sfStart = 333334;
  r.videos[0].blocks[2].sfStart = 666667;
  // slot 0 picture, 1 video (block 2), 2 video with art (block 3, colours from
  // block 3), 3 video with art (block 4 wraps to block 1).
  r.theme->SetTable({0, 3, 4, 4}, {0, 0, 2, 1}, {0, 0, 2, 2}, {0, 2, 3, 4});
  r.Fill();
  ASSERT_EQ(r.slots.size(), 4u);

  struct Expect {
    int slot;
    cv::Scalar colour;
  } expects[] = {{1, kCyan}, {2, kMagenta}, {3, kYellow}};
  for (const Expect& e : expects) {
    const SlotContext& s = r.slots[e.slot];
    EXPECT_EQ(s.layers[0].layerType, 1);
    const std::string path = r.run.work + "_WS_BG" + std::to_string(e.slot) + ".png";
    EXPECT_EQ(Narrow(s.layers[0].layerSource), path);
    cv::Mat frame = cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(frame.type(), CV_8UC4);
    ASSERT_EQ(frame.size(), cv::Size(1920, 1080));
    cv::Vec4b px = frame.at<cv::Vec4b>(540, 960);
    EXPECT_TRUE(Near(cv::Vec3b(px[0], px[1], px[2]),
                     cv::Vec3b(e.colour[0], e.colour[1], e.colour[2]), 12))
        << e.slot;
    EXPECT_EQ(px[3], 255);
  }
  EXPECT_EQ(r.slots[1].layerCount, 1);
  EXPECT_EQ(r.slots[2].layerCount, 3);
  EXPECT_EQ(r.slots[3].layerCount, 4);
  cv::Mat ws = cv::imread(r.WsPath(2, 2), cv::IMREAD_UNCHANGED);
  cv::Vec4b probe = ws.at<cv::Vec4b>(ProbeRect(0).tl());
  EXPECT_TRUE(Near(cv::Vec3b(probe[0], probe[1], probe[2]), First(kMagenta), 8));
  cv::Mat ws3 = cv::imread(r.WsPath(3, 1), cv::IMREAD_UNCHANGED);
  cv::Vec4b probe3 = ws3.at<cv::Vec4b>(ProbeRect(1).tl());
  EXPECT_TRUE(Near(cv::Vec3b(probe3[0], probe3[1], probe3[2]), First(kYellow), 8));
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Resizing a frame image as width : 1920, height : 1080"), std::string::npos);
}

TEST(SlotFilling, VideoSlotsWithoutVideosGetBlackFramesAndGreyColours) {
  SlotRun r;
  AddDesigns(r);
  r.AddPicture("red.png", Solid(32, 18, kRed));
  r.theme->SetTable({0, 4, 3}, {0, 1, 0}, {0, 2, 0}, {0, 1, 1});
  r.Fill();  // no video list at all
  ASSERT_EQ(r.slots.size(), 3u);
  cv::Mat frame = cv::imread(r.run.work + "_WS_BG1.png", cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(frame.empty());
  EXPECT_EQ(frame.at<cv::Vec4b>(10, 10), cv::Vec4b(0, 0, 0, 255));
  cv::Mat ws = cv::imread(r.WsPath(1, 1), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(ws.at<cv::Vec4b>(ProbeRect(1).tl()), cv::Vec4b(179, 179, 179, 255));
  EXPECT_EQ(ws.at<cv::Vec4b>(ProbeRect(0).tl()), cv::Vec4b(76, 76, 76, 255));

  // A video whose blocks list is empty, and one that does not open.
  r.videos.resize(2);
  r.videos[0].fileName = r.run.root + "/none.avi";
  r.videos[1].fileName = r.run.root + "/broken.avi";
  std::ofstream(r.videos[1].fileName) << "garbage";
  r.videos[1].blocks.resize(1);
  r.Fill();
  ASSERT_EQ(r.slots.size(), 3u);
  frame = cv::imread(r.run.work + "_WS_BG2.png", cv::IMREAD_UNCHANGED);
  EXPECT_EQ(frame.at<cv::Vec4b>(10, 10), cv::Vec4b(0, 0, 0, 255));
}

TEST(SlotFilling, RefusesRunsWithoutPicturesOrInput) {
  SlotRun r;
  AddDesigns(r);
  r.theme->SetTable({0, 1}, {0, 1}, {0, 1}, {0, 0});
  r.slots.resize(7);
  r.Fill();
  EXPECT_TRUE(r.slots.empty());
  EXPECT_EQ(r.theme->GetSlotArrayCount(), 0);
  EXPECT_EQ(r.theme->GetSlotTypes(), nullptr);
  r.input->NumOfImage = -3;
  r.Fill();
  EXPECT_TRUE(r.slots.empty());
  r.theme->FillSlotContext(&r.slots, nullptr, nullptr);
  EXPECT_TRUE(r.slots.empty());
  std::string log = testutil::ReadLog();
  EXPECT_EQ(CountOf(log, "## No user image (NumOfImage : 0), slot filling refused"), 1);
  EXPECT_EQ(CountOf(log, "## No user input, slot filling refused"), 1);

  // Zero slots: nothing filled, nothing written.
  r.input->NumOfImage = 0;
  r.AddPicture("red.png", Solid(8, 8, kRed));
  r.theme->SetTable({}, {}, {}, {});
  r.Fill();
  EXPECT_TRUE(r.slots.empty());
}

TEST(SlotFilling, UnwritableFolderNamesNoFiles) {
  SlotRun r;
  AddDesigns(r);
  r.AddPicture("red.png", Solid(8, 8, kRed));
  SetWide(r.input->tempDirPath, REELKA_PATH_LEN, r.run.root + "/missing/");
  r.theme->SetTable({1, 3, 2}, {1, 0, 2}, {1, 0, 1}, {0, 1, 0});
  r.Fill();
  ASSERT_EQ(r.slots.size(), 3u);
  EXPECT_EQ(r.slots[0].layers[1].layerType, 2);
  EXPECT_EQ(r.slots[0].layers[1].layerSource[0], 0);
  EXPECT_EQ(r.slots[1].layers[0].layerSource[0], 0);
  EXPECT_EQ(r.slots[2].layers[1].layerSource[0], 0);
  EXPECT_EQ(r.slots[0].layerCount, 4);
  std::string log = testutil::ReadLog();
  EXPECT_EQ(CountOf(log, "## Couldn't write image file. " + r.run.root + "/missing/"), 3);
}

TEST(SlotFilling, BadTableEntriesAreLoggedNotFollowed) {
  SlotRun r;
  AddDesigns(r);
  r.AddPicture("red.png", Solid(8, 8, kRed));
  // Design 11 does not exist; target slot 9 is past the table; target type 0.
  r.theme->SetTable({1, 2, 2}, {11, 1, 1}, {1, 1, 0}, {0, 9, 0});
  r.Fill();
  ASSERT_EQ(r.slots.size(), 3u);
  EXPECT_EQ(r.slots[0].layerCount, 2);
  EXPECT_EQ(r.slots[1].layerCount, 4);
  cv::Mat ws = cv::imread(r.WsPath(1, 1), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(ws.at<cv::Vec4b>(ProbeRect(1).tl()), cv::Vec4b(179, 179, 179, 255));
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("## Slot 0 names no design (11)"), std::string::npos);
  EXPECT_NE(log.find("## Colour target slot out of range, targetIndex : 9, slots : 3"), std::string::npos);
  EXPECT_NE(log.find("Error: This slot has no separator."), std::string::npos);
}

TEST(SlotFilling, NonAsciiFoldersAndPictures) {
  SlotRun r;
  AddDesigns(r);
  std::string dir = r.run.root + "/Ärger 写真/";
  std::system(("mkdir -p '" + dir + "'").c_str());
  SetWide(r.input->tempDirPath, REELKA_PATH_LEN, dir);
  std::string pic = WriteImage(dir + "blau ü.png", Solid(16, 9, kBlue));
  SetWide(r.input->ImagePath[0], REELKA_PATH_LEN, pic);
  r.input->NumOfImage = 1;
  r.theme->SetTable({1}, {1}, {1}, {0});
  r.Fill();
  ASSERT_EQ(r.slots.size(), 1u);
  const std::string ws = dir + "ss_icon_clip_sp_01-WS0.png";
  EXPECT_EQ(Narrow(r.slots[0].layers[1].layerSource), ws);
  cv::Mat img = cv::imread(ws, cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(img.empty());
  EXPECT_EQ(img.at<cv::Vec4b>(ProbeRect(1).tl()), WithAlpha(First(kBlue), 255));
}
