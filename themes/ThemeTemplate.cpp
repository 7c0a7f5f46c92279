#include "themes/ThemeTemplate.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "api/Log.h"
#include "platform/Platform.h"
#include "themes/SceneListParser.h"

namespace {

constexpr size_t kSequenceCapacity = 100;

ThemeBuilderTable ParseBuilder(const ThemeBuilderText& text) {
  ThemeBuilderTable table;
  std::string error;
  const char* field = "slotType";
  bool ok = ParseIntList(text.slotType, &table.slotType, &error);
  if (ok) field = "design", ok = ParseIntList(text.design, &table.design, &error);
  if (ok) field = "targetType", ok = ParseIntList(text.targetType, &table.targetType, &error);
  if (ok) field = "targetIndex", ok = ParseIntList(text.targetIndex, &table.targetIndex, &error);
  if (ok) field = "scenes", ok = ParseSceneList(text.scenes, &table.scenes, &error);
  const size_t n = static_cast<size_t>(text.slotCount);
  if (ok && (table.slotType.size() != n || table.design.size() != n || table.targetType.size() != n ||
             table.targetIndex.size() != n)) {
    ok = false;
    field = "slot table";
    error = "list length differs from the slot count";
  }
  if (ok && table.scenes.size() != static_cast<size_t>(text.sceneCount)) {
    ok = false;
    field = "scenes";
    error = "scene count differs";
  }
  table.valid = ok;
  if (!ok) table.error = std::string(text.name ? text.name : "?") + " " + field + ": " + error;
  return table;
}

void CopyNarrow(char16_t* dst, size_t capacity, const char* src) {
  platform::CopyWideField(dst, capacity, platform::Utf8ToUtf16(src ? src : ""));
}

}  // namespace

const ThemeBuilderTables& GetThemeBuilderTables(const ThemeData& data) {
  static std::mutex mutex;
  static std::map<const ThemeData*, std::unique_ptr<ThemeBuilderTables>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto found = cache.find(&data);
  if (found != cache.end()) return *found->second;
  auto tables = std::make_unique<ThemeBuilderTables>();
  for (int i = 0; i < kThemeBuilderCount; ++i) {
    (*tables)[i] = ParseBuilder(data.builders[i]);
    if (!(*tables)[i].valid) {
      ORV_LOG("ThemeTemplate::GetThemeBuilderTables", "## Theme data error, %s : %s", data.className,
              (*tables)[i].error.c_str());
    }
  }
  const ThemeBuilderTables& result = *tables;
  cache.emplace(&data, std::move(tables));
  return result;
}

ThemeTemplate::ThemeTemplate(const ThemeData& data)
    : SlotInformation(data.colorStyle, data.namingCode),
      mThemeLimit(data.limit),
      mData(data),
      mTables(GetThemeBuilderTables(data)),
      mFillSlotContextTag(std::string(data.className) + "::FillSlotContext") {
  mThemeSequence.reserve(kSequenceCapacity);
  mSequenceType = 0;
  mSequenceVariant = 0;
  mTargetFunctions[0] = &ThemeTemplate::FillVideoSequence1;
  mTargetFunctions[1] = &ThemeTemplate::FillVideoSequence2;
  mTargetFunctions[2] = &ThemeTemplate::FillVideoSequence3;
  mTargetFunctions[3] = &ThemeTemplate::FillImageSequence1;
  mTargetFunctions[4] = &ThemeTemplate::FillImageSequence2;
  mTargetFunctions[5] = &ThemeTemplate::FillImageSequence3;
  InitLayerTable();
  InitTextLayerTable();
}

ThemeTemplate::~ThemeTemplate() = default;

void ThemeTemplate::InitLayerTable() {
  for (const ThemeImageLayerRow& row : mData.imageLayers) {
    if (row.design < 1 || row.design > kThemeDesigns) continue;
    const int d = row.design - 1;
    const int count = std::min<int>(row.count, kThemeLayersPerDesign);
    const size_t codeCount = row.codes ? std::strlen(row.codes) : 0;
    mImageLayerTable.counts[d] = count;
    for (int j = 0; j < count; ++j) {
      LayerContext& layer = mImageLayerTable.layers[d][j];
      layer.layerType = 2;
      std::string path = platform::Format("%s%s_%d_%02d.png", mData.artFolder, mData.filePrefix, row.design, j + 1);
      CopyNarrow(layer.layerSource, REELKA_PATH_LEN, path.c_str());
      layer.x = 0;
      layer.y = 0;
      layer.width = 1920;
      layer.height = 1080;
      mImageLayerTable.codes[d][j] = static_cast<size_t>(j) < codeCount ? row.codes[j] : '.';
    }
  }
}

void ThemeTemplate::InitTextLayerTable() {
  for (size_t i = 0; i < mData.textLayerCount; ++i) {
    const ThemeTextLayerRow& row = mData.textLayers[i];
    if (row.design < 1 || row.design > kThemeDesigns || row.layer < 0 || row.layer >= kThemeLayersPerDesign) continue;
    const int d = row.design - 1;
    LayerContext& layer = mTextLayerTable.layers[d][row.layer];
    layer.layerType = 3;
    layer.layerSource[0] = 0;
    layer.x = row.x;
    layer.y = row.y;
    layer.width = row.width;
    layer.height = row.height;
    layer.size = row.size;
    CopyNarrow(layer.text, REELKA_PATH_LEN, row.text);
    CopyNarrow(layer.font, REELKA_PATH_LEN, row.font);
    CopyNarrow(layer.vertical, REELKA_SHORT_LEN, row.vertical);
    CopyNarrow(layer.horizontal, REELKA_SHORT_LEN, row.horizontal);
    CopyNarrow(layer.colour, REELKA_SHORT_LEN, row.colour);
    CopyNarrow(layer.background, REELKA_SHORT_LEN, row.background);
    mTextLayerTable.codes[d][row.layer] = row.code;
    mTextLayerTable.counts[d] = std::max(mTextLayerTable.counts[d], row.layer + 1);
  }
}

ThemeLimit* ThemeTemplate::GetThemeLimitInfo(ThemeLimit* out) {
  if (!out) return out;
  out->maxImage = mThemeLimit.maxImage;
  out->minImage = mThemeLimit.minImage;
  out->minVideoSec = mThemeLimit.minVideoSec;
  out->maxVideoSec = mThemeLimit.maxVideoSec;
  return out;
}

int ThemeTemplate::GetEstimatedTimeSec(int numOfImage, int lengthOfVideoSec) {
  // Video length decides first, whatever the number of images.
  for (const ThemeBand& band : mData.bands) {
    if (band.type == 1 && band.lower <= lengthOfVideoSec && lengthOfVideoSec < band.upper) {
      mSummaryPlan.summaryLengthSec = band.summaryLengthSec;
      mSummaryPlan.sfLengthSec = band.sfLengthSec;
      mSequenceType = 1;
      mSequenceVariant = band.variant;
      return band.seconds;
    }
  }
  for (const ThemeBand& band : mData.bands) {
    if (band.type == 2 && band.lower < numOfImage && numOfImage <= band.upper) {
      mSequenceVariant = band.variant;
      mSequenceType = 2;
      mSummaryPlan.summaryLengthSec = 0.0;
      mSummaryPlan.sfLengthSec = 0.0;
      return band.seconds;
    }
  }
  return 0;  // no band: an earlier band stays in force
}

SummaryPlan ThemeTemplate::GetSummaryPlan() {
  SummaryPlan plan;
  plan.summaryLengthSec = mSummaryPlan.summaryLengthSec;
  plan.sfLengthSec = mSummaryPlan.sfLengthSec;
  plan.videoPaths = mSummaryPlan.videoPaths;
  return plan;
}

ThemeSequence ThemeTemplate::GetThemeSequence() { return mThemeSequence; }

int ThemeTemplate::GetSeparatorCount() { return mData.separatorCount; }

void ThemeTemplate::FillSlotContext(std::vector<SlotContext>* slots, std::vector<SummarizedVideo>* summarizedList,
                                    UserInputContext* input) {
  mSummarizedVideoList = summarizedList;
  mUserInputContext = input;
  const int index = 3 * mSequenceType + mSequenceVariant - 4;
  const bool hasBand = (mSequenceType == 1 || mSequenceType == 2) && mSequenceVariant >= 1 && mSequenceVariant <= 3;
  if (!hasBand) {
    // No estimate fixed a band: there is no builder to run.
    ORV_LOG(mFillSlotContextTag.c_str(),
            "## No sequence band was fixed (type : %d, variant : %d), no slot is filled", mSequenceType,
            mSequenceVariant);
    if (slots) slots->clear();
    mThemeSequence.clear();
    return;
  }
  ORV_LOG(mFillSlotContextTag.c_str(), "Target function index : %d, SummarizationVideoList pointer : %p", index,
          static_cast<void*>(summarizedList));
  (this->*mTargetFunctions[index])(slots);
}

const ThemeBuilderTable& ThemeTemplate::GetBuilderTable(int index) const {
  if (index < 0 || index >= kThemeBuilderCount) index = 0;
  return mTables[index];
}

void ThemeTemplate::RunBuilder(int index, std::vector<SlotContext>* slots) {
  const ThemeBuilderTable& table = mTables[index];
  if (!slots || !table.valid) {
    ORV_LOG(mFillSlotContextTag.c_str(), "## Builder %d cannot run, %s", index,
            slots ? table.error.c_str() : "no slot list");
    if (slots) slots->clear();
    mThemeSequence.clear();
    return;
  }
  const int n = static_cast<int>(table.slotType.size());
  FillSlotContextForSequence(slots, n, table.slotType.data(), table.design.data(), table.targetType.data(),
                             table.targetIndex.data());
  mThemeSequence.clear();
  if (mThemeSequence.capacity() < kSequenceCapacity) mThemeSequence.reserve(kSequenceCapacity);
  if (static_cast<int>(slots->size()) != n) {
    // The scenes name slots by position: without all of them there is no clip.
    ORV_LOG(mFillSlotContextTag.c_str(), "## Slot filling gave %d of %d slots, no scene is built",
            static_cast<int>(slots->size()), n);
    return;
  }
  mThemeSequence.insert(mThemeSequence.end(), table.scenes.begin(), table.scenes.end());
}

void ThemeTemplate::FillVideoSequence1(std::vector<SlotContext>* slots) { RunBuilder(0, slots); }
void ThemeTemplate::FillVideoSequence2(std::vector<SlotContext>* slots) { RunBuilder(1, slots); }
void ThemeTemplate::FillVideoSequence3(std::vector<SlotContext>* slots) { RunBuilder(2, slots); }
void ThemeTemplate::FillImageSequence1(std::vector<SlotContext>* slots) { RunBuilder(3, slots); }
void ThemeTemplate::FillImageSequence2(std::vector<SlotContext>* slots) { RunBuilder(4, slots); }
void ThemeTemplate::FillImageSequence3(std::vector<SlotContext>* slots) { RunBuilder(5, slots); }
