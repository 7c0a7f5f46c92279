#include "scriptmaker/OrvVideoScriptMaker.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "api/Log.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvVideoFXController.h"
#include "platform/Platform.h"
#include "themes/OrvColorUtils.h"

namespace {
constexpr size_t kSceneCapacity = 100;
char16_t gFirstSlotImageBuffer[REELKA_PATH_LEN];

std::u16string FieldText(const char16_t* field) {
  return std::u16string(field, platform::WideLength(field, REELKA_PATH_LEN));
}

std::string NarrowField(const char16_t* field) { return WideToMultiByte(FieldText(field).c_str()); }
}  // namespace

void CopyUserInput(const UserInputContext& input, UserInputContext* out) {
  UserInputContext& copy = *out;
  std::memset(&copy, 0, sizeof(copy));
  copy.reserved = input.reserved;
  copy.NumOfImage = std::min(std::max(input.NumOfImage, 0), REELKA_MAX_IMAGES);
  copy.NumOfVideo = std::min(std::max(input.NumOfVideo, 0), REELKA_MAX_VIDEOS);
  for (int i = 0; i < copy.NumOfImage; ++i) {
    std::memcpy(copy.ImagePath[i], input.ImagePath[i], sizeof(copy.ImagePath[i]));
    copy.ImagePath[i][REELKA_PATH_LEN - 1] = 0;
  }
  for (int i = 0; i < copy.NumOfVideo; ++i) {
    std::memcpy(copy.VideoPath[i], input.VideoPath[i], sizeof(copy.VideoPath[i]));
    copy.VideoPath[i][REELKA_PATH_LEN - 1] = 0;
  }
  copy.tubWidth = input.tubWidth;
  copy.tubHeight = input.tubHeight;
  copy.wsWidth = input.wsWidth;
  copy.wsHeight = input.wsHeight;
  std::memcpy(copy.tempDirPath, input.tempDirPath, sizeof(copy.tempDirPath));
  copy.tempDirPath[REELKA_PATH_LEN - 1] = 0;
  std::memcpy(copy.reservedPath, input.reservedPath, sizeof(copy.reservedPath));
  copy.reservedPath[REELKA_PATH_LEN - 1] = 0;
}

OrvVideoScriptMaker::OrvVideoScriptMaker()
    : mInput(new UserInputContext()), mThemeSlotSequence(new ThemeSlotSequence()) {
  std::memset(mInput.get(), 0, sizeof(UserInputContext));
  std::memset(mThemeSlotSequence.get(), 0, sizeof(ThemeSlotSequence));
  mThemeSequence.reserve(kSceneCapacity);
}

OrvVideoScriptMaker::~OrvVideoScriptMaker() {
  static const char* tag = "OrvVideoScriptMaker::~OrvVideoScriptMaker";
  ORV_LOG(tag, "OrvVideoScriptMaker::~OrvVideoScriptMaker() - Destructor called");
  if (!mReleased) {
    ORV_LOG(tag, "OrvVideoScriptMaker will be destroyed\n");
    Stop();
  }
}

ThemeLimit OrvVideoScriptMaker::GetThemeLimitInfo(int themeIndex) {
  static const char* tag = "OrvVideoScriptMaker::GetThemeLimitInfo";
  ThemeLimit limit{0, 0, 0, 0};
  // Asking again for the theme in use keeps it, with the slots of the run.
  if (mSlotInformationPtr && themeIndex == mThemeIndex) {
    mSlotInformationPtr->GetThemeLimitInfo(&limit);
    ORV_LOG(tag, "Theme Index : %d is in use and kept, image(min,max) : %d, %d, video(min,max) : %d %d", themeIndex,
            limit.minImage, limit.maxImage, limit.minVideoSec, limit.maxVideoSec);
    return limit;
  }
  mSlotInformationPtr = CreateThemeSlotInformation(themeIndex);
  // The slots belonged to the theme that was replaced.
  if (!mSlotContexts.empty()) ORV_LOG(tag, "Theme changed: the slots of the earlier theme are dropped");
  mSlotContexts.clear();
  if (!mSlotInformationPtr) {
    mThemeIndex = -1;
    ORV_LOG(tag, "Could not found theme Index : %d(available 0~2)", themeIndex);
    return limit;
  }
  mThemeIndex = themeIndex;
  mSlotInformationPtr->GetThemeLimitInfo(&limit);
  ORV_LOG(tag, "Theme Index : %d, image(min,max) : %d, %d, video(min,max) : %d %d", themeIndex, limit.minImage,
          limit.maxImage, limit.minVideoSec, limit.maxVideoSec);
  return limit;
}

ThemeLimit OrvVideoScriptMaker::QueryThemeLimitInfo(int themeIndex) {
  ThemeLimit limit{0, 0, 0, 0};
  std::shared_ptr<SlotInformation> theme = CreateThemeSlotInformation(themeIndex);
  if (theme) {
    theme->GetThemeLimitInfo(&limit);
  } else {
    ORV_LOG("OrvVideoScriptMaker::QueryThemeLimitInfo", "Could not found theme Index : %d(available 0~2)", themeIndex);
  }
  return limit;
}

int OrvVideoScriptMaker::GetEstimatedTimeSec(int numOfTheme, int numOfImage, int lengthOfVideoSec) {
  static const char* tag = "OrvVideoScriptMaker::GetEstimatedTimeSec";
  if (!mSlotInformationPtr) {
    ORV_LOG(tag, "Could not found theme");
    return -1;
  }
  if (numOfTheme != mThemeIndex)
    ORV_LOG(tag, "Theme number %d differs from the chosen theme %d; estimating for the chosen theme", numOfTheme,
            mThemeIndex);
  int seconds = mSlotInformationPtr->GetEstimatedTimeSec(numOfImage, lengthOfVideoSec);
  ORV_LOG(tag, "numTheme : %d, numOfImage : %d, lengthOfVideo : %d, estimateSec : %d", numOfTheme, numOfImage,
          lengthOfVideoSec, seconds);
  return seconds;
}

SummaryPlan OrvVideoScriptMaker::FXGetSummaryPlan() {
  if (!mSlotInformationPtr) return SummaryPlan();
  return mSlotInformationPtr->GetSummaryPlan();
}

void OrvVideoScriptMaker::FXStartReelka(int reserved, const UserInputContext* input,
                                        std::vector<SummarizedVideo>* list) {
  static const char* tag = "OrvVideoScriptMaker::FXStartReelka";
  (void)reserved;
  if (!input) {
    ORV_LOG(tag, "UserInputContext had empty");
    return;
  }
  UserInputContext& copy = *mInput;
  CopyUserInput(*input, &copy);

  gOutfileTempDir = WideToMultiByte(copy.tempDirPath);
  ORV_LOG(tag, "Outfile temp dir : %s", gOutfileTempDir.c_str());

  // The buffer keeps its address for the engine's life; it is zeroed in place.
  std::memset(mThemeSlotSequence.get(), 0, sizeof(ThemeSlotSequence));

  ORV_LOG(tag, "Before mSlotInformationPtr->FillSlotContext");
  mSlotContexts.clear();
  if (!mSlotInformationPtr) {
    ORV_LOG(tag, "No theme is chosen: call GetThemeLimitInfo first; no slots filled");
    return;
  }
  if (copy.NumOfImage == 0) {
    ORV_LOG(tag, "No picture was given: a start pass needs at least one picture; no slots filled");
    return;
  }
  const std::string problem = WorkFolderProblem(FieldText(copy.tempDirPath), mSlotInformationPtr->LongestWorkFileName());
  if (!problem.empty()) {
    ORV_LOG(tag, "Work folder refused, %s; no slots filled", problem.c_str());
    return;
  }
  gSlotProgressTarget = mProgressTarget;
  mSlotInformationPtr->FillSlotContext(&mSlotContexts, list, mInput.get());
  gSlotProgressTarget = nullptr;
  if (mSlotContexts.size() > REELKA_MAX_SLOTS) {
    ORV_LOG(tag, "Theme built %d slots; only %d fit the theme context", static_cast<int>(mSlotContexts.size()),
            REELKA_MAX_SLOTS);
    mSlotContexts.resize(REELKA_MAX_SLOTS);
  }
}

ThemeSlotSequence* OrvVideoScriptMaker::FXGetThemeContext() {
  ThemeSlotSequence* out = mThemeSlotSequence.get();
  out->slotCount = static_cast<int32_t>(mSlotContexts.size());
  for (size_t i = 0; i < mSlotContexts.size(); ++i) {
    const SlotContext& src = mSlotContexts[i];
    SlotContext& dst = out->slots[i];
    dst.slotType = src.slotType;
    dst.layerCount = std::min(std::max(src.layerCount, 0), REELKA_MAX_LAYERS);
    std::memcpy(dst.slotPath, src.slotPath, sizeof(dst.slotPath));
    for (int l = 0; l < dst.layerCount; ++l) dst.layers[l] = src.layers[l];
  }
  return out;
}

int OrvVideoScriptMaker::FXUpdateSlot(int slotIndex, const char16_t* imagePath) {
  static const char* tag = "OrvVideoScriptMaker::FXUpdateSlot";
  if (!mSlotInformationPtr) {
    ORV_LOG(tag, "No theme is chosen, slot %d not updated", slotIndex);
    return -1;
  }
  mSlotInformationPtr->UpdateSlot(&mSlotContexts, slotIndex, imagePath);
  char16_t ws[REELKA_PATH_LEN] = {0};
  char16_t sep[REELKA_PATH_LEN] = {0};
  char16_t* wsPtr = ws;
  char16_t* sepPtr = sep;
  return mSlotInformationPtr->GetReplacedSlot(&wsPtr, &sepPtr) == 100 ? 0 : -1;
}

int OrvVideoScriptMaker::FXGetReplacedSlot(char16_t** wsPath, char16_t** sepPath) {
  static const char* tag = "OrvVideoScriptMaker::FXGetReplacedSlot";
  if (!mSlotInformationPtr) {
    ORV_LOG(tag, "FXReplacedSlot, Unknown error for getting slotInformation.(%p) ",
            static_cast<void*>(mSlotInformationPtr.get()));
    ORV_LOG(tag, "Please check correct function call flow, return -1");
    return -1;
  }
  return mSlotInformationPtr->GetReplacedSlot(wsPath, sepPath);
}

int OrvVideoScriptMaker::Start(const SlotContext* slots, int slotCount, std::vector<SummarizedVideo>* list) {
  static const char* tag = "OrvVideoScriptMaker::Start";
  ORV_LOG(tag, "OrvVideoScriptMaker() Start");
  if (mRunning.exchange(true)) return -1;
  // The outcome and the clip of an earlier pass never outlive this one,
  // however it ends.
  ForgetLastPass();
  if (IsCanceled()) {
    mRunning = false;
    return 0;
  }
  if (!mSlotInformationPtr) {
    ORV_LOG(tag, "No theme is chosen: the create pass needs GetThemeLimitInfo and a start pass first");
    mRunning = false;
    return -1;
  }
  if (mSlotContexts.empty()) {
    ORV_LOG(tag, "No slots were filled: the create pass needs a start pass with pictures first");
    mRunning = false;
    return -1;
  }

  mSlots = slots;
  mSlotCount = slots ? std::min(std::max(slotCount, 0), REELKA_MAX_SLOTS) : 0;
  // Whatever is thrown fails the pass; its controller and a frameless
  // output go all the same.
  try {
    if (!RunInitAndEffects(slots, list)) {
      // Cancelled before anything was drawn: no controller, no clip.
      ReleasePassCopies();
      mRunning = false;
      return 0;
    }
  } catch (const std::exception& e) {
    ORV_LOG(tag, "## The render pass failed: %s", e.what());
    mLastPassCompleted = false;
    if (OrvColorUtils::IsOutOfMemory(e)) mLastPassStatus.outOfMemory = true;
  } catch (...) {
    ORV_LOG(tag, "## The render pass failed: unknown exception");
    mLastPassCompleted = false;
  }
  ORV_LOG(tag, "DeInit() Start");
  DeInit();
  ORV_LOG(tag, "DeInit() End");
  RemoveFramelessOutput();
  mRunning = false;
  ORV_LOG(tag, "End of Start()");
  return 0;
}

bool OrvVideoScriptMaker::RunInitAndEffects(const SlotContext* slots, std::vector<SummarizedVideo>* list) {
  static const char* tag = "OrvVideoScriptMaker::Start";
  ORV_LOG(tag, "Init() Start");
  Init(slots, list);
  if (IsCanceled()) return false;
  ORV_LOG(tag, "Init() End");
  ORV_LOG(tag, "DoApplingEffects() Start");
  DoApplingEffects();
  ORV_LOG(tag, "DoApplingEffects() End");
  return true;
}

void OrvVideoScriptMaker::ReleasePassCopies() {
  mThemeSequence.clear();
  mThemeResource = ThemeResource();
  mSummarizedVideoList.clear();
}

void OrvVideoScriptMaker::RemoveFramelessOutput() {
  // Nothing was drawn, or nothing of it reached the file, or the file could
  // not be written: no empty or partial clip is left behind.
  const bool broken = mLastPassStatus.writeErrno != 0;
  if (!broken && mLastPassStatus.framesWritten != 0 && mLastPassStatus.framesInFile != 0) return;
  const std::string output = mThemeResource.mMetaData.GetOutputFilePath();
  if (!output.empty() && std::remove(output.c_str()) == 0)
    ORV_LOG("OrvVideoScriptMaker::Start", broken ? "The output could not be written, the partial output is removed : %s"
                                                 : "No frame was written, the empty output is removed : %s",
            output.c_str());
}

void OrvVideoScriptMaker::ForgetLastPass() {
  mLastPassCompleted = false;
  mLastPassStatus = FXPassStatus();
  std::string output = gOutfileTempDir + gOutputVideoSuffix;
  std::string still = gOutfileTempDir + gFirstSlotImageSuffix;
  std::remove(output.c_str());
  std::remove(still.c_str());
  gFirstSlotImagePath.clear();
}

std::string OrvVideoScriptMaker::WorkFolderProblem(const std::u16string& tempDir, size_t longestName) {
  // Names are stored in the host's fields of REELKA_PATH_LEN units, terminator included.
  const size_t maxUnits = REELKA_PATH_LEN - 1;
  if (tempDir.size() + longestName > maxUnits)
    return platform::Format("the path is %zu characters long, at most %zu leave room for the working file names",
                            tempDir.size(), longestName < maxUnits ? maxUnits - longestName : 0);
  // The folder's last part and a name (with its "~tmp" while written) make one file name.
  const std::string narrow = WideToMultiByte(tempDir.c_str());
  const size_t lastPart = narrow.size() - (narrow.rfind('/') == std::string::npos ? 0 : narrow.rfind('/') + 1);
  const size_t kTempMark = 4;
  if (lastPart + longestName + kTempMark > NAME_MAX)
    return platform::Format("its last part is %zu bytes, at most %zu leave room for the working file names", lastPart,
                            NAME_MAX > longestName + kTempMark ? NAME_MAX - longestName - kTempMark : 0);
  return std::string();
}

void OrvVideoScriptMaker::Init(const SlotContext* slots, std::vector<SummarizedVideo>* list) {
  static const char* tag = "OrvVideoScriptMaker::Init";
  ORV_LOG(tag, "Start Init");
  if (IsCanceled()) return;
  mReleased = false;
  mRunning = true;
  if (IsCanceled()) return;
  ORV_LOG(tag, "Start AddThemeSequence");
  AddThemeSequence();
  if (IsCanceled()) return;
  ORV_LOG(tag, "End AddThemeSequence");
  ORV_LOG(tag, "Start AddThemeResource");
  AddThemeResource(slots, mSlotCount, list);
  if (IsCanceled()) return;
  ORV_LOG(tag, "End AddThemeResource");
  ORV_LOG(tag, "Start AddSummarizedVideoList : %p", static_cast<void*>(list));
  // Without videos no block of an earlier pass may stay behind.
  if (list)
    AddSummarizedVideoList(list);
  else
    mSummarizedVideoList.clear();
  if (IsCanceled()) return;
  ORV_LOG(tag, "End AddSummarizedVideoList");
  ORV_LOG(tag, "End Init");
}

void OrvVideoScriptMaker::AddThemeSequence() {
  mThemeSequence.clear();
  mThemeSequence.reserve(kSceneCapacity);
  if (mSlotInformationPtr) mThemeSequence = mSlotInformationPtr->GetThemeSequence();
}

void OrvVideoScriptMaker::AddThemeResource(const SlotContext* slots, int slotCount,
                                           std::vector<SummarizedVideo>* list) {
  static const char* tag = "OrvVideoScriptMaker::AddThemeResource";
  ORV_LOG(tag, "AddThemeResource, slotSize : %d", slotCount);
  mThemeResource.Clear();
  mThemeResource.mMetaData.SetResourceDirectory("./ReelkaResource/common/");
  mThemeResource.mMetaData.SetOutputFilePath(gOutfileTempDir + gOutputVideoSuffix);
  if (list) {
    int videos = std::min(mInput->NumOfVideo, static_cast<int>(list->size()));
    for (int v = 0; v < videos; ++v) mThemeResource.mMetaData.mVideoNames.push_back((*list)[v].fileName);
  }
  const int separators = mSlotInformationPtr ? mSlotInformationPtr->GetSeparatorCount() : 0;
  int paper = 0;
  for (int i = 0; slots && i < slotCount; ++i) {
    switch (slots[i].slotType) {
      case 0:
      case 1:
        mThemeResource.ImageList.push_back(ImageEntry{i, std::string()});
        break;
      case 2:
        mThemeResource.PaperList.push_back(PaperEntry{i, std::string()});
        ++paper;
        break;
      case 4:
        mThemeResource.PaperList.push_back(PaperEntry{i, std::string()});
        for (int n = 0; n < separators; ++n) {
          mThemeResource.mVideoList.push_back(SeparatorEntry{i, paper});
          ORV_LOG(tag, "AddThemeResource, Adding video separator, slotIndex : %d, separatorCount : %d, paper : %d", i,
                  paper, mThemeResource.PaperList[paper].slotIndex);
        }
        ++paper;
        break;
      default:
        break;
    }
  }
  ORV_LOG(tag, "AddThemeResource, mThemeResource image size : %d", static_cast<int>(mThemeResource.ImageList.size()));
}

void OrvVideoScriptMaker::AddSummarizedVideoList(std::vector<SummarizedVideo>* list) {
  mSummarizedVideoList = *list;
}

void OrvVideoScriptMaker::DoApplingEffects() {
  static const char* tag = "OrvVideoScriptMaker::DoApplingEffects";
  ORV_LOG(tag, "Start Appling Effects");
  if (IsCanceled()) return;
  ORV_LOG(tag, "*************************************************");
  ORV_LOG(tag, " outputSlotContext infor");
  ORV_LOG(tag, " vector pointer : %p, input pointer : %p", static_cast<void*>(&mSlotContexts),
          static_cast<const void*>(mSlots));
  ORV_LOG(tag, "*************************************************");
  for (size_t s = 0; s < mSlotContexts.size(); ++s) {
    const SlotContext& slot = mSlotContexts[s];
    int layers = std::min(std::max(slot.layerCount, 0), REELKA_MAX_LAYERS);
    for (int l = 0; l < layers; ++l) {
      if (IsCanceled()) return;
      ORV_LOG(tag, "Slot[%d], SlotType[%d], Layer[%d], LayerType[%d], LayerSource : %s", static_cast<int>(s),
              slot.slotType, l, slot.layers[l].layerType, NarrowField(slot.layers[l].layerSource).c_str());
    }
  }
  if (IsCanceled()) return;
  delete mController;
  mController = nullptr;
  FXControllerParams params;
  params.themeResource = &mThemeResource;
  params.themeSequence = &mThemeSequence;
  params.summarizedVideoList = &mSummarizedVideoList;
  params.inputContext = mInput.get();
  params.slots = const_cast<SlotContext*>(mSlots);
  params.slotCount = mSlotCount;
  params.progress = mProgressTarget;
  mController = new OrvVideoFXController(params);
  if (IsCanceled()) return;
  ORV_LOG(tag, "Start Making Theme");
  if (IsCanceled()) return;
  mController->WriteThemeVideo(mSlotInformationPtr);
  mLastPassStatus = mController->GetPassStatus();
  mLastPassCompleted = mController->PassCompleted() && !IsCanceled();
  if (IsCanceled()) return;
  ORV_LOG(tag, "End Making Theme");
  ORV_LOG(tag, "End Appling Effects");
}

void OrvVideoScriptMaker::DeInit() {
  static const char* tag = "OrvVideoScriptMaker::DeInit";
  ORV_LOG(tag, "Start DeInit");
  delete mController;
  mController = nullptr;
  ORV_LOG(tag, "End DeInit");
}

int OrvVideoScriptMaker::Stop() {
  static const char* tag = "OrvVideoScriptMaker::Stop";
  ORV_LOG(tag, "Stop() Start, ReleaseFlags : %d", mReleased ? 1 : 0);
  if (mReleased) return -2;
  ORV_LOG(tag, "Delete FXController Start : %p", static_cast<void*>(mController));
  delete mController;
  mController = nullptr;
  ORV_LOG(tag, "Delete FXController End");
  ORV_LOG(tag, "Delete ThemeSlotSequence Start : %p", static_cast<void*>(mThemeSlotSequence.get()));
  std::memset(mThemeSlotSequence.get(), 0, sizeof(ThemeSlotSequence));
  ORV_LOG(tag, "Delete ThemeSlotSequence End");
  ORV_LOG(tag, "Clear ThemeSequence");
  mThemeSequence.clear();
  mThemeSequence.reserve(kSceneCapacity);
  ORV_LOG(tag, "Clear ThemeResource");
  mThemeResource.Clear();
  ORV_LOG(tag, "Clear SummarizationList");
  mSummarizedVideoList.clear();
  mReleased = true;
  mProgressTarget = nullptr;
  ORV_LOG(tag, "Stop() End");
  return 0;
}

const char16_t* OrvVideoScriptMaker::FXGetFirstSlotImage() {
  static const char* tag = "OrvVideoScriptMaker::FXGetFirstSlotImage";
  ORV_LOG(tag, "First slot image : %s", gFirstSlotImagePath.c_str());
  if (!platform::CopyWideField(gFirstSlotImageBuffer, REELKA_PATH_LEN, MultiByteToWide(gFirstSlotImagePath.c_str())))
    ORV_LOG(tag, "First slot image path does not fit %d characters, returned empty", REELKA_PATH_LEN - 1);
  return gFirstSlotImageBuffer;
}

bool OrvVideoScriptMaker::FXSaveReelka(const char16_t* destPath) {
  static const char* tag = "OrvVideoScriptMaker::FXSaveReelka";
  mSaveErrno = 0;
  ORV_LOG(tag, "Dest Reelka Path : %p", static_cast<const void*>(destPath));
  if (!destPath || !*destPath) return false;
  std::string source = mThemeResource.mMetaData.GetOutputFilePath();
  if (source.empty()) source = gOutfileTempDir + gOutputVideoSuffix;
  std::string dest = platform::Utf16ToUtf8(std::u16string(destPath, platform::WideLength(destPath, 1024)));
  ORV_LOG(tag, "OutputFilePath : %s, destPath : %s", source.c_str(), dest.c_str());
  if (!mLastPassCompleted) {
    ORV_LOG(tag, "The last create pass did not complete: nothing to save");
    ORV_LOG(tag, "CopyFile : %d", 0);
    mSaveErrno = mLastPassStatus.outOfMemory ? ENOMEM : mLastPassStatus.writeErrno;
    return false;
  }
  if (platform::SameFile(source, dest)) {
    ORV_LOG(tag, "Destination is the output file itself: not copied");
    ORV_LOG(tag, "CopyFile : %d", 0);
    return false;
  }
  errno = 0;
  bool copied = platform::CopyFileAtomic(source, dest);
  if (!copied) mSaveErrno = errno != 0 ? errno : EIO;
  ORV_LOG(tag, "CopyFile : %d", copied ? 1 : 0);
  return copied;
}
