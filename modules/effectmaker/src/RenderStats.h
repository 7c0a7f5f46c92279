// Time spent per stage of a create pass, for benchmarks. Collection is off
// by default; when on, each frame is finished before its read-back so that
// drawing and read-back are told apart.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// Effect families, for the time each takes per frame.
enum class RenderFamily { Hold, ScreenQuad, Mesh, Other, Count };
// Family of a scene: picture and video holds (the hold and three-panel
// codes, and every video-to-video scene), else the family of its row in the
// effect table.
RenderFamily RenderFamilyOf(int effectCode, bool videoToVideo);
const char* RenderFamilyName(RenderFamily family);

struct RenderFamilyTimes {
  int64_t scenes = 0;
  int64_t frames = 0;
  int64_t sceneNs = 0;  // inside its scenes, window set-up and teardown excluded
  int64_t drawNs = 0;   // waiting for its frames' drawing to finish
};

struct RenderStageTimes {
  int64_t composeNs = 0;   // slot picture composition
  int64_t drawNs = 0;      // waiting for the frame's drawing to finish
  int64_t readBackNs = 0;  // glReadPixels, the conversion to BGR and the flip
  int64_t encodeNs = 0;    // the writer encoding frames (on the encoder thread)
  int64_t waitNs = 0;      // drawing waiting for the encoder (a free read-back buffer or room in its queue)
  int64_t windowNs = 0;    // creating and destroying the per-scene hidden windows with their framebuffers
  int64_t frames = 0;
  int64_t windows = 0;     // windows created
  RenderFamilyTimes families[static_cast<int>(RenderFamily::Count)];
};

void SetRenderProfiling(bool on);
bool IsRenderProfiling();
void ResetRenderStageTimes();
RenderStageTimes GetRenderStageTimes();

enum class RenderStage { Compose, Draw, ReadBack, Encode, Wait, Window };
// Drawing time also counts for the family of the scene in progress.
void AddRenderStageTime(RenderStage stage, int64_t ns);
void CountRenderedFrame();
void CountRenderWindow();
// A scene of this family begins; its time runs until the next call.
void BeginRenderScene(RenderFamily family);
// The scene in progress ends.
void EndRenderScene();

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
