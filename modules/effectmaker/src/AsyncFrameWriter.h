// Hands read-back frames to the output writer on one encoder thread, so that
// encoding a frame overlaps drawing the next. Frames reach the writer in the
// order they were submitted. A pool of read-back buffers rotates; a buffer is
// reused only once the encoder is done with it. The pool grows on demand up
// to kMaxPoolBytes (at least kMinBuffers buffers), so that drawing can run
// ahead while the encoder works through a backlog of repeated frames; it is
// freed by Shutdown.
#pragma once

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class OrvFXFrameHandler;

class AsyncFrameWriter {
 public:
  static AsyncFrameWriter& Instance();

  // A height x width 8-bit BGR buffer the encoder is not using; waits while
  // every buffer is queued.
  cv::Mat AcquireBuffer(int width, int height);
  // Queues the last acquired buffer for sink (again, when submitted twice:
  // the writer then encodes the frame it has without converting it anew).
  void SubmitLast(OrvFXFrameHandler* sink);
  // Returns once every queued frame has reached its writer.
  void Drain();
  // Drains and ends the encoder thread (it starts again on demand).
  void Shutdown();

  ~AsyncFrameWriter();

 private:
  AsyncFrameWriter() = default;
  void Run();
  static void FailPass(const char* why);

  struct Job {
    OrvFXFrameHandler* sink;
    int buffer;
    bool repeat;  // the same buffer as the job before, for the same sink
  };
  static constexpr size_t kMinBuffers = 3;
  static constexpr size_t kMaxPoolBytes = size_t{100} << 20;  // 16 frames of 1920 x 1080
  // A repeated frame queues no new buffer, so the queue may hold many more
  // jobs than there are buffers.
  static constexpr size_t kMaxQueued = 256;

  std::mutex mMutex;
  std::condition_variable mWake;
  std::condition_variable mDone;
  std::deque<Job> mJobs;
  std::vector<cv::Mat> mPool;
  std::vector<int> mPending;  // queued jobs per pool buffer
  int mLast = -1;
  // The job queued last, while no buffer was acquired since.
  OrvFXFrameHandler* mLastSink = nullptr;
  int mLastSubmitted = -1;
  bool mBusy = false;
  bool mStop = false;
  std::thread mWorker;
};

// Waits for every frame handed to the writer so far.
void DrainFrameWrites();
