// Runs through the exports the way a careless or hostile host drives them:
// calls from other threads during a pass, release racing a query, cancel
// then save, long and non-ASCII work folders, pipes given as files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "api/CreateReelkaInterface.h"
#include "api/Log.h"
#include "scriptmaker/OrvCancelTask.h"
#include "scriptmaker/OrvVideoScriptMaker.h"
#include "test_end_to_end_util.h"
#include "test_foundation_util.h"
#include "themes/SlotInformation.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Released {
  ~Released() {
    g_isFXCancel = false;
    g_isVideoEngineCancel = false;
    ReleaseReelka();
  }
};

std::string Log() { return e2e::ReadFile(GetLogFilePath()); }

int FirstSlotOfType(const ThemeSlotSequence* context, int type) {
  for (int s = 0; context && s < context->slotCount; ++s)
    if (context->slots[s].slotType == type) return s;
  return -1;
}

ThemeLimit LimitsOf(int themeIndex) {
  ThemeLimit limit{0, 0, 0, 0};
  CreateThemeSlotInformation(themeIndex)->GetThemeLimitInfo(&limit);
  return limit;
}

bool SameLimits(const ThemeLimit& a, const ThemeLimit& b) {
  return a.maxImage == b.maxImage && a.minImage == b.minImage && a.minVideoSec == b.minVideoSec &&
         a.maxVideoSec == b.maxVideoSec;
}

// A small clip of a square moving over a gradient: the render follows its size.
std::string WriteSmallVideo(const std::string& path) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, cv::Size(160, 90));
  for (int i = 0; i < 100; ++i) {
    cv::Mat frame(90, 160, CV_8UC3);
    for (int y = 0; y < 90; ++y) frame.row(y).setTo(cv::Scalar(2 * y, 80, 255 - 2 * y));
    cv::rectangle(frame, cv::Rect(10 + i, 20 + (i % 30), 30, 30), cv::Scalar(255, 255, 255), cv::FILLED);
    writer.write(frame);
  }
  return path;
}

// Starts a SPORTY run with photos (and videos) in dir.work.
void StartSporty(const e2e::RunDir& dir, const std::vector<std::string>& photos,
                 const std::vector<std::string>& videos = {}) {
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, static_cast<int>(photos.size()), videos.empty() ? 0 : 4);
  KV_StartReelka(e2e::MakeInput(photos, videos, dir.work).get());
}

}  // namespace

TEST(ApiRuns, ThemeCallsDuringAStartPassLeaveItsThemeAlone) {
  Released release;
  e2e::RunDir dir("theme_race");
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 0);
  auto input = e2e::MakeInput(photos, {}, dir.work);
  std::atomic<bool> done{false};
  std::thread pass([&] {
    KV_StartReelka(input.get());
    done = true;
  });
  // Before the pass begins another theme may still be chosen: wait for it.
  while (!done && !gCreateReelkaInterface->IsPassRunning()) std::this_thread::yield();
  // Every call a host might make meanwhile; none may touch what the pass uses.
  const ThemeLimit vivid = LimitsOf(2);
  const std::string dest = dir.root + "/during.avi";
  int calls = 0, wrongLimits = 0;
  while (!done) {
    if (!SameLimits(GetThemeLimitInfo(2), vivid)) ++wrongLimits;
    GetEstimatedTimeSec(2, 6, 0);
    KV_UpdateSlot(0, platform::Utf8ToUtf16(photos[1]).c_str());
    GetThemeContext();
    GetReplacedSlot();
    GetFirstSlotImage();
    SaveReelka(platform::Utf8ToUtf16(dest).c_str());
    ++calls;
  }
  pass.join();
  ASSERT_GT(calls, 0);
  EXPECT_EQ(wrongLimits, 0);
  const std::string log = Log();
  EXPECT_GT(e2e::CountLines(log, "A pass is running, the theme in use is kept"), 0);
  EXPECT_GT(e2e::CountLines(log, "A pass is running, slot update refused"), 0);
  EXPECT_FALSE(platform::PathExists(dest));
  // The pass filled SPORTY's slots, all of them, with SPORTY's workspace images.
  EXPECT_GT(e2e::CountLines(log, "[SportySlotInformation::FillSlotContext]"), 0);
  EXPECT_EQ(e2e::CountLines(log, "[VividSlotInformation::FillSlotContext]"), 0);
  int sportyImages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.work))
    sportyImages += entry.path().filename().string().rfind("ss_icon_clip_sp_", 0) == 0 ? 1 : 0;
  EXPECT_GT(sportyImages, 0);
}

TEST(ApiRuns, ReleaseNeverFreesWhatAnotherCallUses) {
  Released release;
  const ThemeLimit sporty = LimitsOf(1);
  std::atomic<int> wrong{0};
  for (int round = 0; round < 200; ++round) {
    std::thread query([&] {
      if (!SameLimits(GetThemeLimitInfo(1), sporty)) ++wrong;
      // A release in between leaves no theme (-1); a freed theme would give anything.
      const int estimate = GetEstimatedTimeSec(1, 6, 0);
      if (estimate != 45 && estimate != -1) ++wrong;
      GetProgressValue();
      CancelEncoding();
    });
    std::thread release([] { ReleaseReelka(); });
    query.join();
    release.join();
  }
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ApiRuns, AskingForTheThemeInUseKeepsTheRunsSlots) {
  Released release;
  e2e::RunDir dir("limits_again");
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
  StartSporty(dir, photos);
  const int slots = GetThemeContext()->slotCount;
  ASSERT_GT(slots, 0);
  const int paper = FirstSlotOfType(GetThemeContext(), 2);
  ASSERT_GE(paper, 0);

  EXPECT_TRUE(SameLimits(GetThemeLimitInfo(1), LimitsOf(1)));
  EXPECT_EQ(GetThemeContext()->slotCount, slots);
  EXPECT_EQ(KV_UpdateSlot(paper, platform::Utf8ToUtf16(photos[3]).c_str()), 0);

  // Another theme drops the slots: its create pass is refused, nothing is saved.
  auto stale = std::make_unique<ThemeSlotSequence>(*GetThemeContext());
  GetThemeLimitInfo(0);
  EXPECT_EQ(GetThemeContext()->slotCount, 0);
  KV_CreateReelka(stale.get());
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dir.root + "/clip.avi").c_str()));
  const std::string log = Log();
  EXPECT_NE(log.find("Theme changed: the slots of the earlier theme are dropped"), std::string::npos);
  EXPECT_NE(log.find("No slots were filled"), std::string::npos);
}

TEST(ApiRuns, ACancelledCreatePassNeverSavesTheClipBefore) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Released release;
  e2e::RunDir dir("cancel_save");
  std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
  const std::vector<std::string> videos = {WriteSmallVideo(dir.root + "/small.avi")};
  const std::string output = dir.work + "_output.avi";
  auto complete = [&] {
    StartSporty(dir, photos, videos);
    KV_CreateReelka(GetThemeContext());
    ASSERT_TRUE(SaveReelka(platform::Utf8ToUtf16(dir.root + "/first.avi").c_str()));
    ASSERT_TRUE(platform::IsRegularFile(output));
  };

  // The script maker's part of a create pass cancelled before it draws.
  ASSERT_NO_FATAL_FAILURE(complete());
  auto* maker = dynamic_cast<OrvVideoScriptMaker*>(gFXEngine);
  ASSERT_NE(maker, nullptr);
  g_isFXCancel = true;
  EXPECT_EQ(maker->Start(GetThemeContext()->slots, GetThemeContext()->slotCount, nullptr), 0);
  g_isFXCancel = false;
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dir.root + "/second.avi").c_str()));
  EXPECT_FALSE(platform::PathExists(dir.root + "/second.avi"));
  EXPECT_FALSE(platform::PathExists(output));

  // The whole pass, after a new start pass with the pictures reordered,
  // cancelled as soon as it reports progress (during stabilisation).
  ASSERT_NO_FATAL_FAILURE(complete());
  std::reverse(photos.begin(), photos.end());
  StartSporty(dir, photos, videos);
  GetProgressValue();  // the start pass's last 100
  std::thread pass([] { KV_CreateReelka(GetThemeContext()); });
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (GetProgressValue() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  CancelEncoding();
  pass.join();
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dir.root + "/third.avi").c_str()));
  EXPECT_FALSE(platform::PathExists(dir.root + "/third.avi"));
  EXPECT_GT(e2e::Decode(dir.root + "/first.avi", {}).frames, 0);
}

TEST(ApiRuns, AFullDiskFailsTheCreatePassAndSavesNothing) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Released release;
  e2e::RunDir dir("full_disk");
  StartSporty(dir, e2e::WritePhotos(dir.root, 6), {WriteSmallVideo(dir.root + "/small.avi")});
  ASSERT_GT(GetThemeContext()->slotCount, 0);
  {
    // The clip stops growing at 128 kB, as on a full disk.
    testutil::FileSizeLimit full(128 << 10);
    KV_CreateReelka(GetThemeContext());
  }
  const std::string dest = dir.root + "/clip.avi";
  std::ofstream(dest) << "the user's file";
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dest).c_str()));
  EXPECT_EQ(e2e::ReadFile(dest), "the user's file");
  auto* maker = dynamic_cast<OrvVideoScriptMaker*>(gFXEngine);
  ASSERT_NE(maker, nullptr);
  const FXPassStatus& status = maker->LastPassStatus();
  EXPECT_FALSE(status.completed);
  EXPECT_GT(status.framesWritten, 0);
  EXPECT_LT(status.framesInFile, status.framesWritten);
}

TEST(ApiRuns, CancelAndProgressNeverWaitOnEachOther) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  Released release;
  e2e::RunDir dir("cancel_poll");
  StartSporty(dir, e2e::WritePhotos(dir.root, 6));
  std::thread pass([] { KV_CreateReelka(GetThemeContext()); });
  const std::string output = dir.work + "_output.avi";
  struct stat st;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline && !(::stat(output.c_str(), &st) == 0 && st.st_size > (1 << 20)))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  // Four cancels at once while the pass is busy, and a poll once they began.
  const auto start = Clock::now();
  std::vector<Clock::time_point> returned(4);
  std::vector<std::thread> cancels;
  for (size_t i = 0; i < returned.size(); ++i)
    cancels.emplace_back([&returned, i] {
      CancelEncoding();
      returned[i] = Clock::now();
    });
  while (!g_isFXCancel.load()) std::this_thread::yield();
  GetProgressValue();
  const auto polled = Clock::now();
  for (auto& t : cancels) t.join();
  pass.join();
  const auto firstReturn = *std::min_element(returned.begin(), returned.end());
  const auto lastReturn = *std::max_element(returned.begin(), returned.end());
  auto ms = [&start](Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - start).count();
  };
  EXPECT_LT(ms(polled), ms(firstReturn)) << "the poll waited for a cancel";
  EXPECT_LT(ms(lastReturn), 1500);
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dir.root + "/clip.avi").c_str()));
}

TEST(ApiRuns, WorkFoldersFitTheirNamesOrAreRefused) {
  Released release;
  e2e::RunDir dir("folders");
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
  auto folder = [&](const std::vector<std::string>& parts) {
    std::string path = dir.root;
    for (const std::string& part : parts) path += "/" + part;
    std::filesystem::create_directories(path);
    return path + "/";
  };
  std::string cyrillic, emoji;
  for (int i = 0; i < 60; ++i) cyrillic += "ж";
  for (int i = 0; i < 25; ++i) emoji += "🎬";
  // Longer than 228 bytes in UTF-8, well within the 300-unit fields.
  const std::string wide = folder({cyrillic, emoji});
  ASSERT_GT(wide.size(), 228u);
  // SPORTY's longest working name, "ss_icon_clip_sp_99-WS35.png", takes 27
  // of the 299 units: 272 is the longest folder that fits.
  const std::string root = dir.root + "/";
  const std::string edge = folder({std::string(200, 'a'), std::string(272 - root.size() - 202, 'b')});
  ASSERT_EQ(edge.size(), 272u);
  const std::string over = folder({std::string(200, 'a'), std::string(273 - root.size() - 202, 'c')});
  folder({std::string(200, 'a'), "Logs"});  // the refusal is logged beside it

  for (const std::string& work : {wide, edge}) {
    GetThemeLimitInfo(1);
    GetEstimatedTimeSec(1, 6, 0);
    KV_StartReelka(e2e::MakeInput(photos, {}, work).get());
    const ThemeSlotSequence* context = GetThemeContext();
    ASSERT_GT(context->slotCount, 0) << work;
    int decorated = 0;
    for (int s = 0; s < context->slotCount; ++s) {
      const int type = context->slots[s].slotType;
      if (type != 1 && type != 2 && type != 4) continue;
      const std::string ws = e2e::Narrow(context->slots[s].layers[1].layerSource, REELKA_PATH_LEN);
      EXPECT_EQ(ws.rfind(work, 0), 0u) << s;
      EXPECT_TRUE(platform::IsRegularFile(ws)) << ws;
      ++decorated;
    }
    EXPECT_GT(decorated, 0);
    const int paper = FirstSlotOfType(context, 2);
    const int framed = FirstSlotOfType(context, 1);
    EXPECT_EQ(KV_UpdateSlot(paper, platform::Utf8ToUtf16(photos[4]).c_str()), 0);
    EXPECT_EQ(KV_UpdateSlot(framed, platform::Utf8ToUtf16(photos[5]).c_str()), 0);
    EXPECT_TRUE(platform::IsRegularFile(e2e::Narrow(GetReplacedSlot()->workSpaceImagePath, REELKA_PATH_LEN)));
  }

  // One unit more: refused with one line, no slot half filled, nothing written.
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 0);
  KV_StartReelka(e2e::MakeInput(photos, {}, over).get());
  EXPECT_EQ(GetThemeContext()->slotCount, 0);
  EXPECT_EQ(e2e::CountLines(Log(), "Work folder refused, the path is 273 characters long, at most 272"), 1);
  EXPECT_TRUE(std::filesystem::is_empty(over));
  EXPECT_EQ(KV_UpdateSlot(0, platform::Utf8ToUtf16(photos[4]).c_str()), -1);

  // Each theme's longest name, as the README gives the room.
  const size_t longest[3] = {27, 27, 28};
  for (int theme = 0; theme < 3; ++theme)
    EXPECT_EQ(CreateThemeSlotInformation(theme)->LongestWorkFileName(), longest[theme]) << theme;

  // A bare prefix whose last part leaves no room for a file name.
  EXPECT_NE(OrvVideoScriptMaker::WorkFolderProblem(u"/tmp/" + std::u16string(230, u'x'), 27), "");
  EXPECT_EQ(OrvVideoScriptMaker::WorkFolderProblem(u"/tmp/" + std::u16string(224, u'x'), 27), "");
}

TEST(ApiRuns, PipesGivenAsPicturesOrVideosNeverBlock) {
  Released release;
  e2e::RunDir dir("fifo");
  std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
  const std::string picturePipe = dir.root + "/pipe.png", videoPipe = dir.root + "/pipe.mp4";
  ASSERT_EQ(::mkfifo(picturePipe.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(videoPipe.c_str(), 0600), 0);
  photos[0] = picturePipe;
  GetThemeLimitInfo(1);
  GetEstimatedTimeSec(1, 6, 20);
  auto input = e2e::MakeInput(photos, {videoPipe}, dir.work);
  std::atomic<bool> done{false};
  std::thread pass([&] {
    KV_StartReelka(input.get());
    done = true;
  });
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!done && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const bool blocked = !done;
  // A blocked open returns once the other end opens: free the pass either way.
  while (!done) {
    for (const std::string& pipe : {picturePipe, videoPipe}) {
      int fd = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  pass.join();
  ASSERT_FALSE(blocked) << "the start pass blocked on a pipe";
  EXPECT_GT(GetThemeContext()->slotCount, 0);
  EXPECT_EQ(KV_UpdateSlot(0, platform::Utf8ToUtf16(picturePipe).c_str()), -1);
  EXPECT_NE(Log().find("Not a regular file, no link made : " + picturePipe), std::string::npos);
}

TEST(ApiRuns, ACreatePassWithoutADisplayLeavesNoOutput) {
  Released release;
  e2e::RunDir dir("no_display");
  StartSporty(dir, e2e::WritePhotos(dir.root, 6));
  ASSERT_GT(GetThemeContext()->slotCount, 0);
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  glfwTerminate();
  ::unsetenv("DISPLAY");
  KV_CreateReelka(GetThemeContext());
  if (!saved.empty()) ::setenv("DISPLAY", saved.c_str(), 1);
  const std::string dest = dir.root + "/clip.avi";
  std::ofstream(dest) << "the user's file";
  EXPECT_FALSE(SaveReelka(platform::Utf8ToUtf16(dest).c_str()));
  EXPECT_EQ(e2e::ReadFile(dest), "the user's file");
  EXPECT_FALSE(platform::PathExists(dir.work + "_output.avi"));
  EXPECT_NE(Log().find("No frame was written, the empty output is removed"), std::string::npos);
}
