// The interface object behind the twelve exports.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "reelka/reelka.h"
#include "scriptmaker/FXEngine.h"
#include "videoengine/VideoEngine.h"

class CreateReelkaInterface {
 public:
  CreateReelkaInterface();
  ~CreateReelkaInterface();

  ThemeLimit GetThemeLimitInfo(int themeIndex);
  int GetEstimatedTimeSec(int numOfTheme, int numOfImage, int lengthOfVideoSec);
  void StartReelka(const UserInputContext* input);
  int GetProgressValue();
  ThemeSlotSequence* GetThemeContext();
  int UpdateSlot(int slotIndex, const char16_t* imagePath);
  ReplacedSlotInfo* GetReplacedSlot();
  void CreateReelka(const ThemeSlotSequence* sequence);
  void CancelEncoding();
  const char16_t* GetFirstSlotImage();
  // False with *why set as FXEngine::FXSaveErrno tells.
  bool SaveReelka(const char16_t* destPath, int* why);

  // True while a start or create pass runs.
  bool IsPassRunning() const { return mPassRunning.load(); }

  // Progress blending, exact in IEEE double.
  static int StartFormula(int fxPercent, int videoPercent);
  static int CreateFormula(int fxPercent, int videoPercent);

 private:
  FXEngine* FxEngine();     // creates the script maker on first use
  VideoEngine* VideoEng();  // creates the video engine on first use
  // Marks a pass as running; false (logged) when one already runs.
  bool BeginPass(const char* tag, const char* what);
  // True (logged) when a pass runs; the caller holds mStateMutex.
  bool RefusedDuringPass(const char* tag, const char* what);

  bool mHasVideo = false;
  ReplacedSlotInfo* mReplacedSlotInfo = nullptr;
  std::atomic<int> mPhase{0};  // 0 idle, 1 start pass, 2 create pass
  std::atomic<int> mBusy{0};   // 2 while a create pass runs
  std::atomic<int> mStartProgress{0};
  std::atomic<int> mCreateProgress{0};
  std::atomic<bool> mPassRunning{false};
  std::atomic<bool> mVideoPassLive{false};  // the video engine reports for this pass
  // Held while a pass begins and while a call reads or changes the theme or
  // the slots, so that no such call overlaps a pass.
  std::mutex mStateMutex;
};

// Process-wide singletons. gEngineMutex guards creating, destroying and
// reading them; it is never held across a pass.
extern std::mutex gEngineMutex;
extern CreateReelkaInterface* gCreateReelkaInterface;
extern FXEngine* gFXEngine;
extern VideoEngine* gVideoEngine;
