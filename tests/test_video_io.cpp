// Video reader (seeking, timestamps), the 'mp4v' writer, the frame sink and
// the handler cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "fxcontroller/OrvFXFrameHandler.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"
#include "test_foundation_util.h"

extern OrvFXFrameHandler* gInputFrameHandler __attribute__((weak));

namespace {

constexpr int kBits = 8;

// Frame number as eight black/white bars, least significant bit first.
cv::Mat NumberedFrame(int n, cv::Size size) {
  cv::Mat m(size, CV_8UC3, cv::Scalar(0, 0, 0));
  int bar = size.width / kBits;
  for (int b = 0; b < kBits; ++b)
    if ((n >> b) & 1) cv::rectangle(m, cv::Rect(b * bar, 0, bar, size.height), cv::Scalar(255, 255, 255), cv::FILLED);
  return m;
}

int DecodeNumber(const cv::Mat& m) {
  if (m.empty()) return -1;
  int bar = m.cols / kBits;
  int n = 0;
  for (int b = 0; b < kBits; ++b) {
    cv::Scalar s = cv::mean(m(cv::Rect(b * bar + bar / 4, m.rows / 4, bar / 2, m.rows / 2)));
    if (s[0] > 128) n |= 1 << b;
  }
  return n;
}

void WriteNumberedClip(const std::string& path, double fps, int frames, cv::Size size = cv::Size(320, 240)) {
  cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), fps, size, true);
  ASSERT_TRUE(w.isOpened()) << path;
  for (int i = 0; i < frames; ++i) w.write(NumberedFrame(i, size));
}

size_t FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<size_t>(in.tellg()) : 0;
}

void TruncateCopy(const std::string& from, const std::string& to, double share) {
  std::string data = testutil::ReadFile(from);
  std::ofstream out(to, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size() * share));
}

int CountOccurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

class VideoIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitLog(run.WorkWide());
    OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
  }
  void TearDown() override {
    OrvFXFrameHandler::SetFrameSink(nullptr);
    OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
  }
  std::string Path(const std::string& name) const { return run.work + name; }

  testutil::TempRun run;
};

TEST_F(VideoIoTest, NoInputMeansDefaultRateAndSize) {
  OrvFXFrameHandler h;
  EXPECT_TRUE(h.setParameters("", ""));
  EXPECT_EQ(h.getFps(), 29.969999313354492);
  EXPECT_EQ(h.getWidth(), 1920);
  EXPECT_EQ(h.getHeight(), 1080);
  EXPECT_FALSE(h.isInputOpen());
  EXPECT_FALSE(h.isOutputOpen());
  cv::Mat frame;
  EXPECT_EQ(h.readFrame(frame), -1);
  EXPECT_TRUE(frame.empty());
  EXPECT_EQ(h.getFrameCount(), 0);
}

TEST_F(VideoIoTest, SeekAndReadDeliverTheRightFramesAndTimestamps) {
  const std::string clip = Path("n25.avi");
  WriteNumberedClip(clip, 25.0, 60);
  OrvFXFrameHandler h;
  ASSERT_TRUE(h.setParameters(clip, ""));
  EXPECT_EQ(h.getWidth(), 320);
  EXPECT_EQ(h.getHeight(), 240);
  EXPECT_DOUBLE_EQ(h.getFps(), 25.0);

  cv::Mat f;
  EXPECT_EQ(h.readFrame(f), 0);
  EXPECT_EQ(DecodeNumber(f), 0);
  EXPECT_EQ(h.readFrame(f), 40000);
  EXPECT_EQ(DecodeNumber(f), 1);

  // Rounding to the frame grid: 0.5 frame rounds up.
  EXPECT_TRUE(h.seekTo(20000));
  EXPECT_EQ(h.getFrameIndex(), 1);
  EXPECT_EQ(h.readFrame(f), 40000);
  EXPECT_EQ(DecodeNumber(f), 1);
  EXPECT_TRUE(h.seekTo(19999));
  EXPECT_EQ(h.readFrame(f), 0);
  EXPECT_EQ(DecodeNumber(f), 0);

  // Backward, forward, short forward, same position, last frame.
  for (int target : {40, 7, 9, 20, 20, 59, 33, 34, 0, 58}) {
    EXPECT_TRUE(h.seekTo(target * 40000)) << target;
    EXPECT_EQ(h.readFrame(f), target * 40000) << target;
    EXPECT_EQ(DecodeNumber(f), target) << target;
  }

  // A negative time changes nothing: reading goes on after frame 58.
  EXPECT_FALSE(h.seekTo(-1));
  EXPECT_EQ(h.getFrameIndex(), 59);
  EXPECT_EQ(h.readFrame(f), 59 * 40000);
  EXPECT_EQ(DecodeNumber(f), 59);

  // Past the last frame: -1 and an empty frame, every time.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(h.readFrame(f), -1);
    EXPECT_TRUE(f.empty());
  }
  // A seek past the end is refused and reads fail; a later seek recovers.
  EXPECT_FALSE(h.seekTo(60 * 40000));
  EXPECT_EQ(h.readFrame(f), -1);
  EXPECT_TRUE(f.empty());
  EXPECT_FALSE(h.seekTo(100 * 1000000));
  EXPECT_EQ(h.readFrame(f), -1);
  EXPECT_TRUE(h.seekTo(12 * 40000));
  EXPECT_EQ(h.readFrame(f), 12 * 40000);
  EXPECT_EQ(DecodeNumber(f), 12);
  EXPECT_EQ(h.getFrameCount(), 60);

  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("EXIT seekTo, FAILED, timeStamp: -1"), std::string::npos);
  EXPECT_NE(log.find("seekTo, timeStamp: 480000, SeekFrameFos : 12.00/60.00"), std::string::npos);
  EXPECT_NE(log.find("VDecoding failed to read, capture open : 1"), std::string::npos);
}

TEST_F(VideoIoTest, SeeksAreFrameExactInH264WithBFramesAt30Fps) {
  const std::string clip = Path("h264.mp4");
  {
    cv::VideoWriter w(clip, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('a', 'v', 'c', '1'), 30.0, cv::Size(320, 240), true);
    if (!w.isOpened()) GTEST_SKIP() << "no H.264 encoder";
    for (int i = 0; i < 90; ++i) w.write(NumberedFrame(i, cv::Size(320, 240)));
  }
  OrvFXFrameHandler h;
  ASSERT_TRUE(h.setParameters(clip, ""));
  cv::Mat f;
  EXPECT_TRUE(h.seekTo(1000000));
  EXPECT_EQ(h.readFrame(f), 1000000);
  EXPECT_EQ(DecodeNumber(f), 30);
  EXPECT_EQ(h.readFrame(f), 1033333);
  EXPECT_EQ(DecodeNumber(f), 31);
  for (int target : {45, 10, 89, 50, 0, 73, 31, 32, 60, 88, 5}) {
    h.seekTo(static_cast<int>(target * 1000000.0 / 30.0 + 1));
    ASSERT_EQ(h.getFrameIndex(), target);
    EXPECT_GE(h.readFrame(f), 0) << target;
    EXPECT_EQ(DecodeNumber(f), target) << target;
  }
  EXPECT_EQ(h.getFrameCount(), 90);
}

TEST_F(VideoIoTest, TruncatedFileDoesNotOverPromise) {
  const std::string whole = Path("whole.avi");
  const std::string cut = Path("cut.avi");
  WriteNumberedClip(whole, 25.0, 60);
  TruncateCopy(whole, cut, 0.5);

  OrvFXFrameHandler h;
  ASSERT_TRUE(h.setParameters(cut, ""));
  int count = h.getFrameCount();
  EXPECT_GT(count, 0);
  EXPECT_LT(count, 60);

  // Every promised frame reads, in order, and the next one does not. The
  // frame cut in half decodes with damage, so its number is not checked.
  cv::Mat f;
  ASSERT_TRUE(h.seekTo(0));
  std::vector<int> numbers;
  while (h.readFrame(f) >= 0) {
    numbers.push_back(DecodeNumber(f));
    ASSERT_LE(numbers.size(), 60u);
  }
  int read = static_cast<int>(numbers.size());
  for (int i = 0; i + 1 < read; ++i) EXPECT_EQ(numbers[i], i);
  EXPECT_TRUE(f.empty());
  EXPECT_EQ(read, count);

  EXPECT_TRUE(h.seekTo((count - 1) * 40000));
  EXPECT_GE(h.readFrame(f), 0);
  EXPECT_FALSE(h.seekTo(count * 40000));
  EXPECT_EQ(h.readFrame(f), -1);
  EXPECT_TRUE(f.empty());
}

TEST_F(VideoIoTest, UnusableInputsAreLoggedAndReadNothing) {
  const std::string missing = Path("missing.avi");
  const std::string folder = Path("a_folder.avi");
  const std::string empty = Path("empty.avi");
  const std::string garbage = Path("garbage.avi");
  std::system(("mkdir -p '" + folder + "'").c_str());
  { std::ofstream touch(empty); }
  { std::ofstream junk(garbage); junk << std::string(4096, 'x'); }

  for (const std::string& path : {missing, folder, empty, garbage}) {
    OrvFXFrameHandler h;
    EXPECT_FALSE(h.setParameters(path, "")) << path;
    EXPECT_FALSE(h.isInputOpen()) << path;
    EXPECT_FALSE(h.isReadable()) << path;
    EXPECT_FALSE(h.seekTo(0)) << path;
    cv::Mat f = cv::Mat::ones(4, 4, CV_8UC3);
    EXPECT_EQ(h.readFrame(f), -1) << path;
    EXPECT_TRUE(f.empty()) << path;
    EXPECT_EQ(h.getFrameCount(), 0) << path;
  }
  std::string log = testutil::ReadLog();
  EXPECT_NE(log.find("Could not found video file : " + missing), std::string::npos);
  EXPECT_NE(log.find("Input is not a regular file : " + folder), std::string::npos);
  EXPECT_EQ(CountOccurrences(log, "Failed to open input file"), 4);
  EXPECT_NE(log.find("VDecoding failed to read, capture open : 0"), std::string::npos);
}

TEST_F(VideoIoTest, WrittenVideoHasTheReferenceRateSizeAndFrameCount) {
  const std::string ref = Path("ref.avi");
  const std::string out = Path("_output.avi");
  WriteNumberedClip(ref, 29.97, 10, cv::Size(256, 144));
  { std::ofstream stale(out); stale << "old"; }

  const int kFrames = 37;
  {
    OrvFXFrameHandler w;
    ASSERT_TRUE(w.setParameters(ref, out));
    ASSERT_TRUE(w.isOutputOpen());
    EXPECT_EQ(w.getWidth(), 256);
    EXPECT_EQ(w.getHeight(), 144);
    for (int i = 0; i < kFrames; ++i) EXPECT_TRUE(w.writeFrame(NumberedFrame(i, cv::Size(256, 144))));
    EXPECT_EQ(w.getWrittenFrameCount(), kFrames);
  }  // closing finalises the file

  cv::VideoCapture c(out, cv::CAP_FFMPEG);
  ASSERT_TRUE(c.isOpened());
  EXPECT_NEAR(c.get(cv::CAP_PROP_FPS), 29.97, 0.01);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_WIDTH), 256);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_HEIGHT), 144);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_COUNT), kFrames);
  int fourcc = static_cast<int>(c.get(cv::CAP_PROP_FOURCC));
  std::string tag(reinterpret_cast<const char*>(&fourcc), 4);
  EXPECT_EQ(tag, "mp4v");
  cv::Mat f;
  int n = 0;
  while (c.read(f)) {
    EXPECT_EQ(DecodeNumber(f), n);
    ++n;
  }
  EXPECT_EQ(n, kFrames);
}

TEST_F(VideoIoTest, FrameSinkSeesExactlyTheEncodedFrames) {
  const std::string out = Path("sink_output.avi");
  std::vector<cv::Mat> seen;
  OrvFXFrameHandler::SetFrameSink([&seen](const cv::Mat& m) { seen.push_back(m.clone()); });

  const cv::Size size(1920, 1080);
  std::vector<cv::Mat> given;
  {
    OrvFXFrameHandler w;
    ASSERT_TRUE(w.setParameters("", out));
    for (int i = 0; i < 5; ++i) {
      given.push_back(NumberedFrame(i * 3 + 1, size));
      cv::circle(given.back(), cv::Point(100 + i * 40, 500), 30, cv::Scalar(10, 200, 60 * i), cv::FILLED);
      ASSERT_TRUE(w.writeFrame(given.back()));
    }
    // A four-channel frame reaches the encoder as BGR.
    cv::Mat bgra(size, CV_8UC4, cv::Scalar(1, 2, 3, 4));
    ASSERT_TRUE(w.writeFrame(bgra));
    given.push_back(cv::Mat(size, CV_8UC3, cv::Scalar(1, 2, 3)));
    // A frame of another size is scaled to the output size.
    ASSERT_TRUE(w.writeFrame(cv::Mat(cv::Size(320, 180), CV_8UC3, cv::Scalar(9, 8, 7))));
    given.push_back(cv::Mat(size, CV_8UC3, cv::Scalar(9, 8, 7)));
    // Nothing reaches the sink for a frame that is not written.
    EXPECT_FALSE(w.writeFrame(cv::Mat()));
    EXPECT_EQ(w.getWrittenFrameCount(), 7);
  }
  ASSERT_EQ(seen.size(), given.size());
  for (size_t i = 0; i < given.size(); ++i) {
    ASSERT_EQ(seen[i].size(), size) << i;
    ASSERT_EQ(seen[i].type(), CV_8UC3) << i;
    EXPECT_EQ(cv::norm(seen[i], given[i], cv::NORM_INF), 0.0) << i;
  }

  // Without a sink the writer still writes; the old sink sees nothing more.
  OrvFXFrameHandler::SetFrameSink(nullptr);
  OrvFXFrameHandler w2;
  ASSERT_TRUE(w2.setParameters("", Path("nosink_output.avi")));
  EXPECT_TRUE(w2.writeFrame(given[0]));
  EXPECT_EQ(seen.size(), given.size());
}

TEST_F(VideoIoTest, WriterThatCannotOpenDropsFramesSafely) {
  const std::string ref = Path("keep.avi");
  WriteNumberedClip(ref, 25.0, 5);
  const size_t refSize = FileSize(ref);
  const std::string folder = Path("out_folder");
  std::system(("mkdir -p '" + folder + "'").c_str());
  int sinkCalls = 0;
  OrvFXFrameHandler::SetFrameSink([&sinkCalls](const cv::Mat&) { ++sinkCalls; });

  struct Case {
    std::string in, out, logLine;
  };
  const std::vector<Case> cases = {
      {"", run.root + "/no/such/dir/_output.avi", "Failed to open output file: " + run.root + "/no/such/dir/"},
      {ref, ref, "Output would overwrite the input video, refused : " + ref},
      {"", folder, "Output path is not a regular file : " + folder},
  };
  for (const Case& c : cases) {
    OrvFXFrameHandler w;
    EXPECT_FALSE(w.setParameters(c.in, c.out)) << c.out;
    EXPECT_FALSE(w.isOutputOpen()) << c.out;
    EXPECT_FALSE(w.writeFrame(NumberedFrame(1, cv::Size(w.getWidth(), w.getHeight())))) << c.out;
    EXPECT_FALSE(w.writeFrame(NumberedFrame(2, cv::Size(w.getWidth(), w.getHeight())))) << c.out;
    EXPECT_EQ(w.getWrittenFrameCount(), 0);
    EXPECT_NE(testutil::ReadLog().find(c.logLine), std::string::npos) << c.logLine;
  }
  EXPECT_EQ(sinkCalls, 0);
  EXPECT_EQ(FileSize(ref), refSize);
  EXPECT_TRUE(platform::PathExists(folder));
  std::string log = testutil::ReadLog();
  EXPECT_EQ(CountOccurrences(log, "No open output, frames are dropped"), 3);
  EXPECT_EQ(CountOccurrences(log, "2 frames could not be written"), 3);
}

TEST_F(VideoIoTest, UnreadableReferenceFallsBackToFullHdAt2997) {
  gWindowSizeVideoName = Path("gone.avi");
  OrvFXFrameHandler* w = OrvVideoHandlerFactory::GetOutputFrameHandler(Path("fb_output.avi"));
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isOutputOpen());
  EXPECT_EQ(w->getWidth(), 1920);
  EXPECT_EQ(w->getHeight(), 1080);
  EXPECT_EQ(w->getFps(), 29.969999313354492);
  EXPECT_NE(testutil::ReadLog().find("output at 1920 x 1080, 29.97 fps"), std::string::npos);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->writeFrame(NumberedFrame(i, cv::Size(1920, 1080))));
  OrvVideoHandlerFactory::ReleaseAllFrameHandlers();

  cv::VideoCapture c(Path("fb_output.avi"), cv::CAP_FFMPEG);
  ASSERT_TRUE(c.isOpened());
  EXPECT_NEAR(c.get(cv::CAP_PROP_FPS), 29.97, 0.01);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_WIDTH), 1920);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_HEIGHT), 1080);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_COUNT), 3);
}

TEST_F(VideoIoTest, FactoryCachesOneReaderAndOneWriter) {
  const std::string a = Path("a.avi");
  const std::string b = Path("b.avi");
  WriteNumberedClip(a, 25.0, 10);
  WriteNumberedClip(b, 25.0, 10, cv::Size(160, 120));
  const std::string before = testutil::ReadLog();

  OrvFXFrameHandler* ra = OrvVideoHandlerFactory::GetFrameHandler(a);
  ASSERT_NE(ra, nullptr);
  EXPECT_EQ(OrvVideoHandlerFactory::GetFrameHandler(a), ra);
  std::string log = testutil::ReadLog().substr(before.size());
  EXPECT_EQ(CountOccurrences(log, "FXFrameHandler created"), 1);
  EXPECT_EQ(gFXHandlerVideoNameA, a);

  OrvFXFrameHandler* rb = OrvVideoHandlerFactory::GetFrameHandler(b);
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(gFXFrameHandlerA, rb);
  EXPECT_EQ(rb->getWidth(), 160);
  log = testutil::ReadLog().substr(before.size());
  EXPECT_EQ(CountOccurrences(log, "ENTER deInit OrvFXFrameHandler"), 1);
  EXPECT_EQ(CountOccurrences(log, "FXFrameHandler created"), 2);

  // An empty path gives no reader and keeps the cached one.
  EXPECT_EQ(OrvVideoHandlerFactory::GetFrameHandler(""), nullptr);
  EXPECT_EQ(gFXFrameHandlerA, rb);

  // A path that failed to open stays cached as failed.
  OrvFXFrameHandler* rm = OrvVideoHandlerFactory::GetFrameHandler(Path("none.avi"));
  ASSERT_NE(rm, nullptr);
  EXPECT_FALSE(rm->isInputOpen());
  EXPECT_EQ(OrvVideoHandlerFactory::GetFrameHandler(Path("none.avi")), rm);

  OrvFXFrameHandler* w = OrvVideoHandlerFactory::GetOutputFrameHandler(Path("_output.avi"));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(OrvVideoHandlerFactory::GetOutputFrameHandler(Path("_output.avi")), w);
  EXPECT_TRUE(w->writeFrame(NumberedFrame(3, cv::Size(1920, 1080))));

  OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
  EXPECT_EQ(gFXFrameHandlerA, nullptr);
  EXPECT_EQ(gFXFrameHandlerB, nullptr);
  EXPECT_TRUE(gFXHandlerVideoNameA.empty());
  EXPECT_TRUE(gFXHandlerVideoNameB.empty());
  OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
  EXPECT_EQ(CountOccurrences(testutil::ReadLog().substr(before.size()),
                             "OrvVideoHandlerFactory::ReleaseAllFrameHandlers() - Destructor called"),
            2);
  cv::VideoCapture c(Path("_output.avi"), cv::CAP_FFMPEG);
  EXPECT_EQ(c.get(cv::CAP_PROP_FRAME_COUNT), 1);
}

TEST_F(VideoIoTest, WindowSizeFollowsListOrderAndSkipsUnreadableVideos) {
  const std::string wide = Path("wide.avi");      // stands for 1920 x 1080
  const std::string small = Path("small.avi");    // 1280 x 720
  const std::string tall = Path("tall.avi");      // 1080 x 1920
  const std::string broken = Path("broken.avi");  // does not exist
  WriteNumberedClip(wide, 25.0, 3, cv::Size(192, 108));
  WriteNumberedClip(small, 30.0, 3, cv::Size(128, 72));
  WriteNumberedClip(tall, 25.0, 3, cv::Size(108, 192));

  EXPECT_EQ(OrvVideoHandlerFactory::GetAppropriateWindowSize({wide, small, tall}), cv::Size(108, 192));
  EXPECT_EQ(gWindowSizeVideoName, tall);
  EXPECT_EQ(gFXHandlerVideoNameA, tall);  // the cache stays on the last path

  EXPECT_EQ(OrvVideoHandlerFactory::GetAppropriateWindowSize({broken, tall, wide, "", small}), cv::Size(128, 72));
  EXPECT_EQ(gWindowSizeVideoName, small);
  EXPECT_NE(testutil::ReadLog().find("Unreadable video left out of the output size : " + broken), std::string::npos);

  // Nothing usable: the "no video" size, and the reference stays as it was.
  EXPECT_EQ(OrvVideoHandlerFactory::GetAppropriateWindowSize({}), cv::Size(99999, 99999));
  EXPECT_EQ(OrvVideoHandlerFactory::GetAppropriateWindowSize({broken}), cv::Size(99999, 99999));
  EXPECT_EQ(gWindowSizeVideoName, small);

  // The writer takes the reference video's rate and size.
  OrvFXFrameHandler* w = OrvVideoHandlerFactory::GetOutputFrameHandler(Path("_output.avi"));
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isOutputOpen());
  EXPECT_EQ(w->getWidth(), 128);
  EXPECT_EQ(w->getHeight(), 72);
  EXPECT_DOUBLE_EQ(w->getFps(), 30.0);
}

TEST_F(VideoIoTest, DeInitRunsOnceAndFreeingClearsThePublishedReader) {
  const std::string clip = Path("once.avi");
  WriteNumberedClip(clip, 25.0, 3);
  const std::string before = testutil::ReadLog();
  {
    OrvFXFrameHandler h;
    ASSERT_TRUE(h.setParameters(clip, ""));
    h.deInit();
    EXPECT_FALSE(h.isInputOpen());
    h.deInit();
  }
  std::string log = testutil::ReadLog().substr(before.size());
  EXPECT_EQ(CountOccurrences(log, "ENTER deInit OrvFXFrameHandler"), 1);
  EXPECT_EQ(CountOccurrences(log, " VideoCapture Released, "), 1);

  if (&gInputFrameHandler == nullptr) GTEST_SKIP() << "no published reader in this build";
  gInputFrameHandler = OrvVideoHandlerFactory::GetFrameHandler(clip);
  OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
  EXPECT_EQ(gInputFrameHandler, nullptr);
}

}  // namespace
