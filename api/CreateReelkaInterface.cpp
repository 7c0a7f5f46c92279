#include "api/CreateReelkaInterface.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "api/Log.h"
#include "api/PathUtils.h"
#include "platform/Platform.h"
#include "scriptmaker/OrvVideoScriptMaker.h"

std::mutex gEngineMutex;
CreateReelkaInterface* gCreateReelkaInterface = nullptr;
FXEngine* gFXEngine = nullptr;
VideoEngine* gVideoEngine = nullptr;

namespace {
const char* const kStars = "***********************************************************";

// Clears a flag when the scope ends.
struct ClearOnExit {
  std::atomic<bool>& flag;
  ~ClearOnExit() { flag = false; }
};

int ClampCount(int value, int maximum, const char* tag, const char* what) {
  if (value >= 0 && value <= maximum) return value;
  int clamped = std::min(std::max(value, 0), maximum);
  WriteFileLog(tag, __LINE__, "%s %d is outside 0..%d, using %d", what, value, maximum, clamped);
  return clamped;
}
}  // namespace

CreateReelkaInterface::CreateReelkaInterface() {
  ORV_LOG("CreateReelkaInterface::CreateReelkaInterface", "Enter CreateReelkaInterface<init>");
  ORV_LOG("CreateReelkaInterface::CreateReelkaInterface", "Leave CreateReelkaInterface<init>");
}

CreateReelkaInterface::~CreateReelkaInterface() {
  ORV_LOG("CreateReelkaInterface::~CreateReelkaInterface", "Enter CreateReelkaInterface<del>");
  delete mReplacedSlotInfo;
  mReplacedSlotInfo = nullptr;
  mPhase = 0;
  {
    std::lock_guard<std::mutex> lock(gEngineMutex);
    delete gVideoEngine;
    gVideoEngine = nullptr;
    delete gFXEngine;
    gFXEngine = nullptr;
  }
  ORV_LOG("CreateReelkaInterface::~CreateReelkaInterface", "Leave CreateReelkaInterface<del>");
  mBusy = 0;
}

FXEngine* CreateReelkaInterface::FxEngine() {
  std::lock_guard<std::mutex> lock(gEngineMutex);
  if (!gFXEngine) gFXEngine = new OrvVideoScriptMaker();
  return gFXEngine;
}

VideoEngine* CreateReelkaInterface::VideoEng() {
  std::lock_guard<std::mutex> lock(gEngineMutex);
  if (!gVideoEngine) gVideoEngine = CreateVideoEngine();
  return gVideoEngine;
}

bool CreateReelkaInterface::BeginPass(const char* tag, const char* what) {
  std::lock_guard<std::mutex> lock(mStateMutex);
  if (mPassRunning.load()) {
    ORV_LOG(tag, "A pass is already running, %s refused", what);
    return false;
  }
  mPassRunning = true;
  return true;
}

bool CreateReelkaInterface::RefusedDuringPass(const char* tag, const char* what) {
  if (!mPassRunning.load()) return false;
  ORV_LOG(tag, "A pass is running, %s", what);
  return true;
}

ThemeLimit CreateReelkaInterface::GetThemeLimitInfo(int themeIndex) {
  static const char* tag = "CreateReelkaInterface::GetThemeLimitInfo";
  ORV_LOG(tag, "Enter GetThemeLimitInfo");
  ThemeLimit limit;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    // The running pass keeps its theme: the limits are answered from a theme of their own.
    if (RefusedDuringPass(tag, "the theme in use is kept; limits answered without switching"))
      limit = FxEngine()->QueryThemeLimitInfo(themeIndex);
    else
      limit = FxEngine()->GetThemeLimitInfo(themeIndex);
  }
  ORV_LOG(tag, "Leave GetThemeLimitInfo");
  return limit;
}

int CreateReelkaInterface::GetEstimatedTimeSec(int numOfTheme, int numOfImage, int lengthOfVideoSec) {
  static const char* tag = "CreateReelkaInterface::GetEstimatedTimeSec";
  ORV_LOG(tag, "Enter GetEstimatedTimeSec");
  int seconds = -1;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    // The estimate fixes the theme's band, which the running pass reads.
    if (!RefusedDuringPass(tag, "estimate refused"))
      seconds = FxEngine()->GetEstimatedTimeSec(numOfTheme, numOfImage, lengthOfVideoSec);
  }
  ORV_LOG(tag, "Leave GetEstimatedTimeSec");
  return seconds;
}

void CreateReelkaInterface::StartReelka(const UserInputContext* input) {
  static const char* tag = "CreateReelkaInterface::StartReelka";
  if (!input) {
    // Nothing to switch the log to: say it on the debugger output and in any open log.
    DebugPrint("KV_StartReelka: null UserInputContext, nothing done");
    ORV_LOG(tag, "UserInputContext is null, start pass not run");
    return;
  }
  if (!BeginPass(tag, "start pass")) return;
  ClearOnExit done{mPassRunning};

  InitLog(std::u16string(input->tempDirPath, platform::WideLength(input->tempDirPath, REELKA_PATH_LEN)));
  ORV_LOG(tag, "Enter StartReelka");

  ClampCount(input->NumOfImage, REELKA_MAX_IMAGES, tag, "NumOfImage");  // logged when out of range
  ClampCount(input->NumOfVideo, REELKA_MAX_VIDEOS, tag, "NumOfVideo");
  auto copy = std::make_unique<UserInputContext>();
  CopyUserInput(*input, copy.get());

  mHasVideo = copy->NumOfVideo > 0;
  mVideoPassLive = false;
  mStartProgress = 0;
  mPhase = 1;

  ORV_LOG(tag, "%s", kStars);
  ORV_LOG(tag, "** UserInputContext information");
  ORV_LOG(tag, "** Symbolic link will create if the file couldn't read.");
  ORV_LOG(tag, "[StartReelka] NumOfVideo : %d", copy->NumOfVideo);
  ORV_LOG(tag, "[StartReelka] NumOfImage : %d", copy->NumOfImage);
  ORV_LOG(tag, "** FilePath information, Convert Unicode to Multibytes.");
  for (int i = 0; i < copy->NumOfVideo; ++i)
    ORV_LOG(tag, "[StartReelka] VideoPath[%d] : %s", i, WideToMultiByte(copy->VideoPath[i]).c_str());
  for (int i = 0; i < copy->NumOfImage; ++i)
    ORV_LOG(tag, "[StartReelka] ImagePath[%d] : %s", i, WideToMultiByte(copy->ImagePath[i]).c_str());
  ORV_LOG(tag, "%s", kStars);

  FXEngine* fx = FxEngine();
  SummaryPlan plan = fx->FXGetSummaryPlan();
  plan.videoPaths.clear();

  std::vector<SummarizedVideo>* list = nullptr;
  if (mHasVideo) {
    for (int i = 0; i < copy->NumOfVideo; ++i) {
      std::string path = GetReadablePath(copy->VideoPath[i]);
      ORV_LOG(tag, "[StartReelka] UserVideoFilePath : %s", path.c_str());
      plan.videoPaths.push_back(path);
    }
    VideoEngine* video = VideoEng();
    mVideoPassLive = true;
    list = video->StartSummaryVideoList(&plan);
  }

  fx->SetProgressTarget(&mStartProgress);
  fx->FXStartReelka(copy->reserved, copy.get(), list);
  ORV_LOG(tag, "Leave StartReelka");
}

namespace {

// fxPercent alone while the video side reports 0; otherwise the weighted sum
// in double, each step rounded as written, truncated.
int WeightedPercent(int fxPercent, double fxWeight, int videoPercent, double videoWeight) {
  if (videoPercent == 0) return fxPercent;
  volatile double a = static_cast<double>(fxPercent) * fxWeight;
  volatile double b = static_cast<double>(videoPercent) * videoWeight;
  volatile double sum = a + b;
  return static_cast<int>(sum);
}

}  // namespace

int CreateReelkaInterface::StartFormula(int fxPercent, int videoPercent) {
  return WeightedPercent(fxPercent, 0.30000000000000004, videoPercent, 0.7);
}

int CreateReelkaInterface::CreateFormula(int fxPercent, int videoPercent) {
  return WeightedPercent(fxPercent, 0.7, videoPercent, 0.3);
}

int CreateReelkaInterface::GetProgressValue() {
  int phase = mPhase.load();
  if (phase != 1 && phase != 2) return 0;
  int video = 0;
  if (mVideoPassLive) {
    // Only reads: the engine is never created here.
    std::lock_guard<std::mutex> lock(gEngineMutex);
    if (gVideoEngine) video = phase == 1 ? gVideoEngine->GetSummaryProgress() : gVideoEngine->GetStabilizationProgress();
  }
  int percent = phase == 1 ? StartFormula(mStartProgress.load(), video) : CreateFormula(mCreateProgress.load(), video);
  if (percent == 100) {
    int expected = phase;
    mPhase.compare_exchange_strong(expected, 0);
  }
  return percent;
}

ThemeSlotSequence* CreateReelkaInterface::GetThemeContext() {
  static const char* tag = "CreateReelkaInterface::GetThemeContext";
  ORV_LOG(tag, "Enter GetThemeContext");
  ThemeSlotSequence* sequence = nullptr;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    // The slots may be half built, or read by the create pass: the buffer is handed out as it stands.
    if (RefusedDuringPass(tag, "the theme context is handed out unchanged"))
      sequence = FxEngine()->FXThemeContextBuffer();
    else
      sequence = FxEngine()->FXGetThemeContext();
  }
  ORV_LOG(tag, "Leave GetThemeContext");
  return sequence;
}

int CreateReelkaInterface::UpdateSlot(int slotIndex, const char16_t* imagePath) {
  static const char* tag = "CreateReelkaInterface::UpdateSlot";
  ORV_LOG(tag, "Enter UpdateSlot");
  int result = -1;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    if (!RefusedDuringPass(tag, "slot update refused")) result = FxEngine()->FXUpdateSlot(slotIndex, imagePath);
  }
  ORV_LOG(tag, "Leave UpdateSlot");
  return result;
}

ReplacedSlotInfo* CreateReelkaInterface::GetReplacedSlot() {
  static const char* tag = "CreateReelkaInterface::GetReplacedSlot";
  ORV_LOG(tag, "Enter GetReplacedSlot");
  if (!mReplacedSlotInfo) {
    mReplacedSlotInfo = new ReplacedSlotInfo;
    std::memset(mReplacedSlotInfo, 0, sizeof(ReplacedSlotInfo));
  }
  char16_t wsBuffer[REELKA_PATH_LEN] = {0};
  char16_t sepBuffer[REELKA_PATH_LEN] = {0};
  char16_t* ws = wsBuffer;
  char16_t* sep = sepBuffer;
  int percent = 0;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    percent = FxEngine()->FXGetReplacedSlot(&ws, &sep);
  }
  wsBuffer[REELKA_PATH_LEN - 1] = 0;
  sepBuffer[REELKA_PATH_LEN - 1] = 0;
  ORV_LOG(tag, "After FXGetReplacedSlot, percent : %d, wp : %s, tp : %s", percent, WideToMultiByte(wsBuffer).c_str(),
          WideToMultiByte(sepBuffer).c_str());
  mReplacedSlotInfo->percent = percent;
  if (percent == 100) {
    std::memcpy(mReplacedSlotInfo->workSpaceImagePath, wsBuffer, sizeof(wsBuffer));
    std::memcpy(mReplacedSlotInfo->separatorImagePath, sepBuffer, sizeof(sepBuffer));
  }
  ORV_LOG(tag, "Leave GetReplacedSlot");
  return mReplacedSlotInfo;
}

void CreateReelkaInterface::CreateReelka(const ThemeSlotSequence* sequence) {
  static const char* tag = "CreateReelkaInterface::CreateReelka";
  ORV_LOG(tag, "Enter CreateReelka");
  if (!sequence) {
    ORV_LOG(tag, "ThemeSlotSequence is null, create pass not run");
    ORV_LOG(tag, "Leave CreateReelka");
    return;
  }
  if (!BeginPass(tag, "create pass")) {
    ORV_LOG(tag, "Leave CreateReelka");
    return;
  }
  struct Done {
    CreateReelkaInterface* self;
    ~Done() {
      self->mPhase = 0;
      self->mBusy = 0;
      self->mPassRunning = false;
    }
  } done{this};

  mVideoPassLive = false;
  mCreateProgress = 0;
  mPhase = 2;
  mBusy = 2;

  FXEngine* fx = FxEngine();
  fx->ResetCancel();

  int slotCount = ClampCount(sequence->slotCount, REELKA_MAX_SLOTS, tag, "slotCount");
  ORV_LOG(tag, "%s", kStars);
  ORV_LOG(tag, "** ThemeSlotSequence information");
  ORV_LOG(tag, "[CreateReelka]ThemeSlotSequence Size : %d", sequence->slotCount);
  for (int i = 0; i < slotCount; ++i) {
    const SlotContext& slot = sequence->slots[i];
    ORV_LOG(tag, "[CreateReelka] [%d]LayerNum : %d", i, slot.layerCount);
    int layers = std::min(std::max(slot.layerCount, 0), REELKA_MAX_LAYERS);
    for (int j = 0; j < layers; ++j) {
      std::u16string source(slot.layers[j].layerSource, platform::WideLength(slot.layers[j].layerSource, REELKA_PATH_LEN));
      ORV_LOG(tag, "[CreateReelka] [%d][%d]LayerSource : %s", i, j, WideToMultiByte(source.c_str()).c_str());
    }
  }
  ORV_LOG(tag, "%s", kStars);
  ORV_LOG(tag, "Start Stabilization");

  std::vector<SummarizedVideo>* list = nullptr;
  if (mHasVideo) {
    VideoEngine* video = VideoEng();
    video->ResetCancel();
    list = video->GetSummarizedVideoList();
    ORV_LOG(tag, "SummaryVideoSize : %d", list ? static_cast<int>(list->size()) : 0);
    if (list) {
      for (size_t v = 0; v < list->size(); ++v)
        for (size_t b = 0; b < (*list)[v].blocks.size(); ++b) {
          const SuperFrame& sf = (*list)[v].blocks[b];
          ORV_LOG(tag, "%d, %d, sfStart : %d, sfEnd : %d, sfSize : %d", static_cast<int>(v), static_cast<int>(b),
                  sf.sfStart, sf.sfEnd, sf.sfSize);
        }
    }
    ORV_LOG(tag, "[CreateReelka] Start video stabilization");
    mVideoPassLive = true;
    video->StartStabilizedVideoList(list);
  }

  ORV_LOG(tag, "Start FXEngine effects, fxEngine : %p", static_cast<void*>(fx));
  fx->SetProgressTarget(&mCreateProgress);
  fx->Start(sequence->slots, slotCount, list);
  fx->SetProgressTarget(nullptr);
  ORV_LOG(tag, "Leave CreateReelka");
}

void CreateReelkaInterface::CancelEncoding() {
  static const char* tag = "CreateReelkaInterface::CancelEncoding";
  ORV_LOG(tag, "Enter CancelEncoding");
  if (mPassRunning.load() && mPhase.load() == 1)
    ORV_LOG(tag, "Cancel requested during a start pass: it runs to its end; the next create pass clears the flags");
  // Rendering side first, then the video side; no engine is needed for either.
  OrvFXCancelTask().SetCancel(true);
  OrvVideoEngineCancelTask().SetCancel(true);
  int count = 0;
  while (mBusy.load() != 0 && count < 10) {
    platform::SleepMs(100);
    ++count;
  }
  ORV_LOG(tag, "Leave CancelEncoding %d", count);
}

const char16_t* CreateReelkaInterface::GetFirstSlotImage() {
  static const char* tag = "CreateReelkaInterface::GetFirstSlotImage";
  static const char16_t kNone[1] = {0};
  ORV_LOG(tag, "Enter GetFirstSlotImage");
  const char16_t* path = kNone;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    if (!RefusedDuringPass(tag, "no first slot image until it ends")) path = FxEngine()->FXGetFirstSlotImage();
  }
  ORV_LOG(tag, "Leave GetFirstSlotImage");
  return path;
}

bool CreateReelkaInterface::SaveReelka(const char16_t* destPath, int* why) {
  static const char* tag = "CreateReelkaInterface::SaveReelka";
  ORV_LOG(tag, "Enter SaveReelka");
  bool saved = false;
  {
    std::lock_guard<std::mutex> lock(mStateMutex);
    if (!RefusedDuringPass(tag, "nothing saved")) {
      saved = FxEngine()->FXSaveReelka(destPath);
      if (!saved && why) *why = FxEngine()->FXSaveErrno();
    }
  }
  ORV_LOG(tag, "Leave SaveReelka");
  return saved;
}
