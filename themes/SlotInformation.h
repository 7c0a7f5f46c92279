// The abstract theme: limits, bands, scene lists, slot filling and slot pictures.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "reelka/reelka.h"
#include "themes/ThemeTypes.h"
#include "videoengine/VideoEngine.h"

class ThemeResource;
struct PickedColors;

// Room for a narrow workspace image path: any path that fits the host's
// UTF-16 fields, at up to three bytes per unit.
constexpr size_t kWSPathCapacity = 3 * REELKA_PATH_LEN;

class SlotInformation {
 public:
  virtual ~SlotInformation();

  virtual ThemeLimit* GetThemeLimitInfo(ThemeLimit* out) = 0;
  virtual int GetEstimatedTimeSec(int numOfImage, int lengthOfVideoSec) = 0;
  virtual SummaryPlan GetSummaryPlan() = 0;
  virtual ThemeSequence GetThemeSequence() = 0;
  virtual int GetSeparatorCount() = 0;
  virtual void FillSlotContext(std::vector<SlotContext>* slots, std::vector<SummarizedVideo>* summarizedList,
                               UserInputContext* input) = 0;

  // Slot pictures and replacement, implemented once for all themes.
  virtual cv::Mat GetSlotMat(int slotIndex, const SlotContext* hostSlots, ThemeResource* resource);
  virtual void UpdateSlot(std::vector<SlotContext>* slots, int slotIndex, const char16_t* imagePath);
  virtual int GetReplacedSlot(char16_t** wsPath, char16_t** sepPath);

  // Writes the workspace image name into out, which holds kWSPathCapacity bytes.
  void CreateWSImagePath(int slotIndex, int design, char* out, std::string folder);
  // The longest name any working file of this theme adds behind the
  // temporary folder (all names are ASCII: bytes and UTF-16 units agree).
  size_t LongestWorkFileName() const;

  // Theme identity, for logs and tests.
  int GetColorStyle() const { return mColorStyle; }
  const std::string& GetNamingCode() const { return WSFileNamingCode; }
  const ThemeLayerTable& GetImageLayerTable() const { return mImageLayerTable; }
  const ThemeLayerTable& GetTextLayerTable() const { return mTextLayerTable; }
  int GetSlotArrayCount() const { return mSlotCount; }
  const int32_t* GetSlotTypes() const { return slotType.get(); }
  const int32_t* GetDesigns() const { return design.get(); }
  const int32_t* GetTargetTypes() const { return targetType.get(); }
  const int32_t* GetTargetIndices() const { return targetIndex.get(); }
  const int32_t* GetAllocatedImages() const { return allocatedImage.get(); }

 protected:
  SlotInformation(int colorStyle, std::string wsFileNamingCode);

  // Turns a builder's slot table into the run's slot contexts.
  void FillSlotContextForSequence(std::vector<SlotContext>* slots, int N, const int32_t* slotTypes,
                                  const int32_t* designs, const int32_t* targetTypes, const int32_t* targetIndices);
  void ReleaseSlotArrays();

 private:
  // Steps of slot filling, in the order they run.
  int UsableImageCount() const;  // 0 (logged) when there is no input or no picture
  void CopySlotTable(int N, const int32_t* slotTypes, const int32_t* designs, const int32_t* targetTypes,
                     const int32_t* targetIndices, int numOfImage);
  int SetSlotShape(SlotContext& slot, int i) const;  // returns the slot's text layer count
  void FillSlotLayers(std::vector<SlotContext>* slots, int i, int textCount, const std::string& tempDir,
                      std::map<std::string, PickedColors>& pickedByPath);
  void WriteFirstFrameLayer(LayerContext& layer, int i, const std::string& tempDir);
  PickedColors PickSlotColours(std::vector<SlotContext>* slots, int i,
                               std::map<std::string, PickedColors>& pickedByPath);
  void WriteWorkspaceLayer(LayerContext& layer, int i, const PickedColors& colours, cv::Mat& canvas,
                           const std::string& tempDir);
  void FillTextLayers(SlotContext& slot, int i, int textCount, const PickedColors& colours);

  // Steps of slot pictures and replacement.
  cv::Mat ComposeDecoratedSlot(int s, const SlotContext* host, ThemeResource* resource);
  PickedColors PickComposingColours(int s, const SlotContext* host, ThemeResource* resource);
  void ForgetReplacement();
  // The length of an acceptable replacement path, or 0 (logged) when the update is refused.
  size_t AcceptedUpdatePathLength(const std::vector<SlotContext>* slots, int s, const char16_t* imagePath) const;
  bool ReplaceDecoratedPicture(std::vector<SlotContext>* slots, int s, const std::u16string& widePath,
                               const cv::Mat& picture, const std::string& tempDir);

 protected:

  ThemeLayerTable mImageLayerTable{};
  ThemeLayerTable mTextLayerTable{};
  std::vector<SummarizedVideo>* mSummarizedVideoList = nullptr;
  UserInputContext* mUserInputContext = nullptr;
  char16_t WorkSpaceImagePath[REELKA_PATH_LEN] = {0};
  char16_t mSeparatorImagePath[REELKA_PATH_LEN] = {0};
  int32_t mColorStyle = 0;
  std::string WSFileNamingCode;

  // Per-slot arrays of the last slot filling (all present or all absent).
  int mSlotCount = 0;
  std::unique_ptr<int32_t[]> slotType;
  std::unique_ptr<int32_t[]> design;
  std::unique_ptr<int32_t[]> targetType;
  std::unique_ptr<int32_t[]> targetIndex;
  std::unique_ptr<int32_t[]> allocatedImage;
};

// 0 MODERN, 1 SPORTY, 2 VIVID; empty for any other index.
std::shared_ptr<SlotInformation> CreateThemeSlotInformation(int themeIndex);

// True when path names a regular file that opens for reading.
bool IS_EXIST_FILE(std::string path);

// Progress integer that slot filling writes during a start pass (may be null).
extern std::atomic<int>* gSlotProgressTarget;
