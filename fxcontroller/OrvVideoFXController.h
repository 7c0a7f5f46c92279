// Walks a theme sequence scene by scene and renders it into the output video.
#pragma once

#include <opencv2/core.hpp>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fxcontroller/OrvVideoFXEntity.h"
#include "reelka/reelka.h"
#include "scriptmaker/OrvCancelTask.h"
#include "scriptmaker/ThemeResource.h"
#include "themes/ThemeTypes.h"
#include "videoengine/VideoEngine.h"

class OrvEffectMaker;
class OrvFXFrameHandler;
class SlotInformation;

// What the script maker hands each controller, by value.
struct FXControllerParams {
  ThemeResource* themeResource = nullptr;
  ThemeSequence* themeSequence = nullptr;
  std::vector<SummarizedVideo>* summarizedVideoList = nullptr;  // null without videos
  UserInputContext* inputContext = nullptr;
  SlotContext* slots = nullptr;  // the host's slot array
  int32_t slotCount = 0;
  std::atomic<int>* progress = nullptr;  // may be null
};

// How the last WriteThemeVideo ended.
struct FXPassStatus {
  bool completed = false;   // every scene walked with a context and an open writer
  bool cancelled = false;
  bool noContext = false;   // no OpenGL context could be made
  bool noWriter = false;    // the output video could not be opened
  int32_t scenesDrawn = 0;
  int32_t scenesCutShort = 0;  // the video ran out before the scene's end
  int32_t scenesSkipped = 0;
  int32_t scenesFailed = 0;    // drawn without a working shader program
  bool outOfMemory = false;    // a scene ran short of memory; the walk stopped there
  int writeErrno = 0;          // why the output could not be written (an errno), 0 when it could
  int64_t framesWritten = 0;   // frames handed to the encoder
  int64_t framesInFile = -1;   // frames that decode from the finished output; -1 unchecked
  std::vector<SceneOutcome> scenes;  // one per scene walked, in order
};

// Frame counts of the scene kinds: float products, truncated toward zero. A
// duration of 0 takes the given default where the scene kind has one.
namespace fxframes {
int32_t ImageHold(float fps, float durationSec);
int32_t OneImage(float fps, float durationSec, float imageHoldSec);
// Transition length and frame length of a picture-to-picture scene.
void ImageToImage(float fps, float durationSec, float transitionSec, float holdSec, int32_t* frameLength,
                  int32_t* transitionLength);
// Transition length of a picture-to-video or video-to-picture scene.
int32_t VideoTransition(float fps, float durationSec, float transitionSec, int32_t sfSize);
// Published percentage before scene i of n.
int ScenePercent(int i, int n);
}  // namespace fxframes

class OrvVideoFXController : public OrvFXCancelTask {
 public:
  explicit OrvVideoFXController(FXControllerParams params);
  ~OrvVideoFXController() override;
  OrvVideoFXController(const OrvVideoFXController&) = delete;
  OrvVideoFXController& operator=(const OrvVideoFXController&) = delete;

  void Init();
  // True when stopped by cancellation, false when the walk ended otherwise;
  // PassCompleted() tells whether the output holds the whole sequence.
  bool WriteThemeVideo(std::shared_ptr<SlotInformation> theme);
  bool PassCompleted() const { return mStatus.completed; }
  const FXPassStatus& GetPassStatus() const { return mStatus; }

  SceneOutcome BindMethodI2I(ThemeResource* tr, const ThemeScene* scene);
  SceneOutcome BindMethodI2V(ThemeResource* tr, const ThemeScene* scene, SummaryLocation* loc);
  SceneOutcome BindMethodV2I(ThemeResource* tr, const ThemeScene* scene, SummaryLocation* loc);
  SceneOutcome BindMethodV2V(ThemeResource* tr, const ThemeScene* scene, SummaryLocation* loc);

  // Resolves a global block index; {"", null} when no block can be placed.
  static SummaryLocation GetSuperFrameBlockLocation(int blockIndex, const std::vector<SummarizedVideo>* list);
  cv::Mat GetStartImage(ThemeResource* tr, const ThemeScene* scene);
  cv::Mat GetEndImage(ThemeResource* tr, const ThemeScene* scene);

  float GetFps() const { return mFps; }
  int32_t GetWidth() const { return mWidth; }
  int32_t GetHeight() const { return mHeight; }

 private:
  cv::Mat GetImageFor(ThemeResource* tr, int type, int index, const char* which);
  cv::Mat GetSlotPicture(int slotIndex, ThemeResource* tr);
  bool GetVideoPaper(ThemeResource* tr, int blockIndex, const char* method, cv::Mat* paper);
  // How one scene of the walk ended for the pass.
  enum class SceneStep { Next, Cancelled, NoContext, OutOfMemory };
  // The steps of WriteThemeVideo. PassCancelled records a cancel (draining
  // the encoder); LogVideoBlocks is false when cancelled while logging;
  // ReadyToDraw checks the output and the sequence and plans when composed
  // pictures are dropped.
  bool PassCancelled();
  bool LogVideoBlocks();
  bool ReadyToDraw();
  SceneStep WriteScenes();
  SceneStep WriteScene(int i, int n);
  // Dispatches the scene by its start and end kinds; false when cancelled.
  bool DrawScene(const ThemeScene& scene, int s, int e, SceneOutcome* outcome);
  // Drains the encoder, checks the file and logs the pass's scene counts.
  void FinishPass();
  SceneOutcome SkipScene(const char* method, const char* why);
  // Counts the outcome of scene i of n and logs it when it is not a clean draw.
  void RecordScene(int i, int n, const SceneOutcome& outcome);
  // Finishes the output and checks that every frame written decodes from it.
  bool OutputHoldsEveryFrame();
  // Slots each scene shows, to drop composed pictures after their last use.
  std::vector<int> SlotsOfScene(const ThemeScene& scene) const;
  int SlotOf(int type, int index) const;
  int PaperSlotOfBlock(int blockIndex) const;

  FXControllerParams mParams;
  OrvEffectMaker* mEffectMaker = nullptr;
  OrvFXFrameHandler* mOutputFrameHandler = nullptr;
  OrvVideoFXEntity* mEntity = nullptr;
  float mFps = 29.97f;
  std::string mAssetsDirectory;
  std::shared_ptr<SlotInformation> mTheme;

  int32_t mWidth = 0;
  int32_t mHeight = 0;
  FXPassStatus mStatus;
  // Composed slot pictures of this pass, by slot index.
  std::map<int, cv::Mat> mSlotPictureCache;
  std::map<int, size_t> mSlotLastScene;
};
