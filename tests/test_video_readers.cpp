// The renderer's reader and the analysis reader over their shared decoding
// core: a seek to a time gives the same frame through both, the frame that
// reading from the start gives at that index, also where the decoder's own
// seek lands late (H.264 with B-frames in MPEG-TS) or the file is truncated.
// Unevenly spaced frames are presented by time (test_video_timing.cpp).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "fxcontroller/OrvFXFrameHandler.h"
#include "test_video_engine_clips.h"
#include "videoengine/OrvFrameHandler.h"

namespace {

constexpr int kFrames = 150;
constexpr double kFps = 30.0;
const cv::Size kSize(320, 240);

// Frame number as eight bars across the top quarter, over a panning texture
// (so the encoder predicts across frames).
cv::Mat StampedFrame(const cv::Mat& texture, int k) {
  cv::Mat f = texture(cv::Rect(2 * k, k, kSize.width, kSize.height)).clone();
  const int bar = kSize.width / 8;
  for (int b = 0; b < 8; ++b)
    cv::rectangle(f, cv::Rect(b * bar, 0, bar, kSize.height / 4),
                  ((k >> b) & 1) ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0), cv::FILLED);
  return f;
}

int StampOf(const cv::Mat& f) {
  if (f.empty()) return -1;
  const int bar = f.cols / 8;
  int k = 0;
  for (int b = 0; b < 8; ++b)
    if (cv::mean(f(cv::Rect(b * bar + bar / 4, f.rows / 16, bar / 2, f.rows / 8)))[0] > 128) k |= 1 << b;
  return k;
}

bool Shell(const std::string& cmd) { return std::system((cmd + " > /dev/null 2>&1").c_str()) == 0; }

std::vector<cv::Mat> DecodeAll(const std::string& path) {
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  std::vector<cv::Mat> frames;
  for (cv::Mat f; cap.read(f);) frames.push_back(f.clone());
  return frames;
}

bool Same(const cv::Mat& a, const cv::Mat& b) {
  return !a.empty() && a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

// Clips made once for the suite: name -> path; empty when ffmpeg or its
// H.264 encoder is missing.
std::map<std::string, std::string>& Clips() {
  static std::map<std::string, std::string> clips;
  return clips;
}

class VideoReaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!clips::HaveFfmpeg()) return;
    const std::string dir = clips::TempDir("readers");
    const std::string source = dir + "/source.avi";
    const cv::Mat texture = clips::MakeTexture(kSize.width + 2 * kFrames, kSize.height + kFrames, 31);
    if (!clips::WriteClip(source, kFrames, kFps, kSize, [&](int k) { return StampedFrame(texture, k); }, false))
      return;
    const std::string x264 = "ffmpeg -y -i " + source + " -c:v libx264 -bf 3 -g 40 -pix_fmt yuv420p ";
    const std::string mp4 = dir + "/bframes.mp4", ts = dir + "/bframes.ts", whole = dir + "/whole.mp4";
    if (!Shell(x264 + mp4) || !Shell(x264 + ts) || !Shell(x264 + "-movflags +faststart " + whole)) return;
    // The index at the front promises all frames; half of the data follows.
    const std::string cut = dir + "/cut.mp4";
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 55 / 100);
    Clips() = {{"mp4", mp4}, {"ts", ts}, {"cut", cut}};
  }

  // Seeks both readers to the time of frame `target` (plus `offsetUs`) and
  // checks the frame and the one after it against reading from the start.
  void ExpectSameFrame(OrvFXFrameHandler& fx, OrvFrameHandler& an, const std::vector<cv::Mat>& seq, int target,
                       int offsetUs) {
    // A frame's time is its index at the file's rate.
    const double fps = fx.getFps();
    const int t = static_cast<int>(target / fps * 1000000.0) + offsetUs;
    EXPECT_TRUE(fx.seekTo(t)) << target;
    an.seekTo(t);
    for (int k = target; k < target + 2 && k < static_cast<int>(seq.size()); ++k) {
      cv::Mat a, b;
      const int ta = fx.readFrame(a);
      const int tb = an.readFrame(b);
      EXPECT_EQ(ta, static_cast<int>(k / fps * 1000000.0)) << k;
      EXPECT_EQ(ta, tb) << k;
      EXPECT_TRUE(Same(a, seq[k])) << "renderer's reader, frame " << k << " (stamp " << StampOf(a) << ")";
      EXPECT_TRUE(Same(b, seq[k])) << "analysis reader, frame " << k << " (stamp " << StampOf(b) << ")";
    }
  }

  void CheckClip(const std::string& name) {
    if (Clips().empty()) GTEST_SKIP() << "ffmpeg with libx264 is missing";
    const std::string path = Clips()[name];
    const std::vector<cv::Mat> seq = DecodeAll(path);
    ASSERT_GT(seq.size(), 40u);
    for (size_t k = 0; k + 1 < seq.size(); ++k) ASSERT_EQ(StampOf(seq[k]), static_cast<int>(k));
    const int n = static_cast<int>(seq.size());

    OrvFXFrameHandler fx;
    OrvFrameHandler an;
    ASSERT_TRUE(fx.setParameters(path, ""));
    ASSERT_TRUE(an.setParameters(0, path, ""));
    EXPECT_EQ(fx.getFrameCount(), n);
    EXPECT_EQ(an.decodableFrameCount(), n);

    // Backward, short and long forward, repeated, both ends; the offsets
    // check the rounding to the nearest frame.
    for (int target : {45, 10, 89, 50, 0, 73, 31, 32, 60, 88, 5, 1, 2, 3, 24, 25, 120, 149, 100, 139})
      if (target < n) ExpectSameFrame(fx, an, seq, target, target % 2 ? 1 : 16000);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int i = 0; i < 12; ++i) ExpectSameFrame(fx, an, seq, pick(rng), 0);
    ExpectSameFrame(fx, an, seq, n - 1, 0);

    // Past the last frame that decodes, neither reader gives a frame.
    for (int past : {n, n + 20}) {
      const int t = static_cast<int>(past / fx.getFps() * 1000000.0);
      EXPECT_FALSE(fx.seekTo(t));
      an.seekTo(t);
      cv::Mat a, b;
      EXPECT_EQ(fx.readFrame(a), -1);
      EXPECT_EQ(an.readFrame(b), -1);
      EXPECT_TRUE(a.empty() && b.empty());
    }
  }
};

}  // namespace

TEST_F(VideoReaders, SameFrameInH264WithBFrames) {
  if (!Clips().empty()) {
    std::string probe = "ffprobe -v error -select_streams v:0 -show_entries stream=has_b_frames -of csv=p=0 " +
                        Clips()["mp4"] + " | grep -qv '^0'";
    ASSERT_TRUE(Shell(probe)) << "the clip has no B-frames";
  }
  CheckClip("mp4");
}

TEST_F(VideoReaders, SameFrameWhereTheDecoderSeeksLandLate) { CheckClip("ts"); }

TEST_F(VideoReaders, SameFrameAndLengthInATruncatedFile) {
  CheckClip("cut");
  if (!Clips().empty()) {
    cv::VideoCapture cap(Clips()["cut"], cv::CAP_FFMPEG);
    EXPECT_GT(cap.get(cv::CAP_PROP_FRAME_COUNT), DecodeAll(Clips()["cut"]).size()) << "the cut removed nothing";
  }
}

TEST(VideoReadersInput, PipesAndFoldersAreRefusedWithoutWaiting) {
  const std::string dir = clips::TempDir("readers_input");
  const std::string fifo = dir + "/pipe.avi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir}) {
    // A reader that opened the pipe would wait for a writer for ever: open
    // on a thread of its own and give up on it after a while.
    auto done = std::make_shared<std::promise<std::pair<bool, bool>>>();
    std::future<std::pair<bool, bool>> result = done->get_future();
    std::thread([path, done] {
      OrvFrameHandler analysis;
      OrvFXFrameHandler render;
      const bool a = analysis.setParameters(0, path, "");
      const bool r = render.setParameters(path, "");
      done->set_value({a, r});
    }).detach();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << path << " blocked the reader";
    const std::pair<bool, bool> opened = result.get();
    EXPECT_FALSE(opened.first) << "analysis reader, " << path;
    EXPECT_FALSE(opened.second) << "renderer's reader, " << path;
  }
}
