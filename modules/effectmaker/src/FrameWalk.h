// Which frames a scene writes, which curve step each frame is drawn at and
// when a video frame is read: the frame schedules of every effect family as
// pure values, shared by the scene driver and the tests.
#pragma once

#include <cstdint>
#include <vector>

namespace framewalk {

// Step that stands for the end state of a transition.
constexpr int kEnd = -1;

// How a transition family walks its progress curve.
struct Rule {
  // First curve step drawn.
  int curveStart = 0;
  // Picture to picture: the step is raised before it is drawn.
  bool advanceFirst = false;
  // Picture to picture: the last step of the change is drawn as the end state.
  bool settleEarly = false;
  // Picture to video: the curve's last step is drawn before the end state.
  bool drawsLastStep = false;
  // Video to picture: a frame is drawn at the step reached by the frame before.
  bool lagsOneFrame = false;
  // Video to picture: frames are read while the change runs (else while the
  // step is below the block size).
  bool readsWhileChanging = false;
};

class Walk {
 public:
  // Picture to picture: frameLength frames, the change over transitionLength.
  static Walk Pictures(int frameLength, int transitionLength, const Rule& rule);
  // Picture to video: one frame per block frame read, at most sfSize; a
  // failed read ends the scene.
  static Walk IntoVideo(int sfSize, int transitionLength, const Rule& rule);
  // Video to picture: frameLength frames; the change starts after `lead`
  // frames read; a failed read shows the end state from then on.
  static Walk OutOfVideo(int sfSize, int frameLength, int lead, int transitionLength, const Rule& rule);
  // frames frames at steps 0, 1, 2, ...
  static Walk Steps(int frames);
  // frames frames, all at step 0.
  static Walk Still(int frames);
  // A frame read for each of frames frames, all at step 0; a failed read
  // ends the scene.
  static Walk Video(int frames);

  // Another frame is to be written.
  bool HasFrame() const;
  // A video frame is read before this frame is drawn.
  bool WantsRead() const;
  // Whether a failed read ends the scene.
  bool EndsWithVideo() const { return mKind == Kind::IntoVideo || mKind == Kind::Video; }
  bool ReadsVideo() const { return mKind == Kind::IntoVideo || mKind == Kind::OutOfVideo || mKind == Kind::Video; }
  // Outcome of this frame's read.
  void OnRead(bool gotFrame);
  // Curve step (or kEnd) this frame is drawn at.
  int Step() const;
  // This frame is done.
  void Next();

  // Frames the walk writes when nothing fails.
  int PlannedFrames() const;

 private:
  enum class Kind { Pictures, IntoVideo, OutOfVideo, Steps, Still, Video };
  Walk(Kind kind, int frames, int transitionLength, const Rule& rule);
  int CurrentStep() const;

  Kind mKind;
  int mFrames;
  int mLength;
  Rule mRule;
  int mFrame = 0;
  int mPos = 0;
  int mLead = 0;
  int mReadBound = 0;
  int mDrawnStep = 0;
  bool mStopped = false;
};

// The step of every frame written, for a reader that gives readableFrames
// frames and then fails (a negative count never fails).
std::vector<int> Replay(Walk walk, int readableFrames = -1);

}  // namespace framewalk
