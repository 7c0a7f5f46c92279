// Slot pictures for the renderer, single-slot replacement and workspace names.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>

#include <opencv2/imgproc.hpp>

#include "api/Log.h"
#include "api/PathUtils.h"
#include "platform/Platform.h"
#include "scriptmaker/ThemeResource.h"
#include "themes/OrvColorUtils.h"
#include "themes/SlotInformation.h"

namespace {

const char* const kTagMat = "SlotInformation::GetSlotMat";
const char* const kTagUpdate = "SlotInformation::UpdateSlot";
const char* const kTagReplaced = "SlotInformation::GetReplacedSlot";
const char* const kTagName = "SlotInformation::CreateWSImagePath";

std::u16string FieldText(const char16_t* field, size_t capacity) {
  return std::u16string(field, platform::WideLength(field, capacity));
}

std::string ReadablePathOf(const LayerContext& layer) {
  return GetReadablePath(FieldText(layer.layerSource, REELKA_PATH_LEN).c_str());
}

int LayerCountOf(const SlotContext& slot) { return std::min(std::max(slot.layerCount, 0), REELKA_MAX_LAYERS); }

void LogColours(const char* tag, const PickedColors& colours) {
  const cv::Vec3b c1 = colours.colour1.at<cv::Vec3b>(0, 0);
  const cv::Vec3b c2 = colours.colour2.at<cv::Vec3b>(0, 0);
  ORV_LOG(tag, "Color (1)BGR : %d %d %d, (2)BGR : %d %d %d", c1[0], c1[1], c1[2], c2[0], c2[1], c2[2]);
}

// A host-rendered text image (layerType 4) is scaled to its rectangle.
void BlendTextImage(const LayerContext& layer, const std::string& path, cv::Mat& picture) {
  cv::Mat image = OrvColorUtils::ReadPicture(path, true, kTagMat);
  if (image.empty()) return;
  if (layer.layerType == 4 && (image.cols != layer.width || image.rows != layer.height)) {
    if (layer.width <= 0 || layer.height <= 0) {
      ORV_LOG(kTagMat, "## Text layer has no area (%d x %d), left out", layer.width, layer.height);
      return;
    }
    cv::resize(image, image, cv::Size(layer.width, layer.height), 0, 0, cv::INTER_LINEAR);
  }
  OrvColorUtils::BlendImage(image, picture, layer.x, layer.y, layer.width, layer.height);
}

// The user's picture of a slot: missing or unreadable gives an opaque black frame.
cv::Mat ReadSlotPicture(const std::string& path, bool keepAlpha) {
  cv::Mat picture;
  if (path.empty() || !IS_EXIST_FILE(path)) {
    ORV_LOG(kTagMat, "## Couldn't read image file. %s", path.c_str());
  } else {
    picture = OrvColorUtils::ReadPicture(path, keepAlpha, kTagMat);
  }
  if (picture.empty()) return OrvColorUtils::BlackFrame();  // logged above
  OrvColorUtils::ResizeToFrame(picture);
  return picture;
}

std::string WSImageName(const std::string& code, int slotIndex, int designNumber) {
  return "ss_icon_clip_" + code + "_" + platform::Format("%02d", designNumber) + "-WS" + std::to_string(slotIndex) +
         ".png";
}

// Text images of a picture slot (type 0), from its third layer on.
void BlendPictureSlotTexts(const SlotContext& record, cv::Mat& picture) {
  for (int k = 2; k < LayerCountOf(record); ++k) {
    const std::string textPath = ReadablePathOf(record.layers[k]);
    ORV_LOG(kTagMat, "ImageSlot, layer[%d] path : %s", k, textPath.c_str());
    if (textPath.empty() || !IS_EXIST_FILE(textPath)) {
      ORV_LOG(kTagMat, "## Couldn't read text image file. %s", textPath.c_str());
      continue;
    }
    BlendTextImage(record.layers[k], textPath, picture);
  }
}

// Text images of a decorated slot (types 1, 2 and 4), from its third layer on.
void BlendDecoratedSlotTexts(const SlotContext& record, cv::Mat& picture) {
  ORV_LOG(kTagMat, " Start Text Layer, layer_size : %d", record.layerCount);
  for (int k = 2; k < LayerCountOf(record); ++k) {
    const std::string textPath = ReadablePathOf(record.layers[k]);
    ORV_LOG(kTagMat, "   (Text) txtSourcePath : %s", textPath.c_str());
    if (textPath.empty()) {
      ORV_LOG(kTagMat, "Pass Text[%d] ", k);
      continue;
    }
    if (!IS_EXIST_FILE(textPath)) {
      ORV_LOG(kTagMat, "## Couldn't read text image file. %s", textPath.c_str());
      continue;
    }
    BlendTextImage(record.layers[k], textPath, picture);
  }
}

// A video slot shows the first frame written at slot filling.
cv::Mat ReadVideoSlotFrame(const SlotContext& record) {
  ORV_LOG(kTagMat, "Slot index is video slot, It will be return first frame of video");
  const std::string path = ReadablePathOf(record.layers[0]);
  if (path.empty() || !IS_EXIST_FILE(path)) {
    ORV_LOG(kTagMat, "## Couldn't read alternative image file. %s", path.c_str());
    return cv::Mat();
  }
  return OrvColorUtils::ReadPicture(path, true, kTagMat);
}

// The replacement picture, read in full before anything changes; empty (logged) when it does not decode.
cv::Mat ReadReplacementPicture(const std::u16string& widePath) {
  const std::string readable = GetReadablePath(widePath.c_str());
  cv::Mat picture;
  if (!readable.empty() && IS_EXIST_FILE(readable)) picture = OrvColorUtils::ReadPicture(readable, false, kTagUpdate);
  if (picture.empty()) ORV_LOG(kTagUpdate, "## Couldn't read image file. %s, update refused", readable.c_str());
  return picture;
}

}  // namespace

size_t SlotInformation::LongestWorkFileName() const {
  // Two-digit designs and slot indices below REELKA_MAX_SLOTS.
  const int lastSlot = REELKA_MAX_SLOTS - 1;
  const size_t names[] = {WSImageName(WSFileNamingCode, lastSlot, 99).size(),
                          ("_WS_BG" + std::to_string(lastSlot) + ".png").size(), std::strlen(gOutputVideoSuffix),
                          std::strlen(gFirstSlotImageSuffix)};
  return *std::max_element(std::begin(names), std::end(names));
}

void SlotInformation::CreateWSImagePath(int slotIndex, int designNumber, char* out, std::string folder) {
  const std::string name = folder + WSImageName(WSFileNamingCode, slotIndex, designNumber);
  ORV_LOG(kTagName, "WSFileNamingCode : %s, savePathWS : %s", WSFileNamingCode.c_str(), name.c_str());
  if (!out) return;
  if (name.size() >= kWSPathCapacity) {
    ORV_LOG(kTagName, "## Workspace image path too long (%zu bytes), %s", name.size(), name.c_str());
    out[0] = '\0';
    return;
  }
  std::memcpy(out, name.c_str(), name.size() + 1);
}

cv::Mat SlotInformation::GetSlotMat(int s, const SlotContext* host, ThemeResource* resource) {
  ORV_LOG(kTagMat, " GetSlotMat, Enter");
  if (!host || !resource) {
    ORV_LOG(kTagMat, "Passing parameters was wrong");
    return cv::Mat();
  }
  if (!slotType || !design || !targetType || !targetIndex || !allocatedImage) {
    ORV_LOG(kTagMat, "Slot data was wrong");
    return cv::Mat();
  }
  if (s < 0 || s >= mSlotCount) {
    ORV_LOG(kTagMat, "Slot data was wrong, slotIndex : %d, slots : %d", s, mSlotCount);
    return cv::Mat();
  }

  try {
    const SlotContext& record = host[s];
    const int type = slotType[s];
    if (type == 0) {
      ORV_LOG(kTagMat, "GetSlotMat, slottype : Image, slotIndex : %d, allo : %d", s, allocatedImage[s]);
      const std::string path = ReadablePathOf(record.layers[0]);
      ORV_LOG(kTagMat, "imagePath : %s", path.c_str());
      cv::Mat picture = ReadSlotPicture(path, false);
      BlendPictureSlotTexts(record, picture);
      return picture;
    }
    if (type == 1 || type == 2 || type == 4) return ComposeDecoratedSlot(s, host, resource);
    return ReadVideoSlotFrame(record);
  } catch (const std::exception& e) {
    ORV_LOG(kTagMat, "## Slot %d could not be composed (%s)", s, OrvColorUtils::ErrorText(e).c_str());
    if (OrvColorUtils::IsOutOfMemory(e)) throw;
  }
  return cv::Mat();
}

// A decorated slot: the design's art coloured from its target over the
// user's picture (type 1) or a transparent canvas, then its text images.
cv::Mat SlotInformation::ComposeDecoratedSlot(int s, const SlotContext* host, ThemeResource* resource) {
  const SlotContext& record = host[s];
  const int type = slotType[s];
  const PickedColors colours = PickComposingColours(s, host, resource);
  ORV_LOG(kTagMat, " PickedColor,  Start MergedSep");

  cv::Mat picture;
  if (type == 1) {
    picture = ReadSlotPicture(ReadablePathOf(record.layers[0]), true);
  } else {
    picture = cv::Mat::zeros(OrvColorUtils::kFrameHeight, OrvColorUtils::kFrameWidth, CV_8UC4);
  }
  OrvColorUtils::BlendDesignArt(mImageLayerTable, design[s] - 1, colours, picture, kTagMat,
                                OrvColorUtils::ArtLog::Composing);
  BlendDecoratedSlotTexts(record, picture);
  ORV_LOG(kTagMat, "Before return mat");
  return picture;
}

PickedColors SlotInformation::PickComposingColours(int s, const SlotContext* host, ThemeResource* resource) {
  const SlotContext& record = host[s];
  const int type = slotType[s];
  const int tt = targetType[s];
  const int ti = targetIndex[s];
  PickedColors colours;
  OrvColorUtils::SetGreyColors(&colours, mColorStyle);
  ORV_LOG(kTagMat, " design : %d, targetType : %d, targetIndex : %d, slotIndex : %d, slotType : %d", design[s] - 1,
          tt, ti, s, type);

  // A paper whose picture the user chose takes its colours from it.
  const std::string chosen = type == 2 ? ReadablePathOf(record.layers[0]) : std::string();
  if (!chosen.empty()) {
    ORV_LOG(kTagMat, "  Target(chosen image), path : %s", chosen.c_str());
    OrvColorUtils::PickColorFromImage(&colours, chosen);
  } else if (tt == 1) {
    if (ti >= 0 && ti < mSlotCount) {
      const std::string path = ReadablePathOf(host[ti].layers[0]);
      ORV_LOG(kTagMat, "  Target(image), path : %s", path.c_str());
      OrvColorUtils::PickColorFromImage(&colours, path);
    } else {
      ORV_LOG(kTagMat, "## Colour target slot out of range, targetIndex : %d, slots : %d", ti, mSlotCount);
    }
  } else {
    if (tt == 2 && ti >= 1 && static_cast<size_t>(ti - 1) < resource->mVideoList.size()) {
      const int videoSlot = resource->mVideoList[ti - 1].slotIndex;
      const std::string firstFrame =
          (videoSlot >= 0 && videoSlot < mSlotCount) ? ReadablePathOf(host[videoSlot].layers[0]) : std::string();
      ORV_LOG(kTagMat, " Target(video), slotIndex : %d, firstFrameImageStr : %s", videoSlot, firstFrame.c_str());
    }
    OrvColorUtils::PickColorFromTarget(host, mSummarizedVideoList, tt, ti, &colours, mSlotCount);
  }
  LogColours(kTagMat, colours);
  return colours;
}

void SlotInformation::ForgetReplacement() {
  WorkSpaceImagePath[0] = 0;
  mSeparatorImagePath[0] = 0;
}

void SlotInformation::UpdateSlot(std::vector<SlotContext>* slots, int s, const char16_t* imagePath) {
  const size_t length = AcceptedUpdatePathLength(slots, s, imagePath);
  if (length == 0) {
    // Any refused update leaves no earlier replacement to report.
    ForgetReplacement();
    return;
  }
  const std::u16string widePath(imagePath, length);
  const std::string tempDir = WideToMultiByte(FieldText(mUserInputContext->tempDirPath, REELKA_PATH_LEN).c_str());
  SlotContext& record = (*slots)[s];
  ORV_LOG(kTagUpdate,
          "UpdateSlot, slotIndex : %d, slotType : %d, wsWidth : %d, wsHeight : %d, tubWidth : %d, tubHeight : %d, "
          "tempDirPath : %s",
          s, record.slotType, mUserInputContext->wsWidth, mUserInputContext->wsHeight, mUserInputContext->tubWidth,
          mUserInputContext->tubHeight, tempDir.c_str());
  ORV_LOG(kTagUpdate, "InputImagePath : %s", WideToMultiByte(widePath.c_str()).c_str());
  ForgetReplacement();

  const int type = record.slotType;
  if (type != 0 && type != 1 && type != 2) {
    ORV_LOG(kTagUpdate, "Leave UpdateSlot");
    return;
  }
  try {
    const cv::Mat picture = ReadReplacementPicture(widePath);
    if (picture.empty()) return;
    if (type == 0) {
      record.layers[0].layerType = 0;
      platform::CopyWideField(record.layers[0].layerSource, REELKA_PATH_LEN, widePath);
      platform::CopyWideField(WorkSpaceImagePath, REELKA_PATH_LEN, widePath);
      ORV_LOG(kTagUpdate, "Leave UpdateSlot");
      return;
    }
    if (!ReplaceDecoratedPicture(slots, s, widePath, picture, tempDir)) return;
  } catch (const std::exception& e) {
    ORV_LOG(kTagUpdate, "## Slot %d could not be updated (%s)", s, OrvColorUtils::ErrorText(e).c_str());
    ForgetReplacement();
    return;
  }
  ORV_LOG(kTagUpdate, "Leave UpdateSlot");
}

size_t SlotInformation::AcceptedUpdatePathLength(const std::vector<SlotContext>* slots, int s,
                                                 const char16_t* imagePath) const {
  const size_t count = slots ? slots->size() : 0;
  if (static_cast<unsigned>(s) >= count) {
    ORV_LOG(kTagUpdate, "Error, Changed slotIndex over slotSize, index : %d, size : %d", s, static_cast<int>(count));
    return 0;
  }
  if (!slotType || !mUserInputContext || s >= mSlotCount) {
    ORV_LOG(kTagUpdate, "## Slots were not filled by this theme, update refused (index : %d)", s);
    return 0;
  }
  const size_t length = imagePath ? platform::WideLength(imagePath, REELKA_PATH_LEN) : 0;
  if (length == 0 || length >= REELKA_PATH_LEN) {
    ORV_LOG(kTagUpdate, "## Image path is %s, update refused", imagePath ? (length ? "too long" : "empty") : "null");
    return 0;
  }
  return length;
}

// A decorated slot (type 1 or 2) takes the new picture and its workspace
// image is composed again; when that image cannot be written the slot keeps
// its old picture.
bool SlotInformation::ReplaceDecoratedPicture(std::vector<SlotContext>* slots, int s, const std::u16string& widePath,
                                              const cv::Mat& picture, const std::string& tempDir) {
  SlotContext& record = (*slots)[s];
  const LayerContext previous = record.layers[0];
  PickedColors colours;
  OrvColorUtils::SetGreyColors(&colours, mColorStyle);
  // Type 1 shows the new picture; a paper remembers it as its colour source.
  record.layers[0].layerType = 0;
  platform::CopyWideField(record.layers[0].layerSource, REELKA_PATH_LEN, widePath);
  if (record.slotType == 1) {
    OrvColorUtils::PickColorFromTarget(slots->data(), mSummarizedVideoList, targetType[s], targetIndex[s], &colours,
                                       static_cast<int>(std::min<size_t>(slots->size(), mSlotCount)));
  } else {
    OrvColorUtils::PickDominantColor(OrvColorUtils::ToBGR8(picture), &colours);
  }
  LogColours(kTagUpdate, colours);

  cv::Mat canvas = cv::Mat::zeros(OrvColorUtils::kFrameHeight, OrvColorUtils::kFrameWidth, CV_8UC4);
  OrvColorUtils::BlendDesignArt(mImageLayerTable, design[s] - 1, colours, canvas, kTagUpdate,
                                OrvColorUtils::ArtLog::Composing);
  char wsPath[kWSPathCapacity] = {0};
  CreateWSImagePath(s, design[s], wsPath, tempDir);
  const std::u16string wideWsPath = MultiByteToWide(wsPath);
  LayerContext layer1 = record.layers[1];
  layer1.layerType = 2;
  layer1.x = 0;
  layer1.y = 0;
  layer1.width = OrvColorUtils::kFrameWidth;
  layer1.height = OrvColorUtils::kFrameHeight;
  if (!wsPath[0] || !platform::CopyWideField(layer1.layerSource, REELKA_PATH_LEN, wideWsPath) ||
      !OrvColorUtils::WriteImageFile(wsPath, canvas, kTagUpdate)) {
    ORV_LOG(kTagUpdate, "## Workspace image not written, slot %d keeps its picture", s);
    record.layers[0] = previous;
    return false;
  }
  record.layers[1] = layer1;
  platform::CopyWideField(WorkSpaceImagePath, REELKA_PATH_LEN, wideWsPath);
  return true;
}

int SlotInformation::GetReplacedSlot(char16_t** wsPath, char16_t** sepPath) {
  ORV_LOG(kTagReplaced, "Enter SlotInformation, GetReplacedSlot");
  ORV_LOG(kTagReplaced, "Parameters Value : %p(%p), %p(%p)", static_cast<void*>(wsPath),
          wsPath ? static_cast<void*>(*wsPath) : nullptr, static_cast<void*>(sepPath),
          sepPath ? static_cast<void*>(*sepPath) : nullptr);
  if (WorkSpaceImagePath[0] == 0) return 0;
  const std::u16string ws = FieldText(WorkSpaceImagePath, REELKA_PATH_LEN);
  const std::u16string sep = FieldText(mSeparatorImagePath, REELKA_PATH_LEN);
  if (wsPath && *wsPath) {
    ORV_LOG(kTagReplaced, "WorkSpaceImagePath : %s", WideToMultiByte(ws.c_str()).c_str());
    platform::CopyWideField(*wsPath, REELKA_PATH_LEN, ws);
  }
  if (sepPath && *sepPath) {
    ORV_LOG(kTagReplaced, "mSeparatorImagePath : %s", WideToMultiByte(sep.c_str()).c_str());
    platform::CopyWideField(*sepPath, REELKA_PATH_LEN, sep);
  }
  ORV_LOG(kTagReplaced, "Leave GetReplacedSlot");
  return 100;
}
