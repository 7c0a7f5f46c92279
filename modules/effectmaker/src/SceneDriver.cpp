#include "SceneDriver.h"

#include <string>

#include "OrvTransitionEffectInterface.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"

namespace scene {

namespace {

// Reads and warps the video frames of one scene.
class VideoInput {
 public:
  VideoInput(OrvTransitionEffectInterface& effect, const SuperFrame* block, const char* tag)
      : mEffect(effect), mBlock(block), mReader(gInputFrameHandler), mTag(tag) {}

  // Logs what is missing and seeks to the block's start.
  void Open() {
    if (mBlock == nullptr) {
      ORV_LOG(mTag, "No video block given; nothing is read");
      mReader = nullptr;
    } else if (mBlock->sfSize <= 0) {
      ORV_LOG(mTag, "Video block has no frames (sfSize %d)", mBlock->sfSize);
    }
    if (mReader == nullptr) {
      if (gInputFrameHandler == nullptr)
        ORV_LOG(mTag, "No input frame handler; the video of this scene cannot be read");
      return;
    }
    if (!mReader->seekTo(mBlock->sfStart)) {
      ORV_LOG(mTag, "Could not seek to the block start %d us; frames are read from the current position",
              mBlock->sfStart);
    }
  }

  // Reads the next frame into frame and warps it with its own transform.
  // On failure frame keeps the last good frame.
  bool Read(cv::Mat* frame) {
    if (mReader == nullptr || mEffect.IsCanceled()) return false;
    cv::Mat next;
    mReader->readFrame(next);
    if (next.empty()) return false;
    const float* transform = OrvTransitionEffectInterface::FrameTransformOf(mBlock, mReads);
    if (transform == nullptr && !mWarned) {
      mWarned = true;
      ORV_LOG(mTag, "No transform for frame %d of the block (%d given); identity used", mReads,
              static_cast<int>(mBlock->transforms.size()));
    }
    mEffect.ApplyFrameTransform(&next, transform);
    *frame = next;
    ++mReads;
    return true;
  }

  bool HasReader() const { return mReader != nullptr; }
  int Reads() const { return mReads; }

 private:
  OrvTransitionEffectInterface& mEffect;
  const SuperFrame* mBlock;
  OrvFXFrameHandler* mReader;
  const char* mTag;
  int mReads = 0;
  bool mWarned = false;
};

}  // namespace

SceneOutcome Drive(OrvTransitionEffectInterface& effect, Drawing& drawing, framewalk::Walk walk,
                   const SuperFrame* block, const char* tag) {
  SceneOutcome outcome;
  outcome.framesPlanned = walk.PlannedFrames();
  if (effect.IsCanceled()) return SceneOutcome::Cancel();

  drawing.Begin();
  const bool working = drawing.Working();
  VideoInput input(effect, block, tag);
  if (walk.ReadsVideo()) input.Open();

  cv::Mat video;
  bool newVideo = false;
  bool ranOut = false;
  bool drawnOnce = false;
  int lastStep = 0;
  int frame = 0;
  while (walk.HasFrame()) {
    if (effect.IsCanceled()) break;
    if (walk.WantsRead()) {
      const bool got = input.Read(&video);
      newVideo = got;
      if (!got && !ranOut && !effect.IsCanceled()) {
        ranOut = true;
        if (!walk.EndsWithVideo() && input.HasReader()) {
          ORV_LOG(tag, "Video gave no frame at output frame %d of %d; the end state is shown", frame,
                  outcome.framesPlanned);
        }
      }
      walk.OnRead(got);
      if (!walk.HasFrame()) break;
    } else {
      newVideo = false;
    }
    const int step = walk.Step();
    bool written;
    if (drawnOnce && step == lastStep && !newVideo) {
      written = effect.WriteSameFrame();
    } else {
      drawing.Draw(video, step);
      written = effect.WriteFrame();
      drawnOnce = true;
      lastStep = step;
    }
    if (written) ++outcome.framesWritten;
    walk.Next();
    ++frame;
  }
  drawing.End();

  if (effect.IsCanceled()) {
    outcome.status = SceneOutcome::Status::Cancelled;
  } else if (walk.EndsWithVideo() && outcome.framesPlanned <= 0) {
    outcome.status = SceneOutcome::Status::Skipped;
    outcome.why = "the video block has no frames";
  } else if (ranOut && walk.EndsWithVideo() && outcome.framesWritten == 0) {
    outcome.status = SceneOutcome::Status::Skipped;
    outcome.why = input.HasReader() ? "the video gave no frame" : "no video could be read";
  } else if (ranOut) {
    outcome.status = SceneOutcome::Status::CutShort;
    if (walk.EndsWithVideo()) {
      outcome.why = "the video gave " + std::to_string(input.Reads()) + " of the block's " +
                    std::to_string(outcome.framesPlanned) + " frames";
      if (input.HasReader()) {
        ORV_LOG(tag, "Video gave %d of the block's %d frames; the scene is shorter", input.Reads(),
                outcome.framesPlanned);
      }
    } else {
      outcome.why = "the video ran out after " + std::to_string(input.Reads()) + " frames";
    }
    if (!input.HasReader()) outcome.why = "no video could be read";
  } else if (!working) {
    outcome.status = SceneOutcome::Status::Failed;
    outcome.why = "no shader program";
  }
  return outcome;
}

}  // namespace scene
