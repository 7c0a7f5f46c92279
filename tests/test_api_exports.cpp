// The twelve exports: order, bad input, progress, cancel and logging.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <cstring>
#include <memory>
#include <thread>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "api/CreateReelkaInterface.h"
#include "api/Log.h"
#include "platform/Platform.h"
#include "reelka/reelka.h"
#include "scriptmaker/OrvCancelTask.h"
#include "scriptmaker/OrvVideoScriptMaker.h"
#include "test_foundation_util.h"

using testutil::TempRun;

namespace {
struct Released {
  ~Released() { ReleaseReelka(); }
};

std::unique_ptr<UserInputContext> MakeInput(const TempRun& run, int images) {
  auto input = std::make_unique<UserInputContext>();
  std::memset(input.get(), 0, sizeof(UserInputContext));
  input->NumOfImage = images;
  for (int i = 0; i < images; ++i) {
    std::string path = run.root + "/photo" + std::to_string(i) + ".png";
    cv::Mat picture(240, 320, CV_8UC3, cv::Scalar(40 * i % 255, 200, 90));
    cv::circle(picture, {160, 120}, 50 + i, cv::Scalar(250, 20 * i, 30), -1);
    cv::imwrite(path, picture);
    platform::CopyWideField(input->ImagePath[i], REELKA_PATH_LEN, platform::Utf8ToUtf16(path));
  }
  platform::CopyWideField(input->tempDirPath, REELKA_PATH_LEN, run.WorkWide());
  input->wsWidth = 1920;
  input->wsHeight = 1080;
  return input;
}
}  // namespace

TEST(ApiProgress, FormulasAreExactInDouble) {
  EXPECT_EQ(CreateReelkaInterface::StartFormula(0, 90), 62);  // 90 x 0.7 is just below 63
  EXPECT_EQ(CreateReelkaInterface::StartFormula(10, 90), 66);
  EXPECT_EQ(CreateReelkaInterface::StartFormula(70, 100), 91);
  EXPECT_EQ(CreateReelkaInterface::StartFormula(99, 100), 99);
  EXPECT_EQ(CreateReelkaInterface::StartFormula(100, 100), 100);
  EXPECT_EQ(CreateReelkaInterface::StartFormula(0, 1), 0);
  EXPECT_EQ(CreateReelkaInterface::StartFormula(55, 0), 55);  // video reports nothing
  EXPECT_EQ(CreateReelkaInterface::CreateFormula(0, 90), 27);
  EXPECT_EQ(CreateReelkaInterface::CreateFormula(10, 90), 34);
  EXPECT_EQ(CreateReelkaInterface::CreateFormula(50, 50), 50);
  EXPECT_EQ(CreateReelkaInterface::CreateFormula(100, 99), 99);
  EXPECT_EQ(CreateReelkaInterface::CreateFormula(100, 100), 100);
  EXPECT_EQ(CreateReelkaInterface::CreateFormula(42, 0), 42);
}

TEST(ApiOrder, EveryExportIsSafeBeforeAThemeAndAfterRelease) {
  Released release;
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(GetProgressValue(), 0);
    EXPECT_EQ(GetEstimatedTimeSec(1, 6, 0), -1);
    ThemeSlotSequence* context = GetThemeContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->slotCount, 0);
    EXPECT_EQ(KV_UpdateSlot(0, u"/nonexistent.png"), -1);
    EXPECT_EQ(KV_UpdateSlot(-5, nullptr), -1);
    ReplacedSlotInfo* info = GetReplacedSlot();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->percent, -1);
    EXPECT_EQ(info->workSpaceImagePath[0], 0);
    EXPECT_EQ(GetReplacedSlot(), info);  // same record on every call
    KV_StartReelka(nullptr);
    KV_CreateReelka(nullptr);
    KV_CreateReelka(context);
    EXPECT_FALSE(SaveReelka(u"/tmp/reelka_never_written.avi"));
    EXPECT_FALSE(SaveReelka(nullptr));
    EXPECT_FALSE(SaveReelka(u""));
    const char16_t* still = GetFirstSlotImage();
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(still[0], 0);
    CancelEncoding();
    ReleaseReelka();
    ReleaseReelka();
  }
}

TEST(ApiOrder, ThemeLimitsAndDebuggerLines) {
  Released release;
  platform::SetDebugCapture(true);
  ThemeLimit none = GetThemeLimitInfo(3);
  EXPECT_EQ(none.maxImage, 0);
  EXPECT_EQ(none.minImage, 0);
  EXPECT_EQ(none.minVideoSec, 0);
  EXPECT_EQ(none.maxVideoSec, 0);
  EXPECT_EQ(GetEstimatedTimeSec(3, 6, 0), -1);
  ThemeLimit sporty = GetThemeLimitInfo(1);
  EXPECT_EQ(sporty.maxImage, 11);
  EXPECT_EQ(sporty.minImage, 6);
  EXPECT_EQ(sporty.minVideoSec, 20);
  EXPECT_EQ(sporty.maxVideoSec, 600);
  EXPECT_EQ(GetEstimatedTimeSec(1, 6, 0), 45);
  std::string lines = platform::TakeDebugCapture();
  platform::SetDebugCapture(false);
  EXPECT_NE(lines.find("Enter GetThemeLimitInfo    Limit, minImage : 6, maxImage : 11, minVideoSec : 20, "
                       "maxVideoSec : 600Leave GetThemeLimitInfo"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("Enter GetEstimatedTimeSec, estimatedTimeSec : 45"), std::string::npos);
}

TEST(ApiCancel, ReturnsAtOnceWithoutAPassAndCreatePassClearsTheRenderFlag) {
  Released release;
  g_isFXCancel = false;
  g_isVideoEngineCancel = false;
  auto start = std::chrono::steady_clock::now();
  CancelEncoding();
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 100);
  EXPECT_TRUE(g_isFXCancel.load());
  EXPECT_TRUE(g_isVideoEngineCancel.load());
  // Without videos the create pass clears only the rendering flag.
  GetThemeLimitInfo(1);
  KV_CreateReelka(GetThemeContext());
  EXPECT_FALSE(g_isFXCancel.load());
  EXPECT_TRUE(g_isVideoEngineCancel.load());
  g_isVideoEngineCancel = false;
}

TEST(ApiInput, StartPassClampsCountsAndLogsItsBrackets) {
  Released release;
  TempRun run;
  auto input = MakeInput(run, 6);
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 0);
  input->NumOfImage = 5000;  // only 50 paths fit the record
  input->NumOfVideo = -3;
  KV_StartReelka(input.get());
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Enter StartReelka"), std::string::npos);
  EXPECT_NE(log.find("NumOfImage 5000 is outside 0..50, using 50"), std::string::npos);
  EXPECT_NE(log.find("NumOfVideo -3 is outside 0..3, using 0"), std::string::npos);
  EXPECT_NE(log.find("Leave StartReelka"), std::string::npos);
  // The finished start pass reads 100 once, then 0 until the next pass.
  EXPECT_EQ(GetProgressValue(), 100);
  EXPECT_EQ(GetProgressValue(), 0);
  EXPECT_EQ(GetProgressValue(), 0);
}

TEST(ApiProgress, QueriesAndCancelNeverCreateEngines) {
  Released release;
  ReleaseReelka();
  EXPECT_EQ(GetProgressValue(), 0);
  CancelEncoding();
  EXPECT_EQ(gFXEngine, nullptr);
  EXPECT_EQ(gVideoEngine, nullptr);
  g_isFXCancel = false;
  g_isVideoEngineCancel = false;
}

TEST(ApiInput, StartPassWithoutPicturesIsRefusedAndNothingRenders) {
  Released release;
  TempRun run;
  auto input = MakeInput(run, 6);
  GetThemeLimitInfo(0);
  GetEstimatedTimeSec(0, 6, 0);
  KV_StartReelka(input.get());
  ASSERT_GT(GetThemeContext()->slotCount, 0);
  // A later start pass without pictures leaves no slots and no scenes of the earlier one.
  input->NumOfImage = 0;
  KV_StartReelka(input.get());
  EXPECT_EQ(GetThemeContext()->slotCount, 0);
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("No picture was given"), std::string::npos);
  KV_CreateReelka(GetThemeContext());
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(run.root + "/clip.avi").c_str()));
  EXPECT_NE(testutil::ReadLog().find("No slots were filled"), std::string::npos);
}

TEST(ApiInput, ContextBufferKeepsItsAddressAcrossStartPasses) {
  Released release;
  TempRun run;
  auto input = MakeInput(run, 6);
  ThemeSlotSequence* before = GetThemeContext();
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 0);
  KV_StartReelka(input.get());
  ThemeSlotSequence* first = GetThemeContext();
  EXPECT_EQ(first, before);
  int slots = first->slotCount;
  EXPECT_GT(slots, 0);
  KV_StartReelka(input.get());
  EXPECT_EQ(GetThemeContext(), first);
  EXPECT_EQ(GetThemeContext()->slotCount, slots);
  // Records past the count stay zero.
  const unsigned char* tail = reinterpret_cast<const unsigned char*>(&first->slots[slots]);
  size_t tailBytes = sizeof(SlotContext) * (REELKA_MAX_SLOTS - slots);
  EXPECT_EQ(std::count(tail, tail + tailBytes, 0), static_cast<long>(tailBytes));
}

TEST(ScriptMaker, ResourceListsFollowTheHostSlots) {
  OrvVideoScriptMaker maker;
  maker.GetThemeLimitInfo(1);  // three separators per video slot
  SlotContext slots[5];
  std::memset(slots, 0, sizeof(slots));
  const int types[5] = {0, 2, 4, 0, 4};
  for (int i = 0; i < 5; ++i) slots[i].slotType = types[i];
  maker.AddThemeResource(slots, 5, nullptr);
  const ThemeResource& tr = maker.GetThemeResource();
  ASSERT_EQ(tr.ImageList.size(), 2u);
  EXPECT_EQ(tr.ImageList[0].slotIndex, 0);
  EXPECT_EQ(tr.ImageList[1].slotIndex, 3);
  ASSERT_EQ(tr.PaperList.size(), 3u);
  EXPECT_EQ(tr.PaperList[2].slotIndex, 4);
  ASSERT_EQ(tr.mVideoList.size(), 6u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(tr.mVideoList[k].slotIndex, 2);
    EXPECT_EQ(tr.mVideoList[k].paperIndex, 1);
    EXPECT_EQ(tr.mVideoList[3 + k].slotIndex, 4);
    EXPECT_EQ(tr.mVideoList[3 + k].paperIndex, 2);
  }
  EXPECT_EQ(tr.mMetaData.GetResourceDirectory(), "./ReelkaResource/common/");
  EXPECT_EQ(tr.mMetaData.mTransitionSec, 2.0f);
}

TEST(ScriptMaker, CancelledOrThemelessStartDoesNothing) {
  OrvVideoScriptMaker maker;
  g_isFXCancel = true;
  EXPECT_EQ(maker.Start(nullptr, 0, nullptr), 0);
  g_isFXCancel = false;
  EXPECT_EQ(maker.Start(nullptr, 0, nullptr), -1);  // no theme
  EXPECT_FALSE(maker.LastPassCompleted());
  EXPECT_FALSE(maker.FXSaveReelka(u"/tmp/reelka_never.avi"));
  EXPECT_EQ(maker.Stop(), 0);
  EXPECT_EQ(maker.Stop(), -2);
}

// A script maker whose cancel lands at the at-th test of the flag: in Start
// the first is Start's own, the next five are Init's.
class CancelAtCheck : public OrvVideoScriptMaker {
 public:
  int at = 1 << 30, checks = 0;

 private:
  bool IsCanceled() override { return ++checks >= at; }
};

TEST(ScriptMaker, ACancelDuringInitReturnsFromStartWithNothingLeft) {
  TempRun run;
  auto input = MakeInput(run, 6);
  InitLog(run.WorkWide());
  CancelAtCheck maker;
  maker.GetThemeLimitInfo(1);
  maker.GetEstimatedTimeSec(1, 6, 0);
  maker.FXStartReelka(0, input.get(), nullptr);
  const std::vector<SlotContext> slots = maker.GetSlotContexts();
  ASSERT_FALSE(slots.empty());
  for (int n = 2; n <= 7; ++n) {
    SCOPED_TRACE("cancel at test " + std::to_string(n));
    const size_t logged = testutil::ReadLog().size();
    maker.at = n;
    maker.checks = 0;
    // A pass left running would refuse the next Start with -1.
    EXPECT_EQ(maker.Start(slots.data(), static_cast<int>(slots.size()), nullptr), 0);
    const std::string log = testutil::ReadLog().substr(logged);
    auto logs = [&](const std::string& line) { return log.find("\t" + line + "\n") != std::string::npos; };
    EXPECT_TRUE(logs("Init() Start"));
    for (const char* line : {"Init() End", "DeInit() Start", "Start DeInit", "End DeInit", "DeInit() End",
                             "End of Start()", "Start Making Theme"})
      EXPECT_FALSE(logs(line)) << line;
    const ThemeResource& made = maker.GetThemeResource();
    EXPECT_TRUE(made.ImageList.empty() && made.PaperList.empty() && made.mMetaData.GetOutputFilePath().empty());
  }
}

TEST(ApiCancel, CancelDuringACreatePassStopsItAndNothingIsSaved) {
  Released release;
  TempRun run;
  auto input = MakeInput(run, 6);
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 0);
  KV_StartReelka(input.get());
  ThemeSlotSequence* context = GetThemeContext();
  ASSERT_GT(context->slotCount, 0);
  std::string dest = run.root + "/clip.avi";
  std::ofstream(dest) << "the user's earlier file";

  std::thread work([&] { KV_CreateReelka(context); });
  // Wait until frames have reached the output file, then cancel.
  const std::string output = run.work + "_output.avi";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int seen = 0;
  struct stat st;
  while (std::chrono::steady_clock::now() < deadline &&
         !(::stat(output.c_str(), &st) == 0 && st.st_size > (2 << 20))) {
    seen = std::max(seen, GetProgressValue());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  auto start = std::chrono::steady_clock::now();
  CancelEncoding();
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  work.join();
  EXPECT_LT(waited.count(), 1500);
  EXPECT_GT(seen, 0);
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dest).c_str()));
  // The interrupted output is closed and decodes.
  {
    cv::VideoCapture partial(output, cv::CAP_FFMPEG);
    ASSERT_TRUE(partial.isOpened());
    cv::Mat frame;
    EXPECT_TRUE(partial.read(frame));
    EXPECT_EQ(frame.size(), cv::Size(1920, 1080));
  }
  EXPECT_EQ(testutil::ReadFile(dest), "the user's earlier file");
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Leave CancelEncoding"), std::string::npos);
  EXPECT_NE(log.find("The last create pass did not complete"), std::string::npos);
  g_isFXCancel = false;
  g_isVideoEngineCancel = false;
}
