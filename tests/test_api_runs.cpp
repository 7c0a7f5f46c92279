// Runs through the exports as a careless or hostile host drives them: calls
// from other threads during a pass, release racing a query, cancel then
// save, a full disk, long and non-ASCII work folders, pipes given as files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "api/CreateReelkaInterface.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "scriptmaker/OrvCancelTask.h"
#include "scriptmaker/OrvVideoScriptMaker.h"
#include "test_end_to_end_util.h"
#include "themes/SlotInformation.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

using Clock = std::chrono::steady_clock;
std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

class ApiRuns : public ::testing::Test {
 protected:
  void TearDown() override {
    g_isFXCancel = false;
    g_isVideoEngineCancel = false;
    ReleaseReelka();
  }
  void Start(const std::string& work, const std::vector<std::string>& videos = {}) {
    GetThemeLimitInfo(1);
    GetEstimatedTimeSec(1, 6, videos.empty() ? 0 : 4);
    KV_StartReelka(e2e::MakeInput(photos, videos, work).get());
  }
  static int SlotOfType(int type) {
    const ThemeSlotSequence* context = GetThemeContext();
    for (int s = 0; s < context->slotCount; ++s)
      if (context->slots[s].slotType == type) return s;
    return -1;
  }
  static std::string Log() { return e2e::ReadFile(GetLogFilePath()); }
  // 160 x 90: the clip takes this size and renders fast.
  std::string SmallVideo() {
    const std::string path = dir.root + "/small.avi";
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, {160, 90});
    for (int i = 0; i < 100; ++i) {
      cv::Mat frame(90, 160, CV_8UC3, cv::Scalar(2 * i, 80, 200));
      cv::rectangle(frame, cv::Rect(10 + i, 20 + i % 30, 30, 30), cv::Scalar::all(255), cv::FILLED);
      writer.write(frame);
    }
    return path;
  }
  e2e::RunDir dir{::testing::UnitTest::GetInstance()->current_test_info()->name()};
  std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
};

TEST_F(ApiRuns, ThemeCallsDuringAStartPassLeaveItsThemeAlone) {
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 0);
  auto input = e2e::MakeInput(photos, {}, dir.work);
  std::atomic<bool> done{false};
  std::thread pass([&] {
    KV_StartReelka(input.get());
    done = true;
  });
  // Before the pass begins another theme may still be chosen.
  while (!done && !gCreateReelkaInterface->IsPassRunning()) std::this_thread::yield();
  ThemeLimit vivid{};
  CreateThemeSlotInformation(2)->GetThemeLimitInfo(&vivid);
  int wrongLimits = 0;
  while (!done) {
    wrongLimits += GetThemeLimitInfo(2).maxImage != vivid.maxImage;
    GetEstimatedTimeSec(2, 6, 0);
    KV_UpdateSlot(0, W(photos[1]).c_str());
    GetThemeContext();
    GetFirstSlotImage();
    SaveReelka(W(dir.root + "/during.avi").c_str());
  }
  pass.join();
  EXPECT_EQ(wrongLimits, 0);
  const std::string log = Log();
  EXPECT_GT(e2e::CountLines(log, "A pass is running, the theme in use is kept"), 0);
  EXPECT_GT(e2e::CountLines(log, "A pass is running, slot update refused"), 0);
  EXPECT_GT(e2e::CountLines(log, "[SportySlotInformation::FillSlotContext]"), 0);
  EXPECT_EQ(e2e::CountLines(log, "[VividSlotInformation::FillSlotContext]"), 0);
}

TEST_F(ApiRuns, ReleaseNeverFreesWhatAnotherCallUses) {
  ThemeLimit sporty{};
  CreateThemeSlotInformation(1)->GetThemeLimitInfo(&sporty);
  std::atomic<int> wrong{0};
  for (int round = 0; round < 200; ++round) {
    std::thread query([&] {
      wrong += GetThemeLimitInfo(1).maxImage != sporty.maxImage;
      const int estimate = GetEstimatedTimeSec(1, 6, 0);  // -1 after a release in between
      wrong += estimate != 45 && estimate != -1;
      CancelEncoding();
    });
    std::thread release([] { ReleaseReelka(); });
    query.join();
    release.join();
  }
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ApiRuns, AskingForTheThemeInUseKeepsTheRunsSlots) {
  Start(dir.work);
  const int slots = GetThemeContext()->slotCount;
  ASSERT_GT(slots, 0);
  GetThemeLimitInfo(1);
  EXPECT_EQ(GetThemeContext()->slotCount, slots);
  EXPECT_EQ(KV_UpdateSlot(SlotOfType(2), W(photos[3]).c_str()), 0);
  // Another theme drops them: a create pass with the old context is refused.
  auto stale = std::make_unique<ThemeSlotSequence>(*GetThemeContext());
  GetThemeLimitInfo(0);
  EXPECT_EQ(GetThemeContext()->slotCount, 0);
  KV_CreateReelka(stale.get());
  EXPECT_FALSE(SaveReelka(W(dir.root + "/clip.avi").c_str()));
  EXPECT_NE(Log().find("No slots were filled"), std::string::npos);
}

TEST_F(ApiRuns, ACancelledCreatePassNeverSavesTheClipBefore) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Start(dir.work, {SmallVideo()});
  KV_CreateReelka(GetThemeContext());
  ASSERT_TRUE(SaveReelka(W(dir.root + "/first.avi").c_str()));
  // The next pass's rendering side finds the flag a cancel during
  // stabilisation leaves.
  g_isFXCancel = true;
  dynamic_cast<OrvVideoScriptMaker&>(*gFXEngine).Start(GetThemeContext()->slots, GetThemeContext()->slotCount, nullptr);
  EXPECT_FALSE(SaveReelka(W(dir.root + "/second.avi").c_str()));
  EXPECT_FALSE(platform::PathExists(dir.root + "/second.avi"));
  EXPECT_FALSE(platform::PathExists(dir.work + "_output.avi"));
}

TEST_F(ApiRuns, AFullDiskStopsTheCreatePassAtOnceAndLeavesNothing) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Start(dir.work, {SmallVideo()});
  // Writes past the limit fail as on a full disk: the first failed write
  // stops the pass (past 128 kB) or keeps it from starting (4 kB: the
  // header); the host learns why.
  for (rlim_t limit : {rlim_t{128} << 10, rlim_t{4} << 10}) {
    rlimit saved{}, full{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    full = {limit, saved.rlim_max};
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &full);
    KV_CreateReelka(GetThemeContext());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    const std::string dest = dir.root + "/clip.avi";
    std::ofstream(dest) << "the user's file";
    errno = 0;
    EXPECT_FALSE(SaveReelka(W(dest).c_str()));
    EXPECT_EQ(errno, EFBIG) << limit;
    EXPECT_EQ(e2e::ReadFile(dest), "the user's file");
    const FXPassStatus& status = dynamic_cast<OrvVideoScriptMaker&>(*gFXEngine).LastPassStatus();
    EXPECT_EQ(status.writeErrno, EFBIG) << limit;
    EXPECT_TRUE(status.cancelled || status.noWriter) << "the pass drew on after the failed write, limit " << limit;
    EXPECT_FALSE(platform::PathExists(dir.work + "_output.avi")) << limit;
  }
  EXPECT_NE(Log().find("Writing a frame failed: File too large; the render pass stops"), std::string::npos);
}

TEST_F(ApiRuns, WhatTheEncoderThreadThrowsFailsThePassAndLeavesNoOutput) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Start(dir.work, {SmallVideo()});
  OrvFXFrameHandler::SetFrameSink([](const cv::Mat&) { throw 42; });
  KV_CreateReelka(GetThemeContext());
  OrvFXFrameHandler::SetFrameSink(nullptr);
  EXPECT_FALSE(SaveReelka(W(dir.root + "/clip.avi").c_str()));
  EXPECT_FALSE(platform::PathExists(dir.work + "_output.avi"));
  EXPECT_NE(Log().find("Writing a frame failed: unknown exception; the render pass stops"), std::string::npos);
}

TEST_F(ApiRuns, LinksPlantedInTheWorkFolderAreNeverWrittenThrough) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  const std::string video = SmallVideo();
  Start(dir.work, {video});
  KV_CreateReelka(GetThemeContext());
  // A second run in a new folder, every name the first wrote (and its
  // temporary forms) a link to a file of someone else's.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.work)) names.push_back(entry.path().filename());
  auto temporaries = [](const std::string& name) {
    const size_t dot = name.rfind('.');
    return std::vector<std::string>{name, name + "~tmp", name.substr(0, dot) + "~tmp" + name.substr(dot)};
  };
  ASSERT_GT(names.size(), 3u);
  const std::string victim = dir.root + "/victim.txt";
  std::ofstream(victim) << "someone else's";
  const std::string work = dir.root + "/work2/";
  std::filesystem::create_directory(work);
  for (const auto& name : names)
    for (const auto& link : temporaries(name)) std::filesystem::create_symlink(victim, work + link);
  ReleaseReelka();
  Start(work, {video});
  KV_CreateReelka(GetThemeContext());
  EXPECT_TRUE(SaveReelka(W(dir.root + "/clip.avi").c_str()));
  EXPECT_TRUE(e2e::ReadFile(victim) == "someone else's") << "the victim was overwritten";
  for (const auto& name : names) EXPECT_FALSE(std::filesystem::is_symlink(work + name)) << name;
}

TEST_F(ApiRuns, CancelAndProgressNeverWaitOnEachOther) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Start(dir.work);
  std::thread pass([] { KV_CreateReelka(GetThemeContext()); });
  const std::string output = dir.work + "_output.avi";
  struct stat st;
  for (auto end = Clock::now() + std::chrono::seconds(60); Clock::now() < end;) {
    if (::stat(output.c_str(), &st) == 0 && st.st_size > (1 << 20)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Four cancels at once while the pass is busy, a poll once they began.
  const auto start = Clock::now();
  std::vector<int64_t> returnedMs(4);
  auto ms = [start] { return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(); };
  std::vector<std::thread> cancels;
  for (auto& at : returnedMs)
    cancels.emplace_back([&at, &ms] {
      CancelEncoding();
      at = ms();
    });
  while (!g_isFXCancel) std::this_thread::yield();
  GetProgressValue();
  const int64_t polledMs = ms();
  for (auto& t : cancels) t.join();
  pass.join();
  EXPECT_LT(polledMs, *std::min_element(returnedMs.begin(), returnedMs.end())) << "the poll waited for a cancel";
  EXPECT_LT(*std::max_element(returnedMs.begin(), returnedMs.end()), 1500);
}

TEST_F(ApiRuns, WorkFoldersFitTheirNamesOrAreRefused) {
  auto folder = [&](const std::string& a, const std::string& b) {
    std::filesystem::create_directories(dir.root + "/" + a + "/" + b);
    return dir.root + "/" + a + "/" + b + "/";
  };
  std::string cyrillic, emoji;
  for (int i = 0; i < 60; ++i) cyrillic += "ж";
  for (int i = 0; i < 25; ++i) emoji += "🎬";
  // Over 228 bytes of UTF-8; and SPORTY's longest name ("ss_icon_clip_sp_99-WS35.png",
  // 27 units) leaves 272 of the field's 299 units to the folder.
  const size_t room = 272 - dir.root.size() - 203;
  const std::string wide = folder(cyrillic, emoji), edge = folder(std::string(200, 'a'), std::string(room, 'b'));
  const std::string over = folder(std::string(200, 'a'), std::string(room + 1, 'c'));
  folder(std::string(200, 'a'), "Logs");
  for (const std::string& work : {wide, edge}) {
    Start(work);
    ASSERT_GT(GetThemeContext()->slotCount, 0) << work;
    const int paper = SlotOfType(2);
    EXPECT_EQ(e2e::Narrow(GetThemeContext()->slots[paper].layers[1].layerSource, REELKA_PATH_LEN).rfind(work + "ss_icon_clip_sp_", 0), 0u);
    EXPECT_EQ(KV_UpdateSlot(paper, W(photos[4]).c_str()), 0);
    EXPECT_EQ(KV_UpdateSlot(SlotOfType(1), W(photos[5]).c_str()), 0);
    EXPECT_TRUE(platform::IsRegularFile(e2e::Narrow(GetReplacedSlot()->workSpaceImagePath, REELKA_PATH_LEN)));
  }
  // One unit more: refused in one line, no slot half filled, nothing written.
  Start(over);
  EXPECT_EQ(GetThemeContext()->slotCount, 0);
  EXPECT_EQ(e2e::CountLines(Log(), "Work folder refused, the path is 273 characters long, at most 272"), 1);
  EXPECT_TRUE(std::filesystem::is_empty(over));
  EXPECT_EQ(CreateThemeSlotInformation(2)->LongestWorkFileName(), 28u);  // VIVID's code is "vid"
  // A bare prefix: its last part and a name (with "~tmp") make one file name.
  EXPECT_NE(OrvVideoScriptMaker::WorkFolderProblem(u"/tmp/" + std::u16string(225, u'x'), 27), "");
  EXPECT_EQ(OrvVideoScriptMaker::WorkFolderProblem(u"/tmp/" + std::u16string(224, u'x'), 27), "");
}

TEST_F(ApiRuns, PipesGivenAsPicturesOrVideosNeverBlock) {
  const std::string picturePipe = dir.root + "/pipe.png", videoPipe = dir.root + "/pipe.mp4";
  ASSERT_EQ(::mkfifo(picturePipe.c_str(), 0600) | ::mkfifo(videoPipe.c_str(), 0600), 0);
  photos[0] = picturePipe;
  std::atomic<bool> done{false};
  std::thread pass([&] {
    Start(dir.work, {videoPipe});
    done = true;
  });
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!done && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const bool blocked = !done;
  // An open blocked on a pipe returns once its other end opens.
  for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    for (const std::string& pipe : {picturePipe, videoPipe}) ::close(::open(pipe.c_str(), O_RDWR | O_NONBLOCK));
  pass.join();
  ASSERT_FALSE(blocked) << "the start pass blocked on a pipe";
  EXPECT_GT(GetThemeContext()->slotCount, 0);
  EXPECT_EQ(KV_UpdateSlot(SlotOfType(0), W(picturePipe).c_str()), -1);
  EXPECT_NE(Log().find("Not a regular file, no link made : " + picturePipe), std::string::npos);
}

TEST_F(ApiRuns, ACreatePassWithoutADisplayLeavesNoOutput) {
  Start(dir.work);
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  glfwTerminate();
  ::unsetenv("DISPLAY");
  KV_CreateReelka(GetThemeContext());
  if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
  EXPECT_FALSE(SaveReelka(W(dir.root + "/clip.avi").c_str()));
  EXPECT_FALSE(platform::PathExists(dir.work + "_output.avi"));
  EXPECT_NE(Log().find("No frame was written, the empty output is removed"), std::string::npos);
}

}  // namespace
