// The theme family: one implementation of limits, estimate bands, summary
// plan and sequence builders, driven by a per-theme data table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "themes/SlotInformation.h"

// One row of the estimate table. Video rows (type 1) match
// lower <= seconds < upper; image rows (type 2) match lower < images <= upper.
struct ThemeBand {
  int32_t type;
  int32_t lower;
  int32_t upper;
  int32_t variant;
  int32_t seconds;
  double summaryLengthSec;
  double sfLengthSec;
};

// One sequence builder as written in the theme data.
struct ThemeBuilderText {
  const char* name;
  int32_t slotCount;
  int32_t sceneCount;
  const char* slotType;
  const char* design;
  const char* targetType;
  const char* targetIndex;
  const char* scenes;
};

struct ThemeImageLayerRow {
  int32_t design;
  int32_t count;
  const char* codes;  // one colour code per layer
};

struct ThemeTextLayerRow {
  int32_t design;
  int32_t layer;
  char code;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t size;
  const char* text;
  const char* font;
  const char* vertical;
  const char* horizontal;
  const char* colour;
  const char* background;
};

constexpr int kThemeBuilderCount = 6;
constexpr int kThemeBandCount = 7;

struct ThemeData {
  const char* className;
  int32_t colorStyle;
  const char* namingCode;
  ThemeLimit limit;
  int32_t separatorCount;
  const char* artFolder;
  const char* filePrefix;
  ThemeBand bands[kThemeBandCount];
  ThemeBuilderText builders[kThemeBuilderCount];
  ThemeImageLayerRow imageLayers[kThemeDesigns];
  const ThemeTextLayerRow* textLayers;
  size_t textLayerCount;
};

// A builder's slot table and scene list, parsed from its text.
struct ThemeBuilderTable {
  std::vector<int32_t> slotType;
  std::vector<int32_t> design;
  std::vector<int32_t> targetType;
  std::vector<int32_t> targetIndex;
  ThemeSequence scenes;
  bool valid = false;
  std::string error;
};

using ThemeBuilderTables = std::array<ThemeBuilderTable, kThemeBuilderCount>;

// Parsed once per process for each data table.
const ThemeBuilderTables& GetThemeBuilderTables(const ThemeData& data);

class ThemeTemplate : public SlotInformation {
 public:
  ~ThemeTemplate() override;

  ThemeLimit* GetThemeLimitInfo(ThemeLimit* out) override;
  int GetEstimatedTimeSec(int numOfImage, int lengthOfVideoSec) override;
  SummaryPlan GetSummaryPlan() override;
  ThemeSequence GetThemeSequence() override;
  int GetSeparatorCount() override;
  void FillSlotContext(std::vector<SlotContext>* slots, std::vector<SummarizedVideo>* summarizedList,
                       UserInputContext* input) override;

  int GetSequenceType() const { return mSequenceType; }
  int GetSequenceVariant() const { return mSequenceVariant; }
  const ThemeData& GetThemeData() const { return mData; }
  // Builder 0..5 in the order of mTargetFunctions.
  const ThemeBuilderTable& GetBuilderTable(int index) const;

 protected:
  explicit ThemeTemplate(const ThemeData& data);

  void FillVideoSequence1(std::vector<SlotContext>* slots);
  void FillVideoSequence2(std::vector<SlotContext>* slots);
  void FillVideoSequence3(std::vector<SlotContext>* slots);
  void FillImageSequence1(std::vector<SlotContext>* slots);
  void FillImageSequence2(std::vector<SlotContext>* slots);
  void FillImageSequence3(std::vector<SlotContext>* slots);

  using SequenceBuilder = void (ThemeTemplate::*)(std::vector<SlotContext>*);

  SequenceBuilder mTargetFunctions[kThemeBuilderCount];
  SummaryPlan mSummaryPlan;
  ThemeSequence mThemeSequence;
  ThemeLimit mThemeLimit;
  int32_t mSequenceType = 0;
  int32_t mSequenceVariant = 0;

 private:
  void InitLayerTable();
  void InitTextLayerTable();
  void RunBuilder(int index, std::vector<SlotContext>* slots);

  const ThemeData& mData;
  const ThemeBuilderTables& mTables;
  std::string mFillSlotContextTag;
};
