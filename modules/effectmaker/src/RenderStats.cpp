#include "RenderStats.h"

#include <mutex>

#include "EffectTable.h"

namespace {

constexpr int kStages = 6;
constexpr int kFamilies = static_cast<int>(RenderFamily::Count);

std::atomic<bool> gProfiling{false};
std::atomic<int64_t> gStageNs[kStages];
std::atomic<int64_t> gFrames{0};
std::atomic<int64_t> gWindows{0};
// -1 outside a scene.
std::atomic<int> gFamily{-1};
std::atomic<int64_t> gFamilyFrames[kFamilies];
std::atomic<int64_t> gFamilyDrawNs[kFamilies];
std::mutex gSceneMutex;
int64_t gFamilyScenes[kFamilies];
int64_t gFamilySceneNs[kFamilies];
std::chrono::steady_clock::time_point gSceneStart;

int64_t Load(const std::atomic<int64_t>& v) { return v.load(std::memory_order_relaxed); }

// Adds the running scene's time to its family; the caller holds the lock.
void CloseScene() {
  const int family = gFamily.exchange(-1, std::memory_order_relaxed);
  if (family < 0) return;
  gFamilySceneNs[family] +=
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - gSceneStart).count();
}

}  // namespace

RenderFamily RenderFamilyOf(int effectCode, bool videoToVideo) {
  if (videoToVideo || effectCode == kImageHoldCode || effectCode == kVideoHoldCode ||
      effectCode == kThreePanelCode)
    return RenderFamily::Hold;
  const EffectRow* row = FindEffectRow(effectCode);
  return row ? row->family : RenderFamily::Other;
}

const char* RenderFamilyName(RenderFamily family) {
  switch (family) {
    case RenderFamily::Hold: return "holds";
    case RenderFamily::ScreenQuad: return "screen quad";
    case RenderFamily::Mesh: return "mesh";
    default: return "other";
  }
}

void SetRenderProfiling(bool on) { gProfiling.store(on, std::memory_order_relaxed); }

bool IsRenderProfiling() { return gProfiling.load(std::memory_order_relaxed); }

void ResetRenderStageTimes() {
  std::lock_guard<std::mutex> lock(gSceneMutex);
  for (auto& ns : gStageNs) ns.store(0, std::memory_order_relaxed);
  gFrames.store(0, std::memory_order_relaxed);
  gWindows.store(0, std::memory_order_relaxed);
  gFamily.store(-1, std::memory_order_relaxed);
  for (int f = 0; f < kFamilies; ++f) {
    gFamilyFrames[f].store(0, std::memory_order_relaxed);
    gFamilyDrawNs[f].store(0, std::memory_order_relaxed);
    gFamilyScenes[f] = 0;
    gFamilySceneNs[f] = 0;
  }
}

RenderStageTimes GetRenderStageTimes() {
  RenderStageTimes t;
  t.composeNs = Load(gStageNs[0]);
  t.drawNs = Load(gStageNs[1]);
  t.readBackNs = Load(gStageNs[2]);
  t.encodeNs = Load(gStageNs[3]);
  t.waitNs = Load(gStageNs[4]);
  t.windowNs = Load(gStageNs[5]);
  t.frames = Load(gFrames);
  t.windows = Load(gWindows);
  std::lock_guard<std::mutex> lock(gSceneMutex);
  for (int f = 0; f < kFamilies; ++f) {
    t.families[f].scenes = gFamilyScenes[f];
    t.families[f].frames = Load(gFamilyFrames[f]);
    t.families[f].sceneNs = gFamilySceneNs[f];
    t.families[f].drawNs = Load(gFamilyDrawNs[f]);
  }
  return t;
}

void AddRenderStageTime(RenderStage stage, int64_t ns) {
  gStageNs[static_cast<int>(stage)].fetch_add(ns, std::memory_order_relaxed);
  if (stage != RenderStage::Draw) return;
  const int family = gFamily.load(std::memory_order_relaxed);
  if (family >= 0) gFamilyDrawNs[family].fetch_add(ns, std::memory_order_relaxed);
}

void CountRenderedFrame() {
  gFrames.fetch_add(1, std::memory_order_relaxed);
  const int family = gFamily.load(std::memory_order_relaxed);
  if (family >= 0) gFamilyFrames[family].fetch_add(1, std::memory_order_relaxed);
}

void CountRenderWindow() { gWindows.fetch_add(1, std::memory_order_relaxed); }

void BeginRenderScene(RenderFamily family) {
  if (!IsRenderProfiling()) return;
  const int f = static_cast<int>(family);
  if (f < 0 || f >= kFamilies) return;
  std::lock_guard<std::mutex> lock(gSceneMutex);
  CloseScene();
  ++gFamilyScenes[f];
  gSceneStart = std::chrono::steady_clock::now();
  gFamily.store(f, std::memory_order_relaxed);
}

void EndRenderScene() {
  std::lock_guard<std::mutex> lock(gSceneMutex);
  CloseScene();
}
