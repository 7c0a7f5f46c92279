// Hands read-back frames to the output writer on one encoder thread, so that
// encoding a frame overlaps drawing the next. Frames reach the writer in the
// order they were submitted. A small pool of read-back buffers rotates; a
// buffer is reused only once the encoder is done with it.
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
  // Queues the last acquired buffer for sink (again, when submitted twice).
  void SubmitLast(OrvFXFrameHandler* sink);
  // Returns once every queued frame has reached its writer.
  void Drain();
  // Drains and ends the encoder thread (it starts again on demand).
  void Shutdown();

  ~AsyncFrameWriter();

 private:
  AsyncFrameWriter() = default;
  void Run();

  struct Job {
    OrvFXFrameHandler* sink;
    int buffer;
  };
  static constexpr int kBuffers = 3;
  static constexpr size_t kMaxQueued = 32;

  std::mutex mMutex;
  std::condition_variable mWake;
  std::condition_variable mDone;
  std::deque<Job> mJobs;
  cv::Mat mPool[kBuffers];
  int mPending[kBuffers] = {0, 0, 0};
  int mLast = -1;
  bool mBusy = false;
  bool mStop = false;
  std::thread mWorker;
};

// Waits for every frame handed to the writer so far.
void DrainFrameWrites();
