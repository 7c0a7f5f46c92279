#include "fxcontroller/OrvVideoFXController.h"

#include <cmath>
#include <exception>
#include <utility>

#include "AsyncFrameWriter.h"
#include "EffectTable.h"
#include "GLErrorCheck.h"
#include "OrvEffectMaker.h"
#include "RenderStats.h"
#include "api/Log.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"
#include "themes/OrvColorUtils.h"
#include "themes/SlotInformation.h"

namespace {

constexpr int kNoVideoSize = 99999;
constexpr float kDefaultFps = 29.97f;
constexpr int kWhiteWidth = 1920;
constexpr int kWhiteHeight = 1080;

float OrDefault(float value, float fallback) { return value == 0.0f ? fallback : value; }

// The frames a finished clip holds, counted as packets without decoding
// them (one packet per frame for 'mp4v'); 0 when it does not open.
int64_t CountFramesInFile(const std::string& path) {
  cv::VideoCapture capture;
  if (path.empty() || !capture.open(path, cv::CAP_FFMPEG)) return 0;
  capture.set(cv::CAP_PROP_FORMAT, -1);
  int64_t frames = 0;
  while (capture.grab()) ++frames;
  return frames;
}

}  // namespace

namespace fxframes {

int32_t ImageHold(float fps, float durationSec) { return static_cast<int32_t>(fps * durationSec); }

int32_t OneImage(float fps, float durationSec, float imageHoldSec) {
  return static_cast<int32_t>(fps * OrDefault(durationSec, imageHoldSec));
}

void ImageToImage(float fps, float durationSec, float transitionSec, float holdSec, int32_t* frameLength,
                  int32_t* transitionLength) {
  const int32_t tl = static_cast<int32_t>(fps * OrDefault(durationSec, transitionSec));
  if (transitionLength) *transitionLength = tl;
  if (frameLength) *frameLength = static_cast<int32_t>(fps * holdSec + static_cast<float>(tl));
}

int32_t VideoTransition(float fps, float durationSec, float transitionSec, int32_t sfSize) {
  const float p = fps * OrDefault(durationSec, transitionSec);
  return p > static_cast<float>(sfSize) ? sfSize : static_cast<int32_t>(p);
}

int ScenePercent(int i, int n) {
  if (n <= 0) return 0;
  return static_cast<int>((static_cast<double>(i + 1) / static_cast<double>(n)) * 100.0);
}

}  // namespace fxframes

OrvVideoFXController::OrvVideoFXController(FXControllerParams params) : mParams(params) { Init(); }

void OrvVideoFXController::Init() {
  static const char* const kTag = "OrvVideoFXController::Init";
  ORV_LOG(kTag, "Start FXController Init");
  std::vector<std::string> videoNames;
  std::string outputPath;
  std::string resourceDir;
  if (mParams.themeResource) {
    videoNames = mParams.themeResource->mMetaData.GetVideoNameList();
    outputPath = mParams.themeResource->mMetaData.GetOutputFilePath();
    resourceDir = mParams.themeResource->mMetaData.GetResourceDirectory();
  }
  cv::Size size = OrvVideoHandlerFactory::GetAppropriateWindowSize(videoNames);
  int w = size.width;
  int h = size.height;
  ORV_LOG(kTag, "    Window size : %d, %d", w, h);
  mOutputFrameHandler = OrvVideoHandlerFactory::GetOutputFrameHandler(outputPath);
  if (w == kNoVideoSize || h == kNoVideoSize) {
    w = mOutputFrameHandler ? mOutputFrameHandler->getWidth() : kWhiteWidth;
    h = mOutputFrameHandler ? mOutputFrameHandler->getHeight() : kWhiteHeight;
    ORV_LOG(kTag, "    (Reset as Encoder resolution) Window size : %d, %d", w, h);
  }
  mWidth = w;
  mHeight = h;
  mEffectMaker = new OrvEffectMaker(w, h, mOutputFrameHandler, resourceDir);
  // Encoding may run on into the next scene; the pass drains at its end.
  mEffectMaker->SetWaitForWrites(false);
  mAssetsDirectory = resourceDir + gPathSeparator;
  ORV_LOG(kTag, " >> Assets directoryPath : %s", mAssetsDirectory.c_str());
  mEntity = new OrvVideoFXEntity(mEffectMaker);
  mFps = kDefaultFps;
  if (mOutputFrameHandler) {
    const float fps = static_cast<float>(mOutputFrameHandler->getFps());
    if (std::isfinite(fps) && fps > 0.0f) {
      mFps = fps;
    } else {
      ORV_LOG(kTag, "## Output frame rate %f is unusable; %.2f is used", static_cast<double>(fps),
              static_cast<double>(kDefaultFps));
    }
  }
  ORV_LOG(kTag, "End FXController Init");
}

OrvVideoFXController::~OrvVideoFXController() {
  ORV_LOG("OrvVideoFXController::~OrvVideoFXController",
          "OrvVideoFXController::~OrvVideoFXController() - Destructor called");
  delete mEntity;
  mEntity = nullptr;
  if (mEffectMaker) mEffectMaker->DeInitOpenGL();
  delete mEffectMaker;
  mEffectMaker = nullptr;
  // The reader the effects used goes with the factory's handlers.
  gInputFrameHandler = nullptr;
  OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
  mOutputFrameHandler = nullptr;
  mSlotPictureCache.clear();
  mTheme.reset();
  mParams.progress = nullptr;
}

bool OrvVideoFXController::OutputHoldsEveryFrame() {
  static const char* const kTag = "OrvVideoFXController::OutputHoldsEveryFrame";
  if (mStatus.framesWritten <= 0) {
    ORV_LOG(kTag, "## No frame was written; the render pass has not completed.");
    return false;
  }
  // A full disk or a file-size limit cuts the file short without an error
  // reaching the writer: count what decodes once the file is finished.
  const std::string path = mParams.themeResource ? mParams.themeResource->mMetaData.GetOutputFilePath() : "";
  mOutputFrameHandler->deInit();
  mStatus.writeErrno = mOutputFrameHandler->getWriteErrno();
  if (mStatus.writeErrno != 0) {
    ORV_LOG(kTag, "## The output could not be finished (%s); the render pass has not completed.",
            mOutputFrameHandler->getWriteErrorText().c_str());
    return false;
  }
  mStatus.framesInFile = CountFramesInFile(path);
  if (mStatus.framesInFile != mStatus.framesWritten) {
    ORV_LOG(kTag, "## The output holds %lld of the %lld frames written (disk full?); the render pass has not completed.",
            static_cast<long long>(mStatus.framesInFile), static_cast<long long>(mStatus.framesWritten));
    return false;
  }
  return true;
}

SceneOutcome OrvVideoFXController::SkipScene(const char* method, const char* why) {
  ORV_LOG(method, "## Scene skipped: %s", why);
  return SceneOutcome::Skip(why);
}

void OrvVideoFXController::RecordScene(int i, int n, const SceneOutcome& outcome) {
  static const char* const kTag = "OrvVideoFXController::WriteThemeVideo";
  mStatus.scenes.push_back(outcome);
  switch (outcome.status) {
    case SceneOutcome::Status::Drawn:
      ++mStatus.scenesDrawn;
      return;
    case SceneOutcome::Status::CutShort:
      ++mStatus.scenesCutShort;
      break;
    case SceneOutcome::Status::Skipped:
      ++mStatus.scenesSkipped;
      break;
    case SceneOutcome::Status::Failed:
      ++mStatus.scenesFailed;
      break;
    case SceneOutcome::Status::OutOfMemory:
      mStatus.outOfMemory = true;
      break;
    case SceneOutcome::Status::Cancelled:
      return;
  }
  ORV_LOG(kTag, "## Scene %d of %d %s: %s (%d of %d frames written)", i + 1, n, SceneOutcome::Name(outcome.status),
          outcome.why.c_str(), outcome.framesWritten, outcome.framesPlanned);
}

int OrvVideoFXController::SlotOf(int type, int index) const {
  const ThemeResource* tr = mParams.themeResource;
  if (!tr || index < 0) return -1;
  if (type == kSceneImage && static_cast<size_t>(index) < tr->ImageList.size())
    return tr->ImageList[static_cast<size_t>(index)].slotIndex;
  if (type == kScenePaper && static_cast<size_t>(index) < tr->PaperList.size())
    return tr->PaperList[static_cast<size_t>(index)].slotIndex;
  return -1;
}

int OrvVideoFXController::PaperSlotOfBlock(int blockIndex) const {
  const ThemeResource* tr = mParams.themeResource;
  if (!tr || blockIndex < 0 || static_cast<size_t>(blockIndex) >= tr->mVideoList.size()) return -1;
  return SlotOf(kScenePaper, tr->mVideoList[static_cast<size_t>(blockIndex)].paperIndex);
}

std::vector<int> OrvVideoFXController::SlotsOfScene(const ThemeScene& scene) const {
  std::vector<int> slots;
  const int ends[2][2] = {{scene.startType, scene.startIndex}, {scene.endType, scene.endIndex}};
  for (const auto& end : ends) {
    const int slot = end[0] == kSceneVideo ? PaperSlotOfBlock(end[1]) : SlotOf(end[0], end[1]);
    if (slot >= 0) slots.push_back(slot);
  }
  return slots;
}

bool OrvVideoFXController::PassCancelled() {
  if (!IsCanceled()) return false;
  mStatus.cancelled = true;
  DrainFrameWrites();
  if (mOutputFrameHandler) {
    mStatus.framesWritten = mOutputFrameHandler->getWrittenFrameCount();
    // A write that failed stopped the pass as a cancel does.
    mStatus.writeErrno = mOutputFrameHandler->getWriteErrno();
  }
  return true;
}

bool OrvVideoFXController::WriteThemeVideo(std::shared_ptr<SlotInformation> theme) {
  mTheme = std::move(theme);
  mStatus = FXPassStatus();
  if (PassCancelled() || !LogVideoBlocks() || PassCancelled()) return true;
  if (!ReadyToDraw()) return false;

  // One window, context and framebuffer for the pass, whatever way it ends.
  mEffectMaker->BeginPass();
  const SceneStep end = WriteScenes();
  mEffectMaker->EndPass();
  mSlotPictureCache.clear();
  if (end == SceneStep::Cancelled) return true;
  if (end == SceneStep::NoContext) return false;
  FinishPass();
  return IsCanceled();
}

bool OrvVideoFXController::LogVideoBlocks() {
  static const char* const kTag = "OrvVideoFXController::WriteThemeVideo";
  const std::vector<SummarizedVideo>* list = mParams.summarizedVideoList;
  if (!list) return true;
  for (const SummarizedVideo& video : *list) {
    if (PassCancelled()) return false;
    ORV_LOG(kTag, "FrameSize : %d, FileName : %s", static_cast<int>(video.blocks.size()), video.fileName.c_str());
    for (size_t b = 0; b < video.blocks.size(); ++b) {
      if (PassCancelled()) return false;
      const SuperFrame& block = video.blocks[b];
      ORV_LOG(kTag, "    [%d], sfStart : %d, sfEnd : %d, sfSize : %d", static_cast<int>(b), block.sfStart,
              block.sfEnd, block.sfSize);
    }
  }
  return true;
}

bool OrvVideoFXController::ReadyToDraw() {
  static const char* const kTag = "OrvVideoFXController::WriteThemeVideo";
  if (!mOutputFrameHandler || !mOutputFrameHandler->isOutputOpen()) {
    ORV_LOG(kTag, "## The output video (%d x %d) is not open; the render pass ends without drawing.", mWidth,
            mHeight);
    mStatus.noWriter = true;
    if (mOutputFrameHandler) mStatus.writeErrno = mOutputFrameHandler->getWriteErrno();
    return false;
  }
  if (!mParams.themeSequence || !mParams.themeResource) {
    ORV_LOG(kTag, "## No theme sequence or theme resource; the render pass ends without drawing.");
    return false;
  }
  // Composed slot pictures are kept until the last scene that shows them.
  const ThemeSequence& sequence = *mParams.themeSequence;
  mSlotPictureCache.clear();
  mSlotLastScene.clear();
  for (size_t i = 0; i < sequence.size(); ++i)
    for (int slot : SlotsOfScene(sequence[i])) mSlotLastScene[slot] = i;
  return true;
}

OrvVideoFXController::SceneStep OrvVideoFXController::WriteScenes() {
  const int n = static_cast<int>(mParams.themeSequence->size());
  for (int i = 0; i < n; ++i) {
    const SceneStep step = WriteScene(i, n);
    if (step != SceneStep::Next) return step;
    for (auto it = mSlotPictureCache.begin(); it != mSlotPictureCache.end();) {
      auto last = mSlotLastScene.find(it->first);
      if (last == mSlotLastScene.end() || last->second <= static_cast<size_t>(i)) {
        it = mSlotPictureCache.erase(it);
      } else {
        ++it;
      }
    }
  }
  return SceneStep::Next;
}

OrvVideoFXController::SceneStep OrvVideoFXController::WriteScene(int i, int n) {
  static const char* const kTag = "OrvVideoFXController::WriteThemeVideo";
  if (PassCancelled()) return SceneStep::Cancelled;
  if (mParams.progress) mParams.progress->store(fxframes::ScenePercent(i, n), std::memory_order_relaxed);
  const ThemeScene& scene = (*mParams.themeSequence)[static_cast<size_t>(i)];
  ORV_LOG(kTag,
          ">> Generated Number : %d, scene type : %d, startType : %d, endType : %d, startIndex : %d, endIndex : %d\n",
          i, scene.effectCode, scene.startType, scene.endType, scene.startIndex, scene.endIndex);

  if (!mEffectMaker->InitOpenGL()) {
    ORV_LOG(kTag, "## Couldn't create the OpenGL context (no display?); the render pass ends.");
    mEffectMaker->DeInitOpenGL();
    mStatus.noContext = true;
    DrainFrameWrites();
    mStatus.framesWritten = mOutputFrameHandler->getWrittenFrameCount();
    return SceneStep::NoContext;
  }
  const int s = scene.startType == kScenePaper ? kSceneImage : scene.startType;
  const int e = scene.endType == kScenePaper ? kSceneImage : scene.endType;
  BeginRenderScene(RenderFamilyOf(scene.effectCode, s == kSceneVideo && e == kSceneVideo));
  SceneOutcome outcome;
  const uint64_t glOutOfMemory = GetGLOutOfMemoryCount();
  try {
    if (!DrawScene(scene, s, e, &outcome)) return SceneStep::Cancelled;
  } catch (const std::exception& error) {
    if (!OrvColorUtils::IsOutOfMemory(error)) throw;
    outcome = SceneOutcome::NoMemory(OrvColorUtils::ErrorText(error));
  }
  if (GetGLOutOfMemoryCount() != glOutOfMemory) outcome = SceneOutcome::NoMemory("GL_OUT_OF_MEMORY");
  RecordScene(i, n, outcome);
  EndRenderScene();
  mEffectMaker->DeInitOpenGL();
  // What is left of the pass would only run short again.
  return outcome.Is(SceneOutcome::Status::OutOfMemory) ? SceneStep::OutOfMemory : SceneStep::Next;
}

bool OrvVideoFXController::DrawScene(const ThemeScene& scene, int s, int e, SceneOutcome* outcome) {
  static const char* const kTag = "OrvVideoFXController::WriteThemeVideo";
  ThemeResource* tr = mParams.themeResource;
  const std::vector<SummarizedVideo>* list = mParams.summarizedVideoList;
  if (s == kSceneImage && e == kSceneImage) {
    if (PassCancelled()) return false;
    ORV_LOG(kTag, "OrvVideoFXController::WriteThemeVideo() - BindMethodI2I Called - SceneType:IMAGE/IMAGE ");
    *outcome = BindMethodI2I(tr, &scene);
  } else if (s == kSceneImage && e == kSceneVideo) {
    if (PassCancelled()) return false;
    ORV_LOG(kTag, "OrvVideoFXController::WriteThemeVideo() - BindMethodI2V Called - SceneType:IMAGE/VIDEO ");
    SummaryLocation loc = GetSuperFrameBlockLocation(scene.endIndex, list);
    ORV_LOG(kTag, "Location Path : %s", loc.videoName.c_str());
    *outcome = BindMethodI2V(tr, &scene, &loc);
  } else if (s == kSceneVideo && e == kSceneImage) {
    if (PassCancelled()) return false;
    ORV_LOG(kTag, "OrvVideoFXController::WriteThemeVideo() - BindMethodV2I Called - SceneType:VIDEO/IMAGE ");
    SummaryLocation loc = GetSuperFrameBlockLocation(scene.startIndex, list);
    ORV_LOG(kTag, "Location Path : %s", loc.videoName.c_str());
    *outcome = BindMethodV2I(tr, &scene, &loc);
  } else if (s == kSceneVideo && e == kSceneVideo) {
    if (PassCancelled()) return false;
    ORV_LOG(kTag, "OrvVideoFXController::WriteThemeVideo() - BindMethodV2V ()- SceneType:VIDEO/VIDEO ");
    SummaryLocation loc = GetSuperFrameBlockLocation(scene.startIndex, list);
    *outcome = BindMethodV2V(tr, &scene, &loc);
  } else {
    *outcome = SkipScene(kTag, "start and end types have no effect");
  }
  return true;
}

void OrvVideoFXController::FinishPass() {
  static const char* const kTag = "OrvVideoFXController::WriteThemeVideo";
  DrainFrameWrites();
  mStatus.framesWritten = mOutputFrameHandler->getWrittenFrameCount();
  // Drawing may finish before the encoder meets a cancel.
  mStatus.cancelled = IsCanceled();
  mStatus.completed = !mStatus.cancelled && !mStatus.outOfMemory && OutputHoldsEveryFrame();
  if (mStatus.outOfMemory) ORV_LOG(kTag, "## A scene ran short of memory; the render pass has not completed.");
  const int n = static_cast<int>(mParams.themeSequence->size());
  if (mStatus.scenesSkipped > 0) ORV_LOG(kTag, "## %d of %d scenes were skipped", mStatus.scenesSkipped, n);
  ORV_LOG(kTag, "Scenes: %d drawn, %d cut short, %d skipped, %d failed; %lld frames written", mStatus.scenesDrawn,
          mStatus.scenesCutShort, mStatus.scenesSkipped, mStatus.scenesFailed,
          static_cast<long long>(mStatus.framesWritten));
}

SceneOutcome OrvVideoFXController::BindMethodI2I(ThemeResource* tr, const ThemeScene* scene) {
  static const char* const kTag = "OrvVideoFXController::BindMethodI2I";
  const int32_t code = scene->effectCode;
  if (code < 0) {
    ORV_LOG(kTag, "OrvVideoFXController::BindMethodI2I() - code= %d , g_isSummarizerCancel= %d", code,
            IsCanceled() ? 1 : 0);
    return SceneOutcome::Skip("negative effect code");
  }
  const OrvThemeMetaData& meta = tr->mMetaData;
  if (code == kImageHoldCode) {
    cv::Mat start = GetStartImage(tr, scene);
    if (start.empty()) return SkipScene(kTag, "no start picture");
    return mEntity->BindImage(&start, fxframes::ImageHold(mFps, scene->durationSec));
  }
  if (code == kThreePanelCode) {
    cv::Mat start = GetStartImage(tr, scene);
    if (start.empty()) return SkipScene(kTag, "no start picture");
    const int32_t frames = fxframes::OneImage(mFps, scene->durationSec, meta.mImageHoldSec);
    return mEntity->BindOneImage(&start, frames);
  }
  cv::Mat from = GetStartImage(tr, scene);
  cv::Mat to = GetEndImage(tr, scene);
  if (from.empty() || to.empty()) return SkipScene(kTag, "no start or end picture");
  const float hold = scene->endType == kSceneImage ? meta.mImageHoldSec : meta.mPaperHoldSec;
  int32_t frameLength = 0;
  int32_t tl = 0;
  fxframes::ImageToImage(mFps, scene->durationSec, meta.mTransitionSec, hold, &frameLength, &tl);
  const float option = scene->effectOption;
  return mEntity->BindTransitionI2I(code, &from, &to, frameLength, tl, &option);
}

bool OrvVideoFXController::GetVideoPaper(ThemeResource* tr, int blockIndex, const char* method, cv::Mat* paper) {
  if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= tr->mVideoList.size()) {
    ORV_LOG(method, "## Block %d has no video slot (%d entries)", blockIndex, static_cast<int>(tr->mVideoList.size()));
    return false;
  }
  const SeparatorEntry& entry = tr->mVideoList[static_cast<size_t>(blockIndex)];
  if (entry.paperIndex < 0 || static_cast<size_t>(entry.paperIndex) >= tr->PaperList.size()) {
    ORV_LOG(method, "## Paper index %d is outside the paper list (%d entries)", entry.paperIndex,
            static_cast<int>(tr->PaperList.size()));
    return false;
  }
  const int slot = tr->PaperList[static_cast<size_t>(entry.paperIndex)].slotIndex;
  ORV_LOG(method, "%s, slotIndex : %d, paper Index : %d ", method + std::string(method).rfind(':') + 1, slot,
          entry.paperIndex);
  // A slot without a picture is no paper: the video shows uncovered.
  *paper = GetSlotPicture(slot, tr);
  return true;
}

SceneOutcome OrvVideoFXController::BindMethodI2V(ThemeResource* tr, const ThemeScene* scene, SummaryLocation* loc) {
  static const char* const kTag = "OrvVideoFXController::BindMethodI2V";
  const int32_t code = scene->effectCode;
  ORV_LOG(kTag, "OrvVideoFXController::BindMethodI2V() - code= %d", code);
  if (code < 0) {
    ORV_LOG(kTag, "OrvVideoFXController::BindMethodI2V() - code= %d , g_isSummarizerCancel= %d", code,
            IsCanceled() ? 1 : 0);
    return SceneOutcome::Skip("negative effect code");
  }
  if (!loc || !loc->block) return SkipScene(kTag, "no video block");
  cv::Mat start = GetStartImage(tr, scene);
  if (start.empty()) return SkipScene(kTag, "no start picture");
  cv::Mat paper;
  if (!GetVideoPaper(tr, scene->endIndex, kTag, &paper)) return SkipScene(kTag, "no paper entry for the block");
  const int32_t tl = fxframes::VideoTransition(mFps, scene->durationSec, tr->mMetaData.mTransitionSec,
                                               loc->block->sfSize);
  const float option = scene->effectOption;
  return mEntity->BindTransitionI2V(code, loc, &paper, &start, tl, &option);
}

SceneOutcome OrvVideoFXController::BindMethodV2I(ThemeResource* tr, const ThemeScene* scene, SummaryLocation* loc) {
  static const char* const kTag = "OrvVideoFXController::BindMethodV2I";
  const int32_t code = scene->effectCode;
  if (code < 0) {
    ORV_LOG(kTag, "OrvVideoFXController::BindMethodV2I() - code= %d , g_isSummarizerCancel= %d", code,
            IsCanceled() ? 1 : 0);
    return SceneOutcome::Skip("negative effect code");
  }
  if (!loc || !loc->block) return SkipScene(kTag, "no video block");
  cv::Mat paper;
  if (!GetVideoPaper(tr, scene->startIndex, kTag, &paper)) return SkipScene(kTag, "no paper entry for the block");
  cv::Mat end = GetEndImage(tr, scene);
  if (end.empty()) return SkipScene(kTag, "no end picture");
  const float option = scene->effectOption;
  const int32_t sfSize = loc->block->sfSize;
  const int32_t tl = fxframes::VideoTransition(mFps, scene->durationSec, tr->mMetaData.mTransitionSec, sfSize);
  return mEntity->BindTransitionV2I(code, loc, sfSize - tl, &paper, sfSize, tl, &option, end);
}

SceneOutcome OrvVideoFXController::BindMethodV2V(ThemeResource* tr, const ThemeScene* scene, SummaryLocation* loc) {
  static const char* const kTag = "OrvVideoFXController::BindMethodV2V";
  const int32_t code = scene->effectCode;
  ORV_LOG(kTag, "BindMethodV2V, code %d", code);
  if (code < 0) {
    ORV_LOG(kTag, "OrvVideoFXController::BindMethodV2V() - code= %d , g_isSummarizerCancel= %d", code,
            IsCanceled() ? 1 : 0);
    return SceneOutcome::Skip("negative effect code");
  }
  ORV_LOG(kTag, "mVideoList Size %d", static_cast<int>(tr->mVideoList.size()));
  if (!loc || !loc->block) return SkipScene(kTag, "no video block");
  cv::Mat paper;
  if (!GetVideoPaper(tr, scene->startIndex, kTag, &paper)) return SkipScene(kTag, "no paper entry for the block");
  return mEntity->BindTransitionV2V(code, loc, loc->block->sfSize, paper);
}

SummaryLocation OrvVideoFXController::GetSuperFrameBlockLocation(int blockIndex,
                                                                 const std::vector<SummarizedVideo>* list) {
  static const char* const kTag = "OrvVideoFXController::GetSuperFrameBlockLocation";
  const BlockPosition p = OrvColorUtils::FindBlockPosition(list, blockIndex);
  if (p.video < 0) {
    if (!list || blockIndex < 0) {
      ORV_LOG(kTag, "## Block %d cannot be placed (%s)", blockIndex, list ? "negative index" : "no video list");
    } else {
      ORV_LOG(kTag, "## Block %d cannot be placed: the videos have no blocks", blockIndex);
    }
    return SummaryLocation();
  }
  const SummarizedVideo& video = (*list)[p.video];
  ORV_LOG(kTag, "GetSuperFrame, video : %d[%s], index : %d", p.video, video.fileName.c_str(), p.position);
  SummaryLocation loc;
  loc.videoName = video.fileName;
  loc.block = const_cast<SuperFrame*>(&video.blocks[p.position]);
  return loc;
}

cv::Mat OrvVideoFXController::GetSlotPicture(int slotIndex, ThemeResource* tr) {
  static const char* const kTag = "OrvVideoFXController::GetSlotPicture";
  if (!mTheme) {
    ORV_LOG(kTag, "## No theme to compose slot %d", slotIndex);
    return cv::Mat();
  }
  if (!mParams.slots || slotIndex < 0 || slotIndex >= mParams.slotCount) {
    ORV_LOG(kTag, "## Slot %d is outside the host's %d slots", slotIndex, mParams.slotCount);
    return cv::Mat();
  }
  auto cached = mSlotPictureCache.find(slotIndex);
  if (cached != mSlotPictureCache.end()) return cached->second;
  cv::Mat picture;
  {
    RenderStageTimer timer(RenderStage::Compose);
    picture = mTheme->GetSlotMat(slotIndex, mParams.slots, tr);
  }
  if (picture.empty()) ORV_LOG(kTag, "## Slot %d has no picture", slotIndex);
  mSlotPictureCache[slotIndex] = picture;
  return picture;
}

cv::Mat OrvVideoFXController::GetImageFor(ThemeResource* tr, int type, int index, const char* which) {
  const bool start = which[0] == 'S';
  const char* tag = start ? "OrvVideoFXController::GetStartImage" : "OrvVideoFXController::GetEndImage";
  if (type == kSceneImage) {
    if (index == -1) return cv::Mat(kWhiteHeight, kWhiteWidth, CV_8UC3, cv::Scalar::all(255));
    ORV_LOG(tag, "ImageList size : %d", static_cast<int>(tr->ImageList.size()));
    ORV_LOG(tag, start ? "Scene StartIndex : %d" : "Scene GetEndIndex : %d", index);
    if (index < 0 || static_cast<size_t>(index) >= tr->ImageList.size()) {
      ORV_LOG(tag, "## Image index %d is outside the image list", index);
      return cv::Mat();
    }
    const int slot = tr->ImageList[static_cast<size_t>(index)].slotIndex;
    ORV_LOG(tag, "ImageList[ index ] : %d", slot);
    if (start) ORV_LOG(tag, "GetStartImage, SlotIndex : %d", slot);
    return GetSlotPicture(slot, tr);
  }
  if (type == kScenePaper) {
    ORV_LOG(tag, "PaperList Size : %d", static_cast<int>(tr->PaperList.size()));
    ORV_LOG(tag, start ? "Scene Start Index : %d" : "Scene EndIndex : %d", index);
    if (index < 0 || static_cast<size_t>(index) >= tr->PaperList.size()) {
      ORV_LOG(tag, "## Paper index %d is outside the paper list", index);
      return cv::Mat();
    }
    const int slot = tr->PaperList[static_cast<size_t>(index)].slotIndex;
    ORV_LOG(tag, "SlotIndex : %d", slot);
    return GetSlotPicture(slot, tr);
  }
  return cv::Mat();
}

cv::Mat OrvVideoFXController::GetStartImage(ThemeResource* tr, const ThemeScene* scene) {
  ORV_LOG("OrvVideoFXController::GetStartImage", "GetStartImage Enter, %p, %p", static_cast<void*>(tr),
          static_cast<const void*>(scene));
  if (!tr || !scene) return cv::Mat();
  return GetImageFor(tr, scene->startType, scene->startIndex, "Start");
}

cv::Mat OrvVideoFXController::GetEndImage(ThemeResource* tr, const ThemeScene* scene) {
  static const char* const kTag = "OrvVideoFXController::GetEndImage";
  ORV_LOG(kTag, "GetEndImage Enter, %p, %p", static_cast<void*>(tr), static_cast<const void*>(scene));
  if (!tr || !scene) return cv::Mat();
  if (scene->endType == kSceneImage)
    ORV_LOG(kTag, "GetEndImage IMAGE, %p, %p", static_cast<void*>(tr), static_cast<const void*>(scene));
  return GetImageFor(tr, scene->endType, scene->endIndex, "End");
}
