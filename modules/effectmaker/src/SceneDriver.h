// The one frame loop of every effect: which frames, which curve step, which
// video frame with which stabilising warp, the cancel checks and the
// write-out. A family only draws one frame from its inputs.
#pragma once

#include <opencv2/core.hpp>

#include "FrameWalk.h"
#include "SceneOutcome.h"
#include "videoengine/VideoEngine.h"

class OrvTransitionEffectInterface;

namespace scene {

enum class Direction { I2I, I2V, V2I };

// The drawing side of one scene.
class Drawing {
 public:
  virtual ~Drawing() = default;
  // Once before the first frame (programs, textures), in the scene's context.
  virtual void Begin() {}
  // Draws one frame into the bound framebuffer at curve step `step`
  // (framewalk::kEnd: the end state) with the current video frame, which is
  // empty when the scene reads none or none could be read yet.
  virtual void Draw(const cv::Mat& video, int step) = 0;
  // Once after the last frame, also after a cancel or an early end.
  virtual void End() {}
  // False when the scene's frames cannot be what they should (no program).
  virtual bool Working() const { return true; }
};

// Runs a scene on `effect` (its cancel flag, warp and write-out). block is
// read through the published input reader when the walk reads video. A frame
// whose step repeats without a new video frame is written again without
// being drawn, since every drawing depends only on those two.
SceneOutcome Drive(OrvTransitionEffectInterface& effect, Drawing& drawing, framewalk::Walk walk,
                   const SuperFrame* block, const char* tag);

}  // namespace scene
