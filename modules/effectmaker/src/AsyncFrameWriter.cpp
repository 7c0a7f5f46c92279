#include "AsyncFrameWriter.h"

#include "RenderStats.h"
#include "scriptmaker/OrvCancelTask.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"

AsyncFrameWriter& AsyncFrameWriter::Instance() {
  static AsyncFrameWriter instance;
  return instance;
}

AsyncFrameWriter::~AsyncFrameWriter() { Shutdown(); }

cv::Mat AsyncFrameWriter::AcquireBuffer(int width, int height) {
  std::unique_lock<std::mutex> lock(mMutex);
  for (;;) {
    for (int step = 1; step <= kBuffers; ++step) {
      const int i = (mLast + step + kBuffers) % kBuffers;
      if (mPending[i] != 0) continue;
      cv::Mat& buffer = mPool[i];
      if (buffer.rows != height || buffer.cols != width || buffer.type() != CV_8UC3) buffer.create(height, width, CV_8UC3);
      mLast = i;
      return buffer;
    }
    mDone.wait(lock);
  }
}

void AsyncFrameWriter::SubmitLast(OrvFXFrameHandler* sink) {
  if (!sink) return;
  std::unique_lock<std::mutex> lock(mMutex);
  if (mLast < 0) return;
  // Drawing runs at most a few frames ahead of the encoder.
  mDone.wait(lock, [this] { return mJobs.size() < kMaxQueued; });
  if (!mWorker.joinable()) {
    mStop = false;
    mWorker = std::thread(&AsyncFrameWriter::Run, this);
  }
  ++mPending[mLast];
  mJobs.push_back(Job{sink, mLast});
  mWake.notify_one();
}

void AsyncFrameWriter::Drain() {
  std::unique_lock<std::mutex> lock(mMutex);
  mDone.wait(lock, [this] { return mJobs.empty() && !mBusy; });
}

void AsyncFrameWriter::Shutdown() {
  {
    std::unique_lock<std::mutex> lock(mMutex);
    mDone.wait(lock, [this] { return mJobs.empty() && !mBusy; });
    mStop = true;
    mWake.notify_all();
  }
  if (mWorker.joinable()) mWorker.join();
  std::lock_guard<std::mutex> lock(mMutex);
  mStop = false;
}

void AsyncFrameWriter::Run() {
  std::unique_lock<std::mutex> lock(mMutex);
  for (;;) {
    mWake.wait(lock, [this] { return mStop || !mJobs.empty(); });
    if (mJobs.empty()) return;
    const Job job = mJobs.front();
    mJobs.pop_front();
    mBusy = true;
    const cv::Mat frame = mPool[job.buffer];
    lock.unlock();
    try {
      // A cancelled pass writes no further frame.
      if (!g_isFXCancel.load(std::memory_order_relaxed)) {
        RenderStageTimer timer(RenderStage::Encode);
        job.sink->writeFrame(frame);
      }
    } catch (const std::exception& e) {
      ORV_LOG("AsyncFrameWriter::Run", "## Writing a frame failed: %s", e.what());
    }
    lock.lock();
    --mPending[job.buffer];
    mBusy = false;
    mDone.notify_all();
  }
}

void DrainFrameWrites() { AsyncFrameWriter::Instance().Drain(); }
