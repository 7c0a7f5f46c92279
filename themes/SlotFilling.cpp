// Slot filling: a builder's slot table becomes the run's slot contexts,
// first frames of video slots and workspace images.
#include <algorithm>
#include <cstring>
#include <exception>
#include <map>

#include <opencv2/imgproc.hpp>

#include "api/Log.h"
#include "api/PathUtils.h"
#include "platform/Platform.h"
#include "themes/OrvColorUtils.h"
#include "themes/SlotInformation.h"

std::atomic<int>* gSlotProgressTarget = nullptr;

namespace {

const char* const kTag = "SlotInformation::FillSlotContextForSequence";
constexpr int kMaxTextLayers = REELKA_MAX_LAYERS - 2;

std::u16string FieldText(const char16_t* field, size_t capacity) {
  return std::u16string(field, platform::WideLength(field, capacity));
}

void SetFullFrame(LayerContext& layer) {
  layer.x = 0;
  layer.y = 0;
  layer.width = OrvColorUtils::kFrameWidth;
  layer.height = OrvColorUtils::kFrameHeight;
}

bool IsDecorated(int type) { return type == 1 || type == 2 || type == 4; }

}  // namespace

void SlotInformation::FillSlotContextForSequence(std::vector<SlotContext>* slots, int N, const int32_t* slotTypes,
                                                 const int32_t* designs, const int32_t* targetTypes,
                                                 const int32_t* targetIndices) {
  if (!slots) {
    ORV_LOG(kTag, "## No slot list, slot filling refused");
    return;
  }
  if (N < 0) N = 0;
  if (N > 0 && (!slotTypes || !designs || !targetTypes || !targetIndices)) {
    ORV_LOG(kTag, "## No slot table, slot filling refused");
    return;
  }
  const int numOfImage = UsableImageCount();
  if (numOfImage < 1) {
    ReleaseSlotArrays();
    slots->clear();
    return;
  }
  CopySlotTable(N, slotTypes, designs, targetTypes, targetIndices, numOfImage);

  slots->clear();
  slots->resize(N);
  if (N > 0) std::memset(static_cast<void*>(slots->data()), 0, sizeof(SlotContext) * N);

  const std::string tempDir = WideToMultiByte(FieldText(mUserInputContext->tempDirPath, REELKA_PATH_LEN).c_str());
  ORV_LOG(kTag, "SaveTempPath : %s", tempDir.c_str());

  std::map<std::string, PickedColors> pickedByPath;
  for (int i = 0; i < N; ++i) {
    ORV_LOG(kTag, "FillSlotContextForSequence, slot : %d", i);
    if (gSlotProgressTarget) {
      gSlotProgressTarget->store(static_cast<int>(static_cast<double>(i + 1) / N * 100.0));
    }
    const int textCount = SetSlotShape((*slots)[i], i);
    try {
      FillSlotLayers(slots, i, textCount, tempDir, pickedByPath);
    } catch (const std::exception& e) {
      ORV_LOG(kTag, "## Slot %d could not be completed (%s)", i, OrvColorUtils::ErrorText(e).c_str());
    }
  }
}

int SlotInformation::UsableImageCount() const {
  if (!mUserInputContext) {
    ORV_LOG(kTag, "## No user input, slot filling refused");
    return 0;
  }
  const int numOfImage = std::min(mUserInputContext->NumOfImage, REELKA_MAX_IMAGES);
  if (numOfImage < 1) {
    ORV_LOG(kTag, "## No user image (NumOfImage : %d), slot filling refused", mUserInputContext->NumOfImage);
    return 0;
  }
  return numOfImage;
}

void SlotInformation::CopySlotTable(int N, const int32_t* slotTypes, const int32_t* designs,
                                    const int32_t* targetTypes, const int32_t* targetIndices, int numOfImage) {
  ReleaseSlotArrays();
  slotType.reset(new int32_t[N]);
  design.reset(new int32_t[N]);
  targetType.reset(new int32_t[N]);
  targetIndex.reset(new int32_t[N]);
  allocatedImage.reset(new int32_t[N]);
  mSlotCount = N;
  for (int i = 0; i < N; ++i) {
    slotType[i] = slotTypes[i];
    design[i] = designs[i];
    targetType[i] = targetTypes[i];
    targetIndex[i] = targetIndices[i];
    allocatedImage[i] = i % numOfImage;
  }
}

int SlotInformation::SetSlotShape(SlotContext& slot, int i) const {
  const int type = slotType[i];
  const int d = design[i] - 1;
  int textCount = 0;
  if (IsDecorated(type)) {
    if (d >= 0 && d < kThemeDesigns) {
      textCount = std::min(std::max(mTextLayerTable.counts[d], 0), kMaxTextLayers);
    } else {
      ORV_LOG(kTag, "## Slot %d names no design (%d)", i, design[i]);
    }
  }
  slot.slotType = type;
  slot.layerCount = IsDecorated(type) ? textCount + 2 : 1;
  return textCount;
}

void SlotInformation::FillSlotLayers(std::vector<SlotContext>* slots, int i, int textCount,
                                     const std::string& tempDir, std::map<std::string, PickedColors>& pickedByPath) {
  SlotContext& slot = (*slots)[i];
  const int type = slotType[i];
  LayerContext& layer0 = slot.layers[0];
  if (type == 0 || type == 1) {
    layer0.layerType = 0;
    const char16_t* source = mUserInputContext->ImagePath[allocatedImage[i]];
    platform::CopyWideField(layer0.layerSource, REELKA_PATH_LEN, FieldText(source, REELKA_PATH_LEN));
  } else if (type == 3 || type == 4) {
    layer0.layerType = 1;
    WriteFirstFrameLayer(layer0, i, tempDir);
  }
  SetFullFrame(layer0);
  if (!IsDecorated(type)) return;

  // Colour pick and workspace image.
  cv::Mat canvas = cv::Mat::zeros(OrvColorUtils::kFrameHeight, OrvColorUtils::kFrameWidth, CV_8UC4);
  const PickedColors colours = PickSlotColours(slots, i, pickedByPath);
  WriteWorkspaceLayer(slot.layers[1], i, colours, canvas, tempDir);
  FillTextLayers(slot, i, textCount, colours);
}

void SlotInformation::WriteFirstFrameLayer(LayerContext& layer, int i, const std::string& tempDir) {
  const int k = targetIndex[i] - 1;
  ORV_LOG(kTag, "GetSummaryLocation i : %d, Index : %d", i, k);
  SummaryLocation location = OrvColorUtils::GetSummaryLocation(mSummarizedVideoList, k);
  cv::Mat frame;
  cv::Mat picture;
  if (location.block && OrvColorUtils::ReadBlockFrame(location.videoName, location.block, frame, kTag)) {
    ORV_LOG(kTag, "Success to read a frame from user video. width : %d, height : %d, channel : %d", frame.cols,
            frame.rows, frame.channels());
    picture = OrvColorUtils::ToBGRA8(frame);
    if (picture.cols != OrvColorUtils::kFrameWidth || picture.rows != OrvColorUtils::kFrameHeight) {
      ORV_LOG(kTag, "Resizing a frame image as width : %d, height : %d", OrvColorUtils::kFrameWidth,
              OrvColorUtils::kFrameHeight);
      OrvColorUtils::ResizeToFrame(picture);
    }
  } else {
    picture = OrvColorUtils::BlackFrame();  // the failure is logged above
  }
  const std::string path = tempDir + "_WS_BG" + std::to_string(i) + ".png";
  ORV_LOG(kTag, "VideoFirstFrameFilePath : %s", path.c_str());
  if (!OrvColorUtils::WriteImageFile(path, picture, kTag)) return;
  const std::u16string widePath = MultiByteToWide(path.c_str());
  ORV_LOG(kTag, "[%d] wcsSavePath_WS_BG : %s, %s", i, path.c_str(), platform::Utf16ToUtf8(widePath).c_str());
  if (!platform::CopyWideField(layer.layerSource, REELKA_PATH_LEN, widePath)) {
    ORV_LOG(kTag, "## First-frame path too long for the slot record, %s", path.c_str());
  }
}

PickedColors SlotInformation::PickSlotColours(std::vector<SlotContext>* slots, int i,
                                              std::map<std::string, PickedColors>& pickedByPath) {
  const int N = mSlotCount;
  PickedColors colours;
  OrvColorUtils::SetGreyColors(&colours, mColorStyle);
  ORV_LOG(kTag, "Separator Color picking, slotIndex : %d, designNumber : %d, targetType : %d, targetIndex : %d", i,
          design[i] - 1, targetType[i], targetIndex[i]);
  if (targetType[i] == 1) {
    const int ti = targetIndex[i];
    if (ti >= 0 && ti < N) {
      const int p = allocatedImage[ti];
      const std::string path = GetReadablePath(FieldText(mUserInputContext->ImagePath[p], REELKA_PATH_LEN).c_str());
      ORV_LOG(kTag, "Allocate image index : %d, image Path : %s", p, path.c_str());
      // A picture gives the same colours every time: pick it once per run.
      auto known = pickedByPath.find(path);
      if (known != pickedByPath.end()) {
        colours = known->second;
      } else {
        OrvColorUtils::PickColorFromImage(&colours, path);
        pickedByPath[path] = colours;
      }
    } else {
      ORV_LOG(kTag, "## Colour target slot out of range, targetIndex : %d, slots : %d", ti, N);
    }
  } else {
    OrvColorUtils::PickColorFromTarget(slots->data(), mSummarizedVideoList, targetType[i], targetIndex[i], &colours,
                                       N);
  }
  const cv::Vec3b c1 = colours.colour1.at<cv::Vec3b>(0, 0);
  const cv::Vec3b c2 = colours.colour2.at<cv::Vec3b>(0, 0);
  ORV_LOG(kTag, "Color (1)BGR : %d %d %d, (2)BGR : %d %d %d", c1[0], c1[1], c1[2], c2[0], c2[1], c2[2]);
  return colours;
}

void SlotInformation::WriteWorkspaceLayer(LayerContext& layer, int i, const PickedColors& colours, cv::Mat& canvas,
                                          const std::string& tempDir) {
  const int d = design[i] - 1;
  char wsPath[kWSPathCapacity] = {0};
  CreateWSImagePath(i, design[i], wsPath, tempDir);
  if (d >= 0 && d < kThemeDesigns) {
    OrvColorUtils::BlendDesignArt(mImageLayerTable, d, colours, canvas, kTag, OrvColorUtils::ArtLog::Filling);
  }
  layer.layerType = 2;
  SetFullFrame(layer);
  ORV_LOG(kTag, "SavePathWS : %s", wsPath);
  if (wsPath[0] && OrvColorUtils::WriteImageFile(wsPath, canvas, kTag)) {
    if (!platform::CopyWideField(layer.layerSource, REELKA_PATH_LEN, MultiByteToWide(wsPath))) {
      ORV_LOG(kTag, "## Workspace path too long for the slot record, %s", wsPath);
    }
  }
}

// Text layers from the design's templates, recoloured by code.
void SlotInformation::FillTextLayers(SlotContext& slot, int i, int textCount, const PickedColors& colours) {
  const int d = design[i] - 1;
  for (int j = 0; j < textCount; ++j) {
    const LayerContext& tmpl = mTextLayerTable.layers[d][j];
    LayerContext& layer = slot.layers[2 + j];
    layer = tmpl;
    const std::string templateColour = WideToMultiByte(FieldText(tmpl.colour, REELKA_SHORT_LEN).c_str());
    const int alpha = OrvColorUtils::ParseTrailingNumber(templateColour.c_str());
    const char code = mTextLayerTable.codes[d][j];
    ORV_LOG(kTag, " Text Color Pick, slot : %d, type : %c, designNumber : %d, pos : %d", i, code ? code : ' ', d, j);
    const bool first = code == 'A' || code == 'a';
    const bool second = code == 'B' || code == 'b';
    if (!first && !second) continue;
    if (alpha < 0) {
      ORV_LOG(kTag, "## No alpha in template colour \"%s\", kept", templateColour.c_str());
      continue;
    }
    const std::string text = OrvColorUtils::RgbaText(first ? colours.colour1 : colours.colour2, alpha);
    platform::CopyWideField(layer.colour, REELKA_SHORT_LEN, platform::Utf8ToUtf16(text));
    ORV_LOG(kTag, first ? " Text Color Pick(A) : %s" : " Text Color Pick(B) : %s", text.c_str());
  }
}
