#include "AsyncFrameWriter.h"

#include <algorithm>

#include "RenderStats.h"
#include "scriptmaker/OrvCancelTask.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"

AsyncFrameWriter& AsyncFrameWriter::Instance() {
  // Never destroyed: a host may leave the process while a pass encodes.
  static AsyncFrameWriter* instance = new AsyncFrameWriter();
  return *instance;
}

AsyncFrameWriter::~AsyncFrameWriter() { Shutdown(); }

cv::Mat AsyncFrameWriter::AcquireBuffer(int width, int height) {
  std::unique_lock<std::mutex> lock(mMutex);
  for (;;) {
    const int count = static_cast<int>(mPool.size());
    int free = -1;
    for (int step = 1; step <= count && free < 0; ++step) {
      const int i = (mLast + step + count) % count;
      if (mPending[static_cast<size_t>(i)] == 0) free = i;
    }
    const size_t frameBytes =
        static_cast<size_t>(width > 0 ? width : 1) * static_cast<size_t>(height > 0 ? height : 1) * 3;
    const size_t maxBuffers = std::max(kMinBuffers, kMaxPoolBytes / frameBytes);
    if (free < 0 && mPool.size() < maxBuffers) {
      mPool.emplace_back();
      mPending.push_back(0);
      free = count;
    }
    if (free >= 0) {
      cv::Mat& buffer = mPool[static_cast<size_t>(free)];
      if (buffer.rows != height || buffer.cols != width || buffer.type() != CV_8UC3) buffer.create(height, width, CV_8UC3);
      mLast = free;
      mLastSubmitted = -1;
      return buffer;
    }
    mDone.wait(lock);
  }
}

void AsyncFrameWriter::SubmitLast(OrvFXFrameHandler* sink) {
  if (!sink) return;
  std::unique_lock<std::mutex> lock(mMutex);
  if (mLast < 0) return;
  // Drawing runs at most kMaxQueued frames ahead of the encoder.
  if (mJobs.size() >= kMaxQueued) {
    RenderStageTimer timer(RenderStage::Wait);
    mDone.wait(lock, [this] { return mJobs.size() < kMaxQueued; });
  }
  if (!mWorker.joinable()) {
    mStop = false;
    mWorker = std::thread(&AsyncFrameWriter::Run, this);
  }
  ++mPending[mLast];
  mJobs.push_back(Job{sink, mLast, mLastSubmitted == mLast && mLastSink == sink});
  mLastSubmitted = mLast;
  mLastSink = sink;
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
  // The pass is over: give the buffers back. A frame still held elsewhere
  // (gFrameBufferMat) keeps its own reference.
  mPool.clear();
  mPending.clear();
  mLast = -1;
  mLastSubmitted = -1;
  mLastSink = nullptr;
}

void AsyncFrameWriter::FailPass(const char* why) {
  // The clip would lack this frame: the pass stops and does not complete.
  ORV_LOG("AsyncFrameWriter::Run", "## Writing a frame failed: %s; the render pass stops", why);
  OrvFXCancelTask().SetCancel(true);
}

void AsyncFrameWriter::Run() {
  std::unique_lock<std::mutex> lock(mMutex);
  for (;;) {
    mWake.wait(lock, [this] { return mStop || !mJobs.empty(); });
    if (mJobs.empty()) return;
    const Job job = mJobs.front();
    mJobs.pop_front();
    mBusy = true;
    const cv::Mat frame = mPool[static_cast<size_t>(job.buffer)];
    lock.unlock();
    try {
      // A cancelled pass writes no further frame.
      if (!g_isFXCancel.load(std::memory_order_relaxed)) {
        RenderStageTimer timer(RenderStage::Encode);
        const bool written = job.repeat ? job.sink->writeRepeatedFrame(frame) : job.sink->writeFrame(frame);
        // A sink without an open output drops frames (logged); an open one
        // that refuses a frame has failed.
        if (!written && job.sink->isOutputOpen()) FailPass(job.sink->getWriteErrorText().c_str());
      }
    } catch (const std::exception& e) {
      FailPass(e.what());
    } catch (...) {
      FailPass("unknown exception");
    }
    lock.lock();
    --mPending[static_cast<size_t>(job.buffer)];
    mBusy = false;
    mDone.notify_all();
  }
}

void DrainFrameWrites() { AsyncFrameWriter::Instance().Drain(); }
