#include "FrameWalk.h"

#include <algorithm>

namespace framewalk {

Walk::Walk(Kind kind, int frames, int transitionLength, const Rule& rule)
    : mKind(kind), mFrames(std::max(frames, 0)), mLength(transitionLength), mRule(rule), mPos(rule.curveStart) {}

Walk Walk::Pictures(int frameLength, int transitionLength, const Rule& rule) {
  return Walk(Kind::Pictures, frameLength, transitionLength, rule);
}

Walk Walk::IntoVideo(int sfSize, int transitionLength, const Rule& rule) {
  return Walk(Kind::IntoVideo, sfSize, transitionLength, rule);
}

Walk Walk::OutOfVideo(int sfSize, int frameLength, int lead, int transitionLength, const Rule& rule) {
  Walk walk(Kind::OutOfVideo, frameLength, transitionLength, rule);
  walk.mLead = lead;
  walk.mReadBound = rule.readsWhileChanging ? transitionLength : sfSize;
  walk.mDrawnStep = walk.mPos;
  return walk;
}

Walk Walk::Steps(int frames) { return Walk(Kind::Steps, frames, 0, Rule()); }
Walk Walk::Still(int frames) { return Walk(Kind::Still, frames, 0, Rule()); }
Walk Walk::Video(int frames) { return Walk(Kind::Video, frames, 0, Rule()); }

bool Walk::HasFrame() const { return !mStopped && mFrame < mFrames; }

bool Walk::WantsRead() const {
  switch (mKind) {
    case Kind::IntoVideo:
    case Kind::Video:
      return true;
    case Kind::OutOfVideo:
      return mPos < mReadBound;
    default:
      return false;
  }
}

void Walk::OnRead(bool gotFrame) {
  if (mKind == Kind::OutOfVideo) {
    if (!gotFrame) {
      mPos = mLength + 1;
    } else if (mLead > 0) {
      --mLead;
    } else {
      ++mPos;
    }
    return;
  }
  if (!gotFrame && EndsWithVideo()) mStopped = true;
}

int Walk::CurrentStep() const {
  const int start = mRule.curveStart;
  switch (mKind) {
    case Kind::Pictures: {
      const int last = mLength - (mRule.settleEarly ? 1 : 0);
      return start + mFrame >= last ? kEnd : start + mFrame + (mRule.advanceFirst ? 1 : 0);
    }
    case Kind::IntoVideo: {
      const int bound = mLength + (mRule.drawsLastStep ? 1 : 0);
      return start + mFrame < bound ? start + mFrame : kEnd;
    }
    case Kind::OutOfVideo:
      return mPos < mLength ? mPos : kEnd;
    case Kind::Steps:
      return mFrame;
    default:
      return 0;
  }
}

int Walk::Step() const {
  if (mKind == Kind::OutOfVideo && mRule.lagsOneFrame) return mDrawnStep;
  return CurrentStep();
}

void Walk::Next() {
  if (mKind == Kind::OutOfVideo) mDrawnStep = CurrentStep();
  ++mFrame;
}

int Walk::PlannedFrames() const { return mFrames; }

std::vector<int> Replay(Walk walk, int readableFrames) {
  std::vector<int> steps;
  int reads = 0;
  while (walk.HasFrame()) {
    if (walk.WantsRead()) {
      const bool got = readableFrames < 0 || reads < readableFrames;
      if (got) ++reads;
      walk.OnRead(got);
      if (!walk.HasFrame()) break;
    }
    steps.push_back(walk.Step());
    walk.Next();
  }
  return steps;
}

}  // namespace framewalk
