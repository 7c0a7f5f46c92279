// One window, context and framebuffer per create pass: the clips (one
// encoder thread) are the clips of a window per scene and of fresh processes,
// also for a second pass and another theme in the same process.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "OrvEffectMaker.h"
#include "test_end_to_end_util.h"

extern char** environ;

namespace {

// A 20 s video of 160 x 90: the clip takes its size, so passes are quick.
std::string SmallVideo(const std::string& dir) {
  const std::string path = dir + "/small.avi";
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, {160, 90});
  for (int i = 0; i < 500; ++i) {
    cv::Mat frame(90, 160, CV_8UC3, cv::Scalar(i % 250, 80, 200));
    cv::rectangle(frame, cv::Rect(10 + i % 100, 20 + i % 30, 30, 30), cv::Scalar::all(255), cv::FILLED);
    writer.write(frame);
  }
  return path;
}

// One start and create pass of theme on the photos and video of dir, in a
// work folder of its own; the saved clip goes to clip.
void RunPass(int theme, const std::string& dir, const std::string& clip) {
  std::vector<std::string> photos;
  for (int i = 0; i < 6; ++i) photos.push_back(dir + "/photo" + std::to_string(i) + ".png");  // as WritePhotos
  const std::string work = clip + ".work/";
  ASSERT_EQ(std::system(("mkdir -p '" + work + "'").c_str()), 0);
  GetThemeLimitInfo(theme);
  GetEstimatedTimeSec(theme, 6, 20);
  KV_StartReelka(e2e::MakeInput(photos, {dir + "/small.avi"}, work).get());
  ASSERT_NE(GetThemeContext(), nullptr);
  auto slots = std::make_unique<ThemeSlotSequence>(*GetThemeContext());
  KV_CreateReelka(slots.get());
  EXPECT_TRUE(SaveReelka(platform::Utf8ToUtf16(clip).c_str()));
  ReleaseReelka();
}

// The same pass in a new process (this binary, running FreshProcessPass).
void RunPassInFreshProcess(int theme, const std::string& dir, const std::string& clip) {
  const std::string filter = "--gtest_filter=PassContext.FreshProcessPass";
  const std::string env[] = {"REELKA_FRESH_THEME=" + std::to_string(theme), "REELKA_FRESH_DIR=" + dir,
                             "REELKA_FRESH_CLIP=" + clip};
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  char self[] = "/proc/self/exe";
  char* argv[] = {self, const_cast<char*>(filter.c_str()), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self, nullptr, nullptr, argv, environ), 0);
  for (const char* name : {"REELKA_FRESH_THEME", "REELKA_FRESH_DIR", "REELKA_FRESH_CLIP"}) unsetenv(name);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(PassContext, FreshProcessPass) {
  const char* theme = std::getenv("REELKA_FRESH_THEME");
  if (!theme) GTEST_SKIP() << "the fresh process of ClipsMatchAWindowPerSceneAndFreshProcesses";
  RunPass(std::atoi(theme), std::getenv("REELKA_FRESH_DIR"), std::getenv("REELKA_FRESH_CLIP"));
}

TEST(PassContext, ClipsMatchAWindowPerSceneAndFreshProcesses) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  e2e::RunDir dir("pass_context");
  e2e::WritePhotos(dir.root, 6);
  SmallVideo(dir.root);
  setenv("REELKA_ENCODER_THREADS", "1", 1);
  const std::string root = dir.root + "/";
  RunPassInFreshProcess(0, dir.root, root + "modern_fresh.avi");
  RunPassInFreshProcess(1, dir.root, root + "sporty_fresh.avi");
  const std::string modern = e2e::ReadFile(root + "modern_fresh.avi");
  const std::string sporty = e2e::ReadFile(root + "sporty_fresh.avi");
  ASSERT_GT(modern.size(), 10000u);
  ASSERT_GT(sporty.size(), 10000u);

  // In one process: a pass, the same pass again, another theme, and the
  // first pass with a window per scene.
  const struct {
    int theme;
    bool onePerPass;
    const std::string* expected;
  } runs[] = {{0, true, &modern}, {0, true, &modern}, {1, true, &sporty}, {0, false, &modern}};
  int k = 0;
  for (const auto& run : runs) {
    SCOPED_TRACE("run " + std::to_string(k));
    OrvEffectMaker::SetOneContextPerPass(run.onePerPass);
    const std::string clip = root + "run_" + std::to_string(k++) + ".avi";
    RunPass(run.theme, dir.root, clip);
    EXPECT_TRUE(e2e::ReadFile(clip) == *run.expected);
  }
  OrvEffectMaker::SetOneContextPerPass(true);
  unsetenv("REELKA_ENCODER_THREADS");
}

}  // namespace
