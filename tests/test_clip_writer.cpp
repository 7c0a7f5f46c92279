// The clip writer: byte for byte cv::VideoWriter's file with one encoder
// thread (slice threads are checked on a whole pass, in test_pass_context).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "fxcontroller/ClipWriter.h"
#include "test_foundation_util.h"

namespace {

// Frame i of a moving, photo-like picture; a crop of a wider canvas, so its
// rows are neither continuous nor 32-byte aligned. The canvas has a row more
// than the crop: cv::VideoWriter copies whole steps, past the crop's end.
cv::Mat MovingFrame(int i, cv::Size size) {
  cv::Mat canvas(size.height + 1, size.width + 7, CV_8UC3);
  for (int y = 0; y < canvas.rows; ++y)
    canvas.row(y).setTo(cv::Scalar(40 + 150 * y / canvas.rows, 90, 200 - 120 * y / canvas.rows));
  const int r = size.height / 5;
  cv::circle(canvas, {r + (i * 13) % (size.width - 2 * r), size.height / 2}, r, {30, 220, 250}, cv::FILLED,
             cv::LINE_AA);
  cv::rectangle(canvas, cv::Rect(size.width / 3, (i * 7) % (size.height / 2), size.width / 4, size.height / 3),
                {250, 250, 250}, 3);
  cv::Mat grain(canvas.size(), CV_8UC3);
  cv::RNG(static_cast<uint64>(i) + 1).fill(grain, cv::RNG::NORMAL, 0, 2);
  canvas += grain;
  return canvas(cv::Rect(3, 0, size.width, size.height));
}

// Frame indices with holds: 0 1 1 1 2 3 3 4 ...
std::vector<int> HeldSequence(int frames) {
  std::vector<int> order;
  for (int i = 0; static_cast<int>(order.size()) < frames; ++i)
    for (int k = 0; k < (i % 3 == 1 ? 3 : i % 3 == 0 ? 1 : 2) && static_cast<int>(order.size()) < frames; ++k)
      order.push_back(i);
  return order;
}

void WriteWithOpenCv(const std::string& path, double fps, cv::Size size, const std::vector<int>& order) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), fps, size, true);
  ASSERT_TRUE(writer.isOpened());
  for (int i : order) writer.write(MovingFrame(i, size));
}

void WriteWithClipWriter(const std::string& path, double fps, cv::Size size, const std::vector<int>& order,
                         int threads) {
  ClipWriter writer;
  ASSERT_TRUE(writer.Open(path, fps, size.width, size.height, threads));
  for (size_t k = 0; k < order.size(); ++k) {
    const bool repeat = k > 0 && order[k] == order[k - 1];
    ASSERT_TRUE(repeat ? writer.WriteRepeat() : writer.Write(MovingFrame(order[k], size)));
  }
  writer.Close();
}

TEST(ClipWriter, SettingsFollowOpenCvsWriter) {
  EXPECT_EQ(clipwriter::ReducedRate(static_cast<double>(29.97f)).num, 2997);
  EXPECT_EQ(clipwriter::ReducedRate(static_cast<double>(29.97f)).den, 100);
  EXPECT_EQ(clipwriter::ReducedRate(23.976).num, 23976);
  EXPECT_EQ(clipwriter::ReducedRate(25.0).den, 1);
  EXPECT_EQ(clipwriter::EncoderThreads(1, 1080), 1);
  EXPECT_EQ(clipwriter::EncoderThreads(40, 1080), 16);
  EXPECT_EQ(clipwriter::EncoderThreads(8, 50), 4);  // four macroblock rows
  EXPECT_GE(clipwriter::EncoderThreads(0, 1080), 1);
}

TEST(ClipWriter, OneThreadWritesOpenCvsFileByteForByte) {
  testutil::TempRun run(false);
  struct Case {
    cv::Size size;
    double fps;
    int frames;
  };
  const Case cases[] = {{{1920, 1080}, static_cast<double>(29.97f), 30},
                        {{640, 480}, 25.0, 40},
                        {{321, 241}, 30.0, 30}};  // odd: the last column and row are dropped
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size.width) + "x" + std::to_string(c.size.height));
    const std::vector<int> order = HeldSequence(c.frames);
    const std::string ours = run.root + "/ours.avi", theirs = run.root + "/opencv.avi";
    WriteWithOpenCv(theirs, c.fps, c.size, order);
    WriteWithClipWriter(ours, c.fps, c.size, order, 1);
    const std::string a = testutil::ReadFile(theirs), b = testutil::ReadFile(ours);
    ASSERT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == b) << "sizes " << a.size() << " and " << b.size();
  }
}

TEST(ClipWriter, RefusesWhatItCannotOpen) {
  testutil::TempRun run(false);
  ClipWriter writer;
  EXPECT_FALSE(writer.Open(run.root + "/missing/folder/clip.avi", 30.0, 64, 48, 1));
  EXPECT_FALSE(writer.Open(run.root + "/clip.avi", 0.0, 64, 48, 1));
  EXPECT_FALSE(writer.Open(run.root + "/clip.avi", 30.0, 1, 48, 1));
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_FALSE(writer.WriteRepeat());
  ASSERT_TRUE(writer.Open(run.root + "/clip.avi", 30.0, 64, 48, 1));
  EXPECT_FALSE(writer.WriteRepeat());  // nothing to repeat yet
  EXPECT_FALSE(writer.Write(cv::Mat(40, 64, CV_8UC3)));
  // A crop ending where its picture ends is read to its last pixel, never
  // past it (the sanitizer run sees any byte more).
  const cv::Mat picture(48, 71, CV_8UC3, cv::Scalar(10, 20, 30));
  EXPECT_TRUE(writer.Write(picture(cv::Rect(7, 0, 64, 48))));
  EXPECT_TRUE(writer.WriteRepeat());
  writer.Close();
  // A link planted at the name is replaced by the clip, its target left alone.
  const std::string victim = run.root + "/victim.txt", linked = run.root + "/linked.avi";
  { std::ofstream(victim) << "keep"; }
  ASSERT_EQ(::symlink(victim.c_str(), linked.c_str()), 0);
  ASSERT_TRUE(writer.Open(linked, 30.0, 64, 48, 1));
  EXPECT_TRUE(writer.Write(picture(cv::Rect(7, 0, 64, 48))));
  writer.Close();
  EXPECT_EQ(testutil::ReadFile(victim), "keep");
  EXPECT_GT(testutil::ReadFile(linked).size(), 1000u);
  // A header that cannot be written leaves no file, and says why.
  rlimit saved{}, tiny{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  tiny = {1024, saved.rlim_max};
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  const bool opened = writer.Open(run.root + "/header.avi", 30.0, 64, 48, 1);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(opened);
  EXPECT_EQ(writer.Error(), -EFBIG);
  EXPECT_NE(::access((run.root + "/header.avi").c_str(), F_OK), 0);
}

}  // namespace
