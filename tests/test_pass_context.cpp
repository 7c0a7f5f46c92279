// One window, context and framebuffer per create pass: the clips (one
// encoder thread) are the clips of a window per scene and of fresh processes,
// also for a second pass and another theme in the same process. And the
// clip of the default slice threads against the single-threaded one.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

extern "C" {
#include <libavformat/avformat.h>
}

#include "OrvEffectMaker.h"
#include "fxcontroller/ClipWriter.h"
#include "test_end_to_end_util.h"

extern char** environ;

namespace {

// A 20 s video of size: the clip takes its size, so small passes are quick.
std::string SmallVideo(const std::string& dir, cv::Size size) {
  const std::string path = dir + "/small.avi";
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, size);
  for (int i = 0; i < 500; ++i) {
    cv::Mat frame(size, CV_8UC3, cv::Scalar(i % 250, 80, 200));
    cv::rectangle(frame, cv::Rect(10 + i % 100, 20 + i % 30, size.width / 5, size.height / 3), cv::Scalar::all(255),
                  cv::FILLED);
    writer.write(frame);
  }
  return path;
}

// Photos and the small video of a run, in dir.
void WriteMaterial(const std::string& dir, cv::Size videoSize = {160, 90}) {
  e2e::WritePhotos(dir, 6);
  SmallVideo(dir, videoSize);
}

// Indices of the key-frame packets of the first stream.
std::vector<int> KeyFrames(const std::string& path) {
  std::vector<int> keys;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return keys;
  AVPacket* packet = av_packet_alloc();
  for (int i = 0; av_read_frame(format, packet) >= 0; ++i) {
    if (packet->flags & AV_PKT_FLAG_KEY) keys.push_back(i);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&format);
  return keys;
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
  char brief[] = "--gtest_brief=1";
  char* argv[] = {self, const_cast<char*>(filter.c_str()), brief, nullptr};
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
  WriteMaterial(dir.root);
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

// Slices change the encoder's motion search at their edges, so its
// scene-change test may now and then decide a key frame the other way; the
// regular key frames and the frames themselves stay.
TEST(PassContext, SliceThreadsKeepFramesAndKeyFrames) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  if (clipwriter::EncoderThreads(0, 270) < 2) GTEST_SKIP() << "one core: no slice threads";
  e2e::RunDir dir("slice_threads");
  WriteMaterial(dir.root, {480, 270});
  const std::string single = dir.root + "/single.avi", threaded = dir.root + "/threaded.avi";
  setenv("REELKA_ENCODER_THREADS", "1", 1);
  RunPass(0, dir.root, single);
  unsetenv("REELKA_ENCODER_THREADS");
  RunPass(0, dir.root, threaded);

  const std::vector<int> keys = KeyFrames(single), threadedKeys = KeyFrames(threaded);
  std::vector<int> shared;
  std::set_intersection(keys.begin(), keys.end(), threadedKeys.begin(), threadedKeys.end(), std::back_inserter(shared));
  EXPECT_GE(shared.size() * 10, keys.size() * 9) << shared.size() << " of " << keys.size() << " key frames shared";
  EXPECT_GE(shared.size() * 10, threadedKeys.size() * 9);

  cv::VideoCapture a(single, cv::CAP_FFMPEG), b(threaded, cv::CAP_FFMPEG);
  int frames = 0;
  double squaredError = 0.0, values = 0.0;
  for (cv::Mat x, y; a.read(x); ++frames) {
    ASSERT_TRUE(b.read(y)) << "frame " << frames;
    // Over the Y, U and V samples, as the encoder sees them.
    cv::Mat xYuv, yYuv;
    cv::cvtColor(x, xYuv, cv::COLOR_BGR2YUV_I420);
    cv::cvtColor(y, yYuv, cv::COLOR_BGR2YUV_I420);
    squaredError += cv::norm(xYuv, yYuv, cv::NORM_L2SQR);
    values += static_cast<double>(xYuv.total());
  }
  cv::Mat extra;
  EXPECT_FALSE(b.read(extra));
  EXPECT_GT(frames, 100);
  const double psnr = 10.0 * std::log10(255.0 * 255.0 / std::max(squaredError / values, 1e-10));
  EXPECT_GE(psnr, 50.0);
  std::printf("[ slices ] %d frames, %.1f dB, %zu of %zu key frames shared\n", frames, psnr, shared.size(), keys.size());
}

}  // namespace
