// Videos with unevenly spaced, duplicate, backward or far-apart frame times,
// a size change, and rates a clip cannot show: both readers present each as
// one steady sequence at the clip's rate, frame k the same picture read in
// order and after a seek: the source frame on screen at k / rate, or the
// k-th frame where times cannot be followed.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "fxcontroller/OrvFXFrameHandler.h"
#include "test_video_engine_clips.h"
#include "videoengine/OrvFrameHandler.h"

namespace {

bool Shell(const std::string& cmd) { return std::system(("(" + cmd + ") > /dev/null 2>&1").c_str()) == 0; }

// ffmpeg making gray frames of SIZE at RATE for SECONDS, frame n carrying
// n + OFFSET as twelve bars across the top third; the caller ends the -vf
// (setpts counts frames of RATE).
std::string Source(const char* size, const char* rate, double seconds, int offset = 0) {
  return "ffmpeg -y -f lavfi -i color=c=gray:s=" + std::string(size) + ":r=" + rate + ":d=" +
         std::to_string(seconds) + " -vf \"geq=lum='if(lt(Y,H/3),255*mod(floor((N+" + std::to_string(offset) +
         ")/pow(2,floor(X*12/W))),2),128)':cb=128:cr=128";
}
const std::string kX264 = " -c:v libx264 -preset ultrafast -pix_fmt yuv420p ";
const std::string kJoin = Source("160x90", "30", 2) + "\"" + kX264 + "a.ts; " + Source("160x90", "30", 2, 60) + "\"";

int StampOf(const cv::Mat& f) {
  cv::Mat gray;
  cv::cvtColor(f, gray, cv::COLOR_BGR2GRAY);
  int k = 0;
  for (int b = 0; b < 12; ++b) {
    const cv::Rect bar(f.cols * (3 * b + 1) / 36, f.rows / 12, f.cols / 36, f.rows / 6);
    if (cv::mean(gray(bar))[0] > 128) k |= 1 << b;
  }
  return k;
}

struct Row {
  const char* name;
  std::string make;  // shell commands writing f.*
  double rate;       // the rate readers and clip get
  int count;         // frames presented; 0: refused
  std::function<double(int)> sourceSec;  // time of source frame n; empty: frame k is the k-th
  const char* logged = "";               // a log line naming the file
};

std::vector<Row> Table() {
  const double fallback = static_cast<double>(29.97f);
  const std::string thirtyThenOne = Source("160x90", "30", 3) + ",setpts='if(lt(N,60),N,30*N-1740)'\" -fps_mode vfr";
  const auto uneven = [](int n) { return n < 60 ? n / 30.0 : n - 58.0; };
  // Whole milliseconds, every fifth frame at the time of the one before.
  const auto dup = [](int n) { return std::round((n % 5 == 1 ? n - 1 : n) * 1000.0 / 30.0) / 1000.0; };
  return {
      {"1 fps stretches, MP4", thirtyThenOne + kX264 + "f.mp4", 30.0, 960, uneven},
      {"1 fps stretches, MKV", thirtyThenOne + kX264 + "f.mkv", 30.0, 960, uneven},
      {"sparse", Source("160x90", "30", 2.5) + ",setpts='if(lt(N,60),N,60*N-3540)'\" -fps_mode vfr" + kX264 + "f.mp4",
       30.0, 960, [](int n) { return n < 60 ? n / 30.0 : 2.0 * n - 118.0; }},
      {"B-frames, 30 then 5 fps", Source("160x90", "30", 4) + ",setpts='if(lt(N,60),N,6*N-300)'\" -fps_mode vfr" +
                                      " -c:v libx264 -bf 3 -g 40 -pix_fmt yuv420p f.mp4",
       30.0, 420, [](int n) { return n < 60 ? n / 30.0 : n / 5.0 - 10.0; }},
      {"duplicate times", Source("160x90", "30", 3) + "\"" + kX264 + "e.mkv; ffmpeg -y -i e.mkv -c copy " +
                              "-bsf:v \"setts=ts=if(eq(mod(N\\,5)\\,1)\\,PREV_OUTPTS\\,PTS)\" f.mkv",
       30.0, 90, dup},
      {"times going back", kJoin + kX264 + "-output_ts_offset 1 b.ts; cat a.ts b.ts > f.ts", 30.0, 120, nullptr,
       "Frame times of "},
      {"joined MPEG-TS", kJoin + kX264 + "b.ts; cat a.ts b.ts > f.ts", 30.0, 120, nullptr, "Frame times of "},
      {"size change", kJoin + ",scale=320:180" + kX264 + "b.ts; cat a.ts b.ts > f.ts", 30.0, 0, nullptr,
       "The picture size changes within "},
      {"0.5 fps", Source("160x90", "0.5", 10) + "\"" + kX264 + "f.mp4", fallback, 300, [](int n) { return 2.0 * n; }},
      {"1000 fps", Source("160x90", "1000", 1) + "\"" + kX264 + "f.mp4", fallback, 30, [](int n) { return n / 1e3; }},
      {"2-hour gap", Source("160x90", "30", 2) + ",setpts='if(lt(N,45),N,216000+N)'\" -fps_mode vfr" + kX264 + "f.mp4",
       30.0, 60, nullptr, "Frames of "},
  };
}

}  // namespace

TEST(VideoTiming, EveryFileIsOneSteadySequenceAtTheClipsRate) {
  if (!Shell("ffmpeg -hide_banner -encoders | grep -q libx264")) GTEST_SKIP() << "ffmpeg with libx264 is missing";
  const std::string root = clips::TempDir("timing");
  clips::LogCapture log;
  int index = 0;
  for (const Row& row : Table()) {
    SCOPED_TRACE(row.name);
    const std::string dir = root + "/" + std::to_string(index++);
    ASSERT_TRUE(Shell("mkdir -p " + dir + " && cd " + dir + " && " + row.make)) << row.make;
    std::string path;
    for (const char* name : {"/f.mp4", "/f.mkv", "/f.ts"})
      if (path.empty() && Shell("test -f " + dir + name)) path = dir + name;
    OrvFXFrameHandler fx;
    OrvFrameHandler an;
    EXPECT_EQ(fx.setParameters(path, ""), row.count > 0);
    EXPECT_EQ(an.setParameters(0, path, ""), row.count > 0);
    if (*row.logged) {
      EXPECT_GE(log.Count(row.logged + path), 1);
    }
    if (row.count == 0) continue;
    EXPECT_EQ(fx.getFps(), row.rate);
    EXPECT_EQ(an.mFps, row.rate);
    EXPECT_EQ(fx.getFrameCount(), row.count);
    EXPECT_EQ(an.decodableFrameCount(), row.count);

    // In order: the source frame on screen at each frame's time.
    std::vector<cv::Mat> seq;
    for (cv::Mat f; fx.readFrame(f) >= 0;) seq.push_back(f);
    ASSERT_EQ(static_cast<int>(seq.size()), row.count);
    for (int k = 0, n = 0, wrong = 0; k < row.count; ++k) {
      while (row.sourceSec && row.sourceSec(n + 1) <= k / row.rate + 0.001) ++n;
      const int expected = row.sourceSec ? n : k;
      ASSERT_EQ(seq[k].size(), cv::Size(160, 90));
      if (StampOf(seq[k]) != expected && wrong++ < 3) ADD_FAILURE() << k << " shows " << StampOf(seq[k]);
    }

    // By a seek, back and forth, through both readers: the same picture.
    std::vector<int> targets = {row.count - 1, 0, row.count / 2, 1, row.count / 3, row.count - 2};
    std::mt19937 rng(index);
    for (int i = 0; i < 8; ++i) targets.push_back(std::uniform_int_distribution<int>(0, row.count - 1)(rng));
    for (int k : targets) {
      const int t = static_cast<int>(k / row.rate * 1e6);
      cv::Mat a, b;
      EXPECT_TRUE(fx.seekTo(t + (k % 2 ? 1 : 9000)));
      an.seekTo(t + (k % 2 ? 1 : 9000));
      EXPECT_EQ(fx.readFrame(a), t);
      EXPECT_EQ(an.readFrame(b), t);
      for (const cv::Mat& m : {a, b})
        EXPECT_TRUE(m.size() == seq[k].size() && cv::norm(m, seq[k], cv::NORM_INF) == 0.0) << k << ": " << StampOf(m);
    }
    EXPECT_FALSE(fx.seekTo(static_cast<int>(row.count / row.rate * 1e6) + 1)) << "past the end";
  }
}
