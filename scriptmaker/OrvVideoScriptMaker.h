// The rendering-side engine: theme, slot contexts and the render pass.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "fxcontroller/OrvVideoFXController.h"
#include "reelka/reelka.h"
#include "scriptmaker/FXEngine.h"
#include "scriptmaker/OrvCancelTask.h"
#include "scriptmaker/ThemeResource.h"
#include "themes/SlotInformation.h"

// A bounded copy of a host's input record into out: counts clamped to the
// record's arrays, the counted paths and both folders copied and
// terminated, everything else zero.
void CopyUserInput(const UserInputContext& input, UserInputContext* out);

class OrvVideoScriptMaker : public FXEngine, public OrvFXCancelTask {
 public:
  OrvVideoScriptMaker();
  ~OrvVideoScriptMaker() override;
  OrvVideoScriptMaker(const OrvVideoScriptMaker&) = delete;
  OrvVideoScriptMaker& operator=(const OrvVideoScriptMaker&) = delete;

  ThemeLimit GetThemeLimitInfo(int themeIndex) override;
  ThemeLimit QueryThemeLimitInfo(int themeIndex) override;
  int GetEstimatedTimeSec(int numOfTheme, int numOfImage, int lengthOfVideoSec) override;
  SummaryPlan FXGetSummaryPlan() override;
  void FXStartReelka(int reserved, const UserInputContext* input, std::vector<SummarizedVideo>* list) override;
  ThemeSlotSequence* FXGetThemeContext() override;
  ThemeSlotSequence* FXThemeContextBuffer() override { return mThemeSlotSequence.get(); }
  int FXUpdateSlot(int slotIndex, const char16_t* imagePath) override;
  int FXGetReplacedSlot(char16_t** wsPath, char16_t** sepPath) override;
  int Start(const SlotContext* slots, int slotCount, std::vector<SummarizedVideo>* list) override;
  int Stop() override;
  const char16_t* FXGetFirstSlotImage() override;
  bool FXSaveReelka(const char16_t* destPath) override;
  int FXSaveErrno() const override { return mSaveErrno; }
  void SetProgressTarget(std::atomic<int>* target) override { mProgressTarget = target; }
  void ResetCancel() override { OrvFXCancelTask::ResetCancel(); }
  void Cancel() override { SetCancel(true); }

  // Render-pass steps.
  void Init(const SlotContext* slots, std::vector<SummarizedVideo>* list);
  void AddThemeSequence();
  void AddThemeResource(const SlotContext* slots, int slotCount, std::vector<SummarizedVideo>* list);
  void AddSummarizedVideoList(std::vector<SummarizedVideo>* list);
  void DoApplingEffects();
  void DeInit();

  const ThemeResource& GetThemeResource() const { return mThemeResource; }
  const std::vector<SlotContext>& GetSlotContexts() const { return mSlotContexts; }
  bool LastPassCompleted() const { return mLastPassCompleted; }
  const FXPassStatus& LastPassStatus() const { return mLastPassStatus; }

  // Empty when every working file fits behind tempDir (in the host's
  // fixed path fields and as a file name); else why it does not.
  static std::string WorkFolderProblem(const std::u16string& tempDir, size_t longestName);

 private:
  bool IsCanceled() override { return OrvFXCancelTask::IsCanceled(); }
  // Forgets the last pass and removes its clip and still.
  void ForgetLastPass();
  // False when a cancel came during Init: nothing was drawn.
  bool RunInitAndEffects(const SlotContext* slots, std::vector<SummarizedVideo>* list);
  // Drops the scene list, resource lists and video list Init copied.
  void ReleasePassCopies();
  void RemoveFramelessOutput();

  std::unique_ptr<UserInputContext> mInput;
  const SlotContext* mSlots = nullptr;
  int mSlotCount = 0;
  bool mReleased = false;
  std::atomic<bool> mRunning{false};
  ThemeResource mThemeResource;
  ThemeSequence mThemeSequence;
  std::vector<SummarizedVideo> mSummarizedVideoList;
  OrvVideoFXController* mController = nullptr;
  std::shared_ptr<SlotInformation> mSlotInformationPtr;
  int mThemeIndex = -1;
  std::vector<SlotContext> mSlotContexts;
  std::unique_ptr<ThemeSlotSequence> mThemeSlotSequence;
  std::atomic<int>* mProgressTarget = nullptr;
  bool mLastPassCompleted = false;
  FXPassStatus mLastPassStatus;
  int mSaveErrno = 0;
};
