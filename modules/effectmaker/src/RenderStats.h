// Time spent per stage of a create pass, for benchmarks. Collection is off
// by default; when on, each frame is finished before its read-back so that
// drawing and read-back are told apart.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

struct RenderStageTimes {
  int64_t composeNs = 0;   // slot picture composition
  int64_t drawNs = 0;      // waiting for the frame's drawing to finish
  int64_t readBackNs = 0;  // glReadPixels, the conversion to BGR and the flip
  int64_t encodeNs = 0;    // the writer encoding frames (on the encoder thread)
  int64_t waitNs = 0;      // drawing waiting for the encoder (a free read-back buffer or room in its queue)
  int64_t frames = 0;
};

void SetRenderProfiling(bool on);
bool IsRenderProfiling();
void ResetRenderStageTimes();
RenderStageTimes GetRenderStageTimes();

enum class RenderStage { Compose, Draw, ReadBack, Encode, Wait };
void AddRenderStageTime(RenderStage stage, int64_t ns);
void CountRenderedFrame();

// Adds the time between construction and destruction to a stage while
// profiling is on.
class RenderStageTimer {
 public:
  explicit RenderStageTimer(RenderStage stage) : mStage(stage), mOn(IsRenderProfiling()) {
    if (mOn) mStart = std::chrono::steady_clock::now();
  }
  ~RenderStageTimer() {
    if (mOn)
      AddRenderStageTime(mStage, std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now() - mStart)
                                     .count());
  }
  RenderStageTimer(const RenderStageTimer&) = delete;
  RenderStageTimer& operator=(const RenderStageTimer&) = delete;

 private:
  RenderStage mStage;
  bool mOn;
  std::chrono::steady_clock::time_point mStart;
};
