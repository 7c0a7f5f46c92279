// The clip writer: byte for byte cv::VideoWriter's file with one encoder
// thread; with slice threads the same frames within a tight PSNR.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

extern "C" {
#include <libavformat/avformat.h>
}

#include "fxcontroller/ClipWriter.h"
#include "test_foundation_util.h"

namespace {

// Frame i of a moving, photo-like picture; a crop of a wider canvas, so its
// rows are neither continuous nor 32-byte aligned.
cv::Mat MovingFrame(int i, cv::Size size) {
  cv::Mat canvas(size.height, size.width + 7, CV_8UC3);
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

// Frame i of what a clip shows: a photograph, a cross-fade over frames 10
// to 20 into a second one, then that one slowly zoomed (empty without the
// photographs).
cv::Mat ClipFrame(int i, cv::Size size) {
  auto load = [size](const char* name) {
    cv::Mat p = cv::imread(std::string("/usr/share/backgrounds/mate/nature/") + name);
    if (!p.empty()) cv::resize(p, p, size, 0, 0, cv::INTER_AREA);
    return p;
  };
  static const cv::Mat a = load("Garden.jpg"), b = load("Storm.jpg");
  if (a.empty() || b.empty()) return cv::Mat();
  if (i < 10) return a;
  cv::Mat out;
  if (i < 20) {
    cv::addWeighted(a, (20 - i) / 10.0, b, (i - 10) / 10.0, 0.0, out);
    return out;
  }
  const cv::Rect crop(i - 20, i - 20, size.width - 2 * (i - 20), size.height - 2 * (i - 20));
  cv::resize(b(crop), out, size, 0, 0, cv::INTER_LINEAR);
  return out;
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

using FrameOf = cv::Mat (*)(int, cv::Size);

void WriteWithClipWriter(const std::string& path, double fps, cv::Size size, const std::vector<int>& order,
                         int threads, FrameOf frameOf = MovingFrame) {
  ClipWriter writer;
  ASSERT_TRUE(writer.Open(path, fps, size.width, size.height, threads));
  for (size_t k = 0; k < order.size(); ++k) {
    const bool repeat = k > 0 && order[k] == order[k - 1];
    ASSERT_TRUE(repeat ? writer.WriteRepeat() : writer.Write(frameOf(order[k], size)));
  }
  writer.Close();
}

// Indices of the key-frame packets of the first video stream.
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

std::vector<cv::Mat> DecodeAll(const std::string& path) {
  std::vector<cv::Mat> frames;
  cv::VideoCapture capture(path, cv::CAP_FFMPEG);
  for (cv::Mat frame; capture.read(frame);) frames.push_back(frame.clone());
  return frames;
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

TEST(ClipWriter, SliceThreadsKeepFramesAndKeyFrames) {
  const cv::Size size(1280, 720);
  if (clipwriter::EncoderThreads(0, size.height) < 2) GTEST_SKIP() << "one core: no slice threads";
  if (ClipFrame(0, size).empty()) GTEST_SKIP() << "no photograph";
  testutil::TempRun run(false);
  const std::vector<int> order = HeldSequence(40);
  const std::string single = run.root + "/single.avi", threaded = run.root + "/threaded.avi";
  WriteWithClipWriter(single, 30.0, size, order, 1, ClipFrame);
  WriteWithClipWriter(threaded, 30.0, size, order, 0, ClipFrame);
  EXPECT_NE(testutil::ReadFile(single), testutil::ReadFile(threaded));  // slices change the stream
  EXPECT_EQ(KeyFrames(single), KeyFrames(threaded));
  const std::vector<cv::Mat> a = DecodeAll(single), b = DecodeAll(threaded);
  ASSERT_EQ(a.size(), order.size());
  ASSERT_EQ(b.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_GE(cv::PSNR(a[i], b[i]), 50.0) << "frame " << i;
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
}

}  // namespace
