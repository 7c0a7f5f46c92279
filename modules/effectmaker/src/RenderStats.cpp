#include "RenderStats.h"

namespace {

std::atomic<bool> gProfiling{false};
std::atomic<int64_t> gStageNs[5];
std::atomic<int64_t> gFrames{0};

}  // namespace

void SetRenderProfiling(bool on) { gProfiling.store(on, std::memory_order_relaxed); }

bool IsRenderProfiling() { return gProfiling.load(std::memory_order_relaxed); }

void ResetRenderStageTimes() {
  for (auto& ns : gStageNs) ns.store(0, std::memory_order_relaxed);
  gFrames.store(0, std::memory_order_relaxed);
}

RenderStageTimes GetRenderStageTimes() {
  RenderStageTimes t;
  t.composeNs = gStageNs[0].load(std::memory_order_relaxed);
  t.drawNs = gStageNs[1].load(std::memory_order_relaxed);
  t.readBackNs = gStageNs[2].load(std::memory_order_relaxed);
  t.encodeNs = gStageNs[3].load(std::memory_order_relaxed);
  t.waitNs = gStageNs[4].load(std::memory_order_relaxed);
  t.frames = gFrames.load(std::memory_order_relaxed);
  return t;
}

void AddRenderStageTime(RenderStage stage, int64_t ns) {
  gStageNs[static_cast<int>(stage)].fetch_add(ns, std::memory_order_relaxed);
}

void CountRenderedFrame() { gFrames.fetch_add(1, std::memory_order_relaxed); }
