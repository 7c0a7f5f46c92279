// The encoder thread between drawing and the writer: read-back buffers are
// reused only once written, frames reach the writer in order (repeats
// included), and a cancelled pass ends without encoding its backlog.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>

#include "AsyncFrameWriter.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "scriptmaker/OrvCancelTask.h"
#include "test_foundation_util.h"

namespace {

// Sees every frame the encoder writes; holds the encoder inside the write
// while closed.
class EncoderGate {
 public:
  EncoderGate() {
    OrvFXFrameHandler::SetFrameSink([this](const cv::Mat& frame) {
      std::unique_lock<std::mutex> lock(mMutex);
      mValues.push_back(frame.at<cv::Vec3b>(0, 0)[0]);
      ++mEntered;
      mChanged.notify_all();
      mChanged.wait(lock, [this] { return mOpen; });
    });
  }
  ~EncoderGate() {
    Open();
    AsyncFrameWriter::Instance().Shutdown();
    OrvFXFrameHandler::SetFrameSink(nullptr);
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mMutex);
    mOpen = false;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mMutex);
    mOpen = true;
    mChanged.notify_all();
  }
  // Waits until the encoder has started on n frames.
  void WaitEntered(int n) {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [&] { return mEntered >= n; });
  }
  std::vector<int> Values() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mValues;
  }

 private:
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mOpen = true;
  int mEntered = 0;
  std::vector<int> mValues;
};

struct CancelReset {
  ~CancelReset() { g_isFXCancel = false; }
};

class AsyncWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { InitLog(run.WorkWide()); }
  // A 64 x 48 'mp4v' output (the size of its reference video).
  void OpenSink(OrvFXFrameHandler& sink, const std::string& name) {
    const std::string reference = run.work + name + "_ref.avi";
    cv::VideoWriter(reference, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'), 25.0, cv::Size(64, 48))
        .write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(0)));
    ASSERT_TRUE(sink.setParameters(reference, run.work + name + ".avi"));
    ASSERT_EQ(cv::Size(sink.getWidth(), sink.getHeight()), cv::Size(64, 48));
  }
  testutil::TempRun run;
};

}  // namespace

TEST_F(AsyncWriterTest, BuffersAreReusedOnlyOnceWrittenAndFramesKeepTheirOrder) {
  OrvFXFrameHandler sink;
  OpenSink(sink, "order");
  AsyncFrameWriter& writer = AsyncFrameWriter::Instance();
  EncoderGate gate;

  // The encoder stalls on the first frame: every buffer handed out meanwhile
  // is one no queued frame uses.
  gate.Close();
  std::vector<int> expected;
  std::set<const uchar*> queued;
  for (int i = 0; i < 40; ++i) {
    cv::Mat buffer = writer.AcquireBuffer(64, 48);
    ASSERT_EQ(buffer.size(), cv::Size(64, 48));
    ASSERT_EQ(buffer.type(), CV_8UC3);
    EXPECT_TRUE(queued.insert(buffer.data).second) << "buffer " << i << " is still queued";
    buffer.setTo(cv::Scalar::all(i));
    writer.SubmitLast(&sink);
    expected.push_back(i);
    if (i % 5 == 0) {  // a repeated frame queues the same buffer again
      writer.SubmitLast(&sink);
      expected.push_back(i);
    }
  }
  gate.Open();
  writer.Drain();
  EXPECT_EQ(gate.Values(), expected);
  EXPECT_EQ(sink.getWrittenFrameCount(), static_cast<int64_t>(expected.size()));

  // Once written, buffers come round again instead of new ones.
  for (int i = 0; i < 10; ++i) {
    cv::Mat buffer = writer.AcquireBuffer(64, 48);
    EXPECT_EQ(queued.count(buffer.data), 1u) << "a new buffer although " << queued.size() << " are free";
    buffer.setTo(cv::Scalar::all(100 + i));
    writer.SubmitLast(&sink);
    writer.Drain();
  }
  EXPECT_EQ(gate.Values().back(), 109);
}

TEST_F(AsyncWriterTest, CancelEndsThePassWithoutEncodingTheBacklog) {
  CancelReset reset;
  const std::string path = run.work + "cancel.avi";
  OrvFXFrameHandler sink;
  OpenSink(sink, "cancel");
  AsyncFrameWriter& writer = AsyncFrameWriter::Instance();
  {
    EncoderGate gate;
    gate.Close();
    for (int i = 0; i < 30; ++i) {
      writer.AcquireBuffer(64, 48).setTo(cv::Scalar::all(i));
      writer.SubmitLast(&sink);
    }
    gate.WaitEntered(1);
    g_isFXCancel = true;
    gate.Open();
    // The end of the pass returns once the backlog is dropped.
    writer.Shutdown();
    EXPECT_EQ(gate.Values(), std::vector<int>{0});
    EXPECT_EQ(sink.getWrittenFrameCount(), 1);
  }

  // The next pass starts the encoder again.
  g_isFXCancel = false;
  EncoderGate gate;
  for (int i = 0; i < 3; ++i) {
    writer.AcquireBuffer(64, 48).setTo(cv::Scalar::all(50 + i));
    writer.SubmitLast(&sink);
  }
  writer.Drain();
  EXPECT_EQ(gate.Values(), (std::vector<int>{50, 51, 52}));
  sink.deInit();
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  int frames = 0;
  for (cv::Mat f; cap.read(f);) ++frames;
  EXPECT_EQ(frames, 4);
}
