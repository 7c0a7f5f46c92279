// How one scene of a render pass ended; travels from the effect to the
// controller and the pass's closing log line.
#pragma once

#include <cstdint>
#include <string>

struct SceneOutcome {
  enum class Status {
    Drawn,      // every frame the scene asks for was written
    CutShort,   // the video ran out before the scene's end
    Skipped,    // nothing was drawn (why says what was missing)
    Cancelled,  // the cancel flag stopped it
    Failed,     // frames were written, but without a working shader program
    OutOfMemory,  // an allocation (memory, an OpenGL object) failed: the pass fails
  };

  Status status = Status::Drawn;
  std::string why;
  int32_t framesWritten = 0;
  int32_t framesPlanned = 0;

  static SceneOutcome Skip(std::string reason) {
    SceneOutcome outcome;
    outcome.status = Status::Skipped;
    outcome.why = std::move(reason);
    return outcome;
  }
  static SceneOutcome NoMemory(std::string reason) {
    SceneOutcome outcome;
    outcome.status = Status::OutOfMemory;
    outcome.why = std::move(reason);
    return outcome;
  }
  static SceneOutcome Cancel() {
    SceneOutcome outcome;
    outcome.status = Status::Cancelled;
    return outcome;
  }

  bool Drawn() const { return status == Status::Drawn; }
  bool Is(Status s) const { return status == s; }
  static const char* Name(Status s) {
    switch (s) {
      case Status::Drawn:
        return "drawn";
      case Status::CutShort:
        return "cut short";
      case Status::Skipped:
        return "skipped";
      case Status::Cancelled:
        return "cancelled";
      case Status::Failed:
        return "failed";
      case Status::OutOfMemory:
        return "out of memory";
    }
    return "?";
  }
};
