// The rendering-side engine as the facade sees it.
#pragma once

#include <atomic>
#include <vector>

#include "reelka/reelka.h"
#include "themes/ThemeTypes.h"
#include "videoengine/VideoEngine.h"

class FXEngine {
 public:
  virtual ~FXEngine() = default;
  virtual ThemeLimit GetThemeLimitInfo(int themeIndex) = 0;
  // The limits of a theme; the chosen theme and its slots stay as they are.
  virtual ThemeLimit QueryThemeLimitInfo(int themeIndex) = 0;
  virtual int GetEstimatedTimeSec(int numOfTheme, int numOfImage, int lengthOfVideoSec) = 0;
  virtual SummaryPlan FXGetSummaryPlan() = 0;
  virtual void FXStartReelka(int reserved, const UserInputContext* input, std::vector<SummarizedVideo>* list) = 0;
  virtual ThemeSlotSequence* FXGetThemeContext() = 0;
  // The theme-context buffer as it stands, not refreshed from the slots.
  virtual ThemeSlotSequence* FXThemeContextBuffer() = 0;
  // 0 when the slot was replaced, -1 otherwise.
  virtual int FXUpdateSlot(int slotIndex, const char16_t* imagePath) = 0;
  virtual int FXGetReplacedSlot(char16_t** wsPath, char16_t** sepPath) = 0;
  virtual int Start(const SlotContext* slots, int slotCount, std::vector<SummarizedVideo>* list) = 0;
  virtual int Stop() = 0;
  virtual const char16_t* FXGetFirstSlotImage() = 0;
  // True when the clip of a completed create pass was copied to destPath.
  virtual bool FXSaveReelka(const char16_t* destPath) = 0;
  // Why the last FXSaveReelka returned false: ENOMEM when its pass ran short
  // of memory, the errno of a failed write of the clip or of its copy; 0
  // for other reasons.
  virtual int FXSaveErrno() const = 0;
  virtual void SetProgressTarget(std::atomic<int>* target) = 0;
  virtual void ResetCancel() = 0;
  virtual void Cancel() = 0;
};
