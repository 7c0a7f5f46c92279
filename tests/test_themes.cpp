// Theme family: factory, limits, estimate bands, parsed builder tables and
// layer tables of the three themes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "api/Log.h"
#include "platform/Platform.h"
#include "themes/ModernSlotInformation.h"
#include "themes/SceneListParser.h"
#include "themes/SlotInformation.h"
#include "themes/SportySlotInformation.h"
#include "themes/ThemeTemplate.h"
#include "themes/VividSlotInformation.h"

namespace {

enum { kModern = 0, kSporty = 1, kVivid = 2 };

std::shared_ptr<ThemeTemplate> MakeTheme(int index) {
  return std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(index));
}

std::string Narrow(const char16_t* s) { return platform::Utf16ToUtf8(s); }

// Starts a fresh file log under /tmp and returns its path.
std::string StartTestLog(const std::string& root) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/Logs").c_str(), 0755);
  ::mkdir((root + "/work").c_str(), 0755);
  InitLog(platform::Utf8ToUtf16(root + "/work/"));
  std::string path = GetLogFilePath();
  std::remove(path.c_str());
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// ---------------------------------------------------------------- factory

TEST(ThemeFactory, IndexSelectsThemeWithItsIdentity) {
  struct Expect {
    int index;
    int style;
    const char* code;
    int separators;
  } expects[] = {{kModern, 8, "md", 4}, {kSporty, 6, "sp", 3}, {kVivid, 5, "vid", 3}};
  for (const Expect& e : expects) {
    auto theme = CreateThemeSlotInformation(e.index);
    ASSERT_TRUE(theme) << e.index;
    EXPECT_EQ(theme->GetColorStyle(), e.style);
    EXPECT_EQ(theme->GetNamingCode(), e.code);
    EXPECT_EQ(theme->GetSeparatorCount(), e.separators);
    EXPECT_EQ(theme->GetSlotArrayCount(), 0);
    EXPECT_EQ(theme->GetSlotTypes(), nullptr);
    EXPECT_TRUE(theme->GetThemeSequence().empty());
  }
  EXPECT_TRUE(dynamic_cast<ModernSlotInformation*>(CreateThemeSlotInformation(0).get()));
  EXPECT_TRUE(dynamic_cast<SportySlotInformation*>(CreateThemeSlotInformation(1).get()));
  EXPECT_TRUE(dynamic_cast<VividSlotInformation*>(CreateThemeSlotInformation(2).get()));
  EXPECT_FALSE(CreateThemeSlotInformation(3));
  EXPECT_FALSE(CreateThemeSlotInformation(-1));
  auto a = CreateThemeSlotInformation(1);
  auto b = CreateThemeSlotInformation(1);
  EXPECT_NE(a.get(), b.get());
}

TEST(ThemeFactory, LimitsPerTheme) {
  struct Expect {
    int index;
    ThemeLimit limit;
  } expects[] = {{kModern, {11, 6, 20, 600}}, {kSporty, {11, 6, 20, 600}}, {kVivid, {10, 5, 20, 600}}};
  for (const Expect& e : expects) {
    auto theme = CreateThemeSlotInformation(e.index);
    ThemeLimit out{-1, -1, -1, -1};
    EXPECT_EQ(theme->GetThemeLimitInfo(&out), &out);
    EXPECT_EQ(out.maxImage, e.limit.maxImage) << e.index;
    EXPECT_EQ(out.minImage, e.limit.minImage) << e.index;
    EXPECT_EQ(out.minVideoSec, e.limit.minVideoSec) << e.index;
    EXPECT_EQ(out.maxVideoSec, e.limit.maxVideoSec) << e.index;
    EXPECT_EQ(theme->GetThemeLimitInfo(nullptr), nullptr);
  }
}

// ------------------------------------------------------------------ bands

struct BandCase {
  int images;
  int seconds;
  int result;
  int type;
  int variant;
  double summary;
  double sf;
};

void CheckBands(int themeIndex, const std::vector<BandCase>& cases) {
  for (const BandCase& c : cases) {
    auto theme = MakeTheme(themeIndex);  // fresh theme: no band yet
    SCOPED_TRACE(::testing::Message() << "theme " << themeIndex << ", images " << c.images << ", seconds "
                                      << c.seconds);
    EXPECT_EQ(theme->GetEstimatedTimeSec(c.images, c.seconds), c.result);
    EXPECT_EQ(theme->GetSequenceType(), c.type);
    EXPECT_EQ(theme->GetSequenceVariant(), c.variant);
    SummaryPlan plan = theme->GetSummaryPlan();
    EXPECT_EQ(plan.summaryLengthSec, c.summary);
    EXPECT_EQ(plan.sfLengthSec, c.sf);
    EXPECT_TRUE(plan.videoPaths.empty());
  }
}

TEST(ThemeBands, SportyBoundaries) {
  CheckBands(kSporty, {
                          {0, 19, 0, 0, 0, 0.0, 0.0},    {0, 20, 60, 1, 1, 9.0, 3.0},
                          {0, 29, 60, 1, 1, 9.0, 3.0},   {0, 30, 60, 1, 1, 27.0, 3.0},
                          {0, 44, 60, 1, 1, 27.0, 3.0},  {0, 45, 73, 1, 2, 36.0, 3.0},
                          {0, 299, 73, 1, 2, 36.0, 3.0}, {0, 300, 90, 1, 3, 45.0, 3.0},
                          {0, 600, 90, 1, 3, 45.0, 3.0}, {0, 601, 0, 0, 0, 0.0, 0.0},
                          {5, 0, 0, 0, 0, 0.0, 0.0},     {6, 0, 45, 2, 1, 0.0, 0.0},
                          {7, 0, 45, 2, 1, 0.0, 0.0},    {8, 0, 60, 2, 2, 0.0, 0.0},
                          {9, 0, 60, 2, 2, 0.0, 0.0},    {10, 0, 72, 2, 3, 0.0, 0.0},
                          {11, 0, 72, 2, 3, 0.0, 0.0},   {12, 0, 0, 0, 0, 0.0, 0.0},
                          {50, 100, 73, 1, 2, 36.0, 3.0}, {8, 19, 60, 2, 2, 0.0, 0.0},
                          {6, 601, 45, 2, 1, 0.0, 0.0},  {-3, -20, 0, 0, 0, 0.0, 0.0},
                      });
}

TEST(ThemeBands, VividBoundaries) {
  CheckBands(kVivid, {
                         {0, 19, 0, 0, 0, 0.0, 0.0},     {0, 20, 69, 1, 1, 9.0, 3.0},
                         {0, 29, 69, 1, 1, 9.0, 3.0},    {0, 30, 69, 1, 1, 27.0, 3.0},
                         {0, 44, 69, 1, 1, 27.0, 3.0},   {0, 45, 85, 1, 2, 36.0, 3.0},
                         {0, 299, 85, 1, 2, 36.0, 3.0},  {0, 300, 102, 1, 3, 45.0, 3.0},
                         {0, 600, 102, 1, 3, 45.0, 3.0}, {0, 601, 0, 0, 0, 0.0, 0.0},
                         {4, 0, 0, 0, 0, 0.0, 0.0},      {5, 0, 46, 2, 1, 0.0, 0.0},
                         {6, 0, 46, 2, 1, 0.0, 0.0},     {7, 0, 63, 2, 2, 0.0, 0.0},
                         {8, 0, 63, 2, 2, 0.0, 0.0},     {9, 0, 79, 2, 3, 0.0, 0.0},
                         {10, 0, 79, 2, 3, 0.0, 0.0},    {11, 0, 0, 0, 0, 0.0, 0.0},
                         {2, 40, 69, 1, 1, 27.0, 3.0},
                     });
}

TEST(ThemeBands, ModernBoundaries) {
  CheckBands(kModern, {
                          {0, 19, 0, 0, 0, 0.0, 0.0},    {0, 20, 56, 1, 1, 8.0, 2.0},
                          {0, 29, 56, 1, 1, 8.0, 2.0},   {0, 30, 56, 1, 1, 24.0, 2.0},
                          {0, 44, 56, 1, 1, 24.0, 2.0},  {0, 45, 70, 1, 2, 32.0, 2.0},
                          {0, 299, 70, 1, 2, 32.0, 2.0}, {0, 300, 85, 1, 3, 40.0, 2.0},
                          {0, 600, 85, 1, 3, 40.0, 2.0}, {0, 601, 0, 0, 0, 0.0, 0.0},
                          {5, 0, 0, 0, 0, 0.0, 0.0},     {6, 0, 45, 2, 1, 0.0, 0.0},
                          {7, 0, 45, 2, 1, 0.0, 0.0},    {8, 0, 54, 2, 2, 0.0, 0.0},
                          {9, 0, 54, 2, 2, 0.0, 0.0},    {10, 0, 64, 2, 3, 0.0, 0.0},
                          {11, 0, 64, 2, 3, 0.0, 0.0},   {12, 0, 0, 0, 0, 0.0, 0.0},
                          {2, 40, 56, 1, 1, 24.0, 2.0},
                      });
}

TEST(ThemeBands, NoBandKeepsTheEarlierBandAndImageBandClearsThePlan) {
  auto theme = MakeTheme(kSporty);
  EXPECT_EQ(theme->GetEstimatedTimeSec(0, 300), 90);
  EXPECT_EQ(theme->GetEstimatedTimeSec(0, 0), 0);
  EXPECT_EQ(theme->GetEstimatedTimeSec(40, 700), 0);
  EXPECT_EQ(theme->GetSequenceType(), 1);
  EXPECT_EQ(theme->GetSequenceVariant(), 3);
  EXPECT_EQ(theme->GetSummaryPlan().summaryLengthSec, 45.0);

  EXPECT_EQ(theme->GetEstimatedTimeSec(8, 0), 60);
  EXPECT_EQ(theme->GetSequenceType(), 2);
  EXPECT_EQ(theme->GetSequenceVariant(), 2);
  EXPECT_EQ(theme->GetSummaryPlan().summaryLengthSec, 0.0);
  EXPECT_EQ(theme->GetSummaryPlan().sfLengthSec, 0.0);
}

// --------------------------------------------------------------- builders

struct BuilderExpect {
  int slots;
  int scenes;
  int images;      // slots of type 0 and 1
  int papers;      // slots of type 2 and 4
  int separators;  // separator count x slots of type 4
  double seconds;  // sum of the scene durations
};

const BuilderExpect kSportyBuilders[] = {{17, 41, 11, 6, 9, 42.0},  {20, 47, 12, 8, 12, 49.5},
                                         {25, 57, 15, 10, 15, 60.5}, {15, 35, 12, 3, 0, 44.6},
                                         {20, 47, 16, 4, 0, 58.9},  {25, 57, 20, 5, 0, 71.4}};
const BuilderExpect kVividBuilders[] = {{16, 36, 10, 6, 9, 57.0},   {20, 44, 12, 8, 12, 70.0},
                                        {24, 52, 14, 10, 15, 82.0}, {13, 30, 10, 3, 0, 48.25},
                                        {18, 41, 14, 4, 0, 65.5},   {23, 52, 18, 5, 0, 82.75}};
const BuilderExpect kModernBuilders[] = {{24, 52, 18, 6, 12, 48.0},  {29, 62, 21, 8, 16, 57.75},
                                         {34, 74, 24, 10, 20, 71.4}, {22, 45, 19, 3, 0, 44.4},
                                         {27, 55, 23, 4, 0, 54.15},  {32, 65, 27, 5, 0, 63.55}};

const BuilderExpect* ExpectsFor(int themeIndex) {
  return themeIndex == kSporty ? kSportyBuilders : themeIndex == kVivid ? kVividBuilders : kModernBuilders;
}

bool IsTransitionKind(int code, int base) { return code >= base && code <= base + 14; }

// Checks one builder's table and scene list against the layout the script
// maker and the renderer rely on.
void CheckBuilder(const ThemeTemplate& theme, int b, const BuilderExpect& e) {
  const ThemeBuilderTable& t = theme.GetBuilderTable(b);
  ASSERT_TRUE(t.valid) << t.error;
  const int n = static_cast<int>(t.slotType.size());
  ASSERT_EQ(n, e.slots);
  ASSERT_EQ(t.design.size(), t.slotType.size());
  ASSERT_EQ(t.targetType.size(), t.slotType.size());
  ASSERT_EQ(t.targetIndex.size(), t.slotType.size());
  ASSERT_EQ(static_cast<int>(t.scenes.size()), e.scenes);
  EXPECT_LE(n, REELKA_MAX_SLOTS);

  const bool video = b < 3;
  const int c = const_cast<ThemeTemplate&>(theme).GetSeparatorCount();
  std::vector<int> imageSlots, paperSlots;
  int type4Seen = 0;
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(::testing::Message() << "slot " << i);
    const int type = t.slotType[i];
    ASSERT_TRUE(type == 0 || type == 1 || type == 2 || type == 4);
    if (type == 0 || type == 1) imageSlots.push_back(i);
    if (type == 2 || type == 4) paperSlots.push_back(i);
    EXPECT_NE(type, video ? 1 : 4);
    if (type == 0) {
      EXPECT_EQ(t.design[i], 0);
      EXPECT_EQ(t.targetType[i], 0);
      EXPECT_EQ(t.targetIndex[i], 0);
      continue;
    }
    EXPECT_GE(t.design[i], 1);
    EXPECT_LE(t.design[i], 10);
    // The slot's layers fit the host record: picture, separator, texts.
    EXPECT_LE(theme.GetTextLayerTable().counts[t.design[i] - 1] + 2, REELKA_MAX_LAYERS);
    if (type == 4) {
      ++type4Seen;
      EXPECT_EQ(t.targetType[i], 2);
      EXPECT_EQ(t.targetIndex[i], 1 + c * (type4Seen - 1));
    } else if (t.targetType[i] == 1) {
      ASSERT_GE(t.targetIndex[i], 0);
      ASSERT_LT(t.targetIndex[i], n);
      const int target = t.slotType[t.targetIndex[i]];
      EXPECT_TRUE(target == 0 || target == 1) << "colour target shows no picture";
    } else {
      // Paper coloured from a video block: one of the blocks already named.
      EXPECT_EQ(t.targetType[i], 2);
      EXPECT_GE(t.targetIndex[i], 1);
      EXPECT_LE(t.targetIndex[i], c * type4Seen);
    }
  }
  const int separators = c * type4Seen;
  EXPECT_EQ(static_cast<int>(imageSlots.size()), e.images);
  EXPECT_EQ(static_cast<int>(paperSlots.size()), e.papers);
  EXPECT_EQ(separators, e.separators);

  double seconds = 0.0;
  int nextVideo = 0;
  for (size_t s = 0; s < t.scenes.size(); ++s) {
    const ThemeScene& sc = t.scenes[s];
    SCOPED_TRACE(::testing::Message() << "scene " << s << " code " << sc.effectCode);
    EXPECT_EQ(sc.step, static_cast<int>(s));
    EXPECT_GT(sc.durationSec, 0.0f);
    seconds += sc.durationSec;
    for (int side = 0; side < 2; ++side) {
      const int type = side == 0 ? sc.startType : sc.endType;
      const int index = side == 0 ? sc.startIndex : sc.endIndex;
      if (type == kSceneImage) {
        EXPECT_GE(index, -1);
        EXPECT_LT(index, static_cast<int>(imageSlots.size()));
      } else if (type == kScenePaper) {
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(paperSlots.size()));
        EXPECT_EQ(t.slotType[paperSlots[index]], 2) << "a paper scene shows a paper slot";
      } else {
        ASSERT_EQ(type, kSceneVideo);
        EXPECT_TRUE(video);
        EXPECT_GE(index, 0);
        EXPECT_LT(index, separators);
      }
    }
    // Video blocks play once each, in order.
    if (sc.startType == kSceneVideo) {
      EXPECT_EQ(sc.startIndex, nextVideo++);
    } else if (sc.endType == kSceneVideo) {
      EXPECT_EQ(sc.endIndex, nextVideo++);
    }

    const int code = sc.effectCode;
    const bool startPicture = sc.startType == kSceneImage || sc.startType == kScenePaper;
    const bool endPicture = sc.endType == kSceneImage || sc.endType == kScenePaper;
    if (code == 1000 || code == 1001) {
      EXPECT_EQ(sc.startType, sc.endType);
      EXPECT_EQ(sc.startIndex, sc.endIndex);
      EXPECT_EQ(code == 1001, sc.startType == kSceneVideo);
    } else if (IsTransitionKind(code, 3000)) {
      EXPECT_TRUE(startPicture && endPicture);
    } else if (IsTransitionKind(code, 4000)) {
      EXPECT_TRUE(startPicture && sc.endType == kSceneVideo);
    } else if (IsTransitionKind(code, 5000)) {
      EXPECT_TRUE(sc.startType == kSceneVideo && endPicture);
    } else {
      EXPECT_EQ(code, 6001);
      EXPECT_EQ(sc.startType, kSceneImage);
      EXPECT_GE(sc.startIndex, 0);
    }
    if (sc.startIndex == -1 || sc.endIndex == -1) {
      // The white picture appears only on the way into the three-panel effect.
      EXPECT_TRUE((code == 3012 && sc.endIndex == -1) || (code == 1000 && sc.startIndex == -1));
    }
  }
  EXPECT_EQ(nextVideo, separators);
  EXPECT_NEAR(seconds, e.seconds, 1e-3);
}

TEST(ThemeBuilders, EveryBuilderKeepsTheLayoutOfItsTheme) {
  for (int themeIndex : {kModern, kSporty, kVivid}) {
    auto theme = MakeTheme(themeIndex);
    for (int b = 0; b < kThemeBuilderCount; ++b) {
      SCOPED_TRACE(::testing::Message() << "theme " << themeIndex << " builder " << b);
      CheckBuilder(*theme, b, ExpectsFor(themeIndex)[b]);
    }
  }
}

TEST(ThemeBuilders, VividPassesThroughWhiteBeforeEveryThreePanelScene) {
  auto theme = MakeTheme(kVivid);
  for (int b = 0; b < kThemeBuilderCount; ++b) {
    const ThemeSequence& scenes = theme->GetBuilderTable(b).scenes;
    int panels = 0;
    for (size_t s = 0; s < scenes.size(); ++s) {
      if (scenes[s].effectCode != 6001) continue;
      ++panels;
      ASSERT_GE(s, 2u);
      const ThemeScene& in = scenes[s - 2];
      const ThemeScene& hold = scenes[s - 1];
      EXPECT_EQ(in.effectCode, 3012);
      EXPECT_EQ(in.endIndex, -1);
      EXPECT_FLOAT_EQ(in.durationSec, 1.5f);
      EXPECT_EQ(hold.effectCode, 1000);
      EXPECT_EQ(hold.startIndex, -1);
      EXPECT_FLOAT_EQ(hold.durationSec, 0.25f);
    }
    EXPECT_GE(panels, 3) << "builder " << b;
  }
}

TEST(ThemeBuilders, SpotScenesReadAsWritten) {
  auto sporty = MakeTheme(kSporty);
  const ThemeScene& ripple = sporty->GetBuilderTable(0).scenes[1];  // 3001 I0 0.7 o1
  EXPECT_EQ(ripple.effectCode, 3001);
  EXPECT_EQ(ripple.startType, kSceneImage);
  EXPECT_EQ(ripple.startIndex, 0);
  EXPECT_EQ(ripple.endType, kSceneImage);
  EXPECT_EQ(ripple.endIndex, 0);
  EXPECT_FLOAT_EQ(ripple.effectOption, 1.0f);
  EXPECT_FLOAT_EQ(ripple.durationSec, 0.7f);
  const ThemeScene& toVideo = sporty->GetBuilderTable(0).scenes[5];  // 4010 P0>V0 0.5
  EXPECT_EQ(toVideo.effectCode, 4010);
  EXPECT_EQ(toVideo.startType, kScenePaper);
  EXPECT_EQ(toVideo.endType, kSceneVideo);
  EXPECT_EQ(toVideo.effectOption, 0.0f);

  auto modern = MakeTheme(kModern);
  const ThemeSequence& m1 = modern->GetBuilderTable(1).scenes;  // ends on 3009 I20>I0 0.5
  EXPECT_EQ(m1.back().effectCode, 3009);
  EXPECT_EQ(m1.back().startIndex, 20);
  EXPECT_EQ(m1.back().endIndex, 0);
  for (int b : {0, 2, 3, 4, 5}) {
    const ThemeScene& last = modern->GetBuilderTable(b).scenes.back();
    EXPECT_EQ(last.effectCode, 1000) << b;
    EXPECT_EQ(last.startIndex, 0) << b;
  }
  const ThemeScene& move = modern->GetBuilderTable(0).scenes[28];  // 3002 I10>I11 0.3 o4
  EXPECT_EQ(move.effectCode, 3002);
  EXPECT_FLOAT_EQ(move.effectOption, 4.0f);
  EXPECT_FLOAT_EQ(move.durationSec, 0.3f);

  auto vivid = MakeTheme(kVivid);
  const ThemeScene& panels = vivid->GetBuilderTable(0).scenes[14];  // 6001 I4>I2 3.5
  EXPECT_EQ(panels.effectCode, 6001);
  EXPECT_EQ(panels.startIndex, 4);
  EXPECT_EQ(panels.endIndex, 2);
  EXPECT_FLOAT_EQ(panels.durationSec, 3.5f);
}

// ----------------------------------------------------------------- parser

TEST(SceneListParser, ReadsEveryFormAndRejectsMalformedScenes) {
  ThemeSequence scenes;
  std::string error;
  ASSERT_TRUE(ParseSceneList("1000 I-1 0.25; 3012 I3>I-1 1.5;6001 I4>I2 3.5 o2.5 ;4006 P0>V7 2 o1", &scenes, &error))
      << error;
  ASSERT_EQ(scenes.size(), 4u);
  EXPECT_EQ(scenes[0].startIndex, -1);
  EXPECT_EQ(scenes[0].endIndex, -1);
  EXPECT_EQ(scenes[1].endIndex, -1);
  EXPECT_FLOAT_EQ(scenes[2].effectOption, 2.5f);
  EXPECT_EQ(scenes[3].step, 3);
  EXPECT_EQ(scenes[3].endType, kSceneVideo);
  EXPECT_EQ(scenes[3].endIndex, 7);

  for (const char* bad : {"1000 X0 1", "1000 I0", "1000 I0 1 x2", "1000 I0 1 o", "10a0 I0 1", "1000 I0>P 1",
                          "1000 I0 0", "1000 I0 1;", "", "1000 I0 1,5"}) {
    EXPECT_FALSE(ParseSceneList(bad, &scenes, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(ParseSceneList(nullptr, &scenes, &error));

  std::vector<int32_t> values;
  ASSERT_TRUE(ParseIntList("0, 2,4 , 10", &values, &error));
  EXPECT_EQ(values, (std::vector<int32_t>{0, 2, 4, 10}));
  EXPECT_FALSE(ParseIntList("0, , 2", &values, &error));
  EXPECT_FALSE(ParseIntList("0, 2x", &values, &error));
}

// ----------------------------------------------------------- layer tables

TEST(ThemeLayerTables, ImageLayersNameTheArtByTheRule) {
  struct Expect {
    int index;
    const char* folder;
    const char* prefix;
    int counts[10];
    const char* codes[10];
  } expects[] = {
      {kSporty, "./ReelkaResource/SPORTY/layers/", "sp", {3, 3, 3, 3, 2, 2, 3, 2, 2, 3},
       {"BA.", "BA.", "A..", "A..", "AB", "A.", "BA.", "BA", "A.", "A.."}},
      {kVivid, "./ReelkaResource/VIVID/layers/", "vid", {2, 3, 2, 3, 2, 2, 3, 2, 2, 3},
       {".A", ".A.", "A.", "AB.", ".A", ".A", ".A.", "AB", ".A", "..A"}},
      {kModern, "./ReelkaResource/MODERN/layers/", "md", {3, 3, 3, 3, 2, 2, 2, 2, 3, 3},
       {"A.B", "A.B", "ABA", "ABB", "AB", ".B", "AB", ".B", ".AB", "B.."}},
  };
  for (const Expect& e : expects) {
    auto theme = MakeTheme(e.index);
    const ThemeLayerTable& table = theme->GetImageLayerTable();
    for (int d = 0; d < kThemeDesigns; ++d) {
      ASSERT_EQ(table.counts[d], e.counts[d]) << e.prefix << " design " << d + 1;
      for (int j = 0; j < kThemeLayersPerDesign; ++j) {
        const LayerContext& layer = table.layers[d][j];
        if (j >= table.counts[d]) {
          EXPECT_EQ(layer.layerType, 0);
          EXPECT_EQ(layer.layerSource[0], 0);
          EXPECT_EQ(table.codes[d][j], 0);
          continue;
        }
        char name[64];
        std::snprintf(name, sizeof(name), "%s%s_%d_%02d.png", e.folder, e.prefix, d + 1, j + 1);
        EXPECT_EQ(Narrow(layer.layerSource), name);
        EXPECT_EQ(layer.layerType, 2);
        EXPECT_EQ(layer.x, 0);
        EXPECT_EQ(layer.y, 0);
        EXPECT_EQ(layer.width, 1920);
        EXPECT_EQ(layer.height, 1080);
        EXPECT_EQ(table.codes[d][j], e.codes[d][j]) << name;
      }
    }
  }
  auto sporty = MakeTheme(kSporty);
  EXPECT_EQ(Narrow(sporty->GetImageLayerTable().layers[9][2].layerSource),
            "./ReelkaResource/SPORTY/layers/sp_10_03.png");
}

TEST(ThemeLayerTables, TextLayersCarryTheirTemplates) {
  const int counts[3][10] = {{3, 2, 3, 3, 3, 2, 2, 3, 2, 3},   // MODERN
                             {3, 2, 1, 4, 2, 4, 2, 2, 3, 3},   // SPORTY
                             {3, 3, 3, 3, 3, 4, 3, 2, 4, 3}};  // VIVID
  for (int themeIndex : {kModern, kSporty, kVivid}) {
    auto theme = MakeTheme(themeIndex);
    const ThemeLayerTable& table = theme->GetTextLayerTable();
    for (int d = 0; d < kThemeDesigns; ++d) {
      ASSERT_EQ(table.counts[d], counts[themeIndex][d]) << themeIndex << " design " << d + 1;
      for (int j = 0; j < table.counts[d]; ++j) {
        const LayerContext& l = table.layers[d][j];
        EXPECT_EQ(l.layerType, 3);
        EXPECT_EQ(l.layerSource[0], 0);
        EXPECT_GT(l.width, 0);
        EXPECT_GT(l.height, 0);
        EXPECT_GE(l.x, 0);
        EXPECT_GE(l.y, 0);
        EXPECT_LE(l.x + l.width, 1920);
        EXPECT_LE(l.y + l.height, 1080);
        EXPECT_EQ(Narrow(l.background), "rgba(255, 255, 255, 0)");
        EXPECT_EQ(Narrow(l.colour).rfind("rgba(", 0), 0u);
        EXPECT_FALSE(Narrow(l.font).empty());
        std::string v = Narrow(l.vertical), h = Narrow(l.horizontal);
        EXPECT_TRUE(v == "top" || v == "middle") << v;
        EXPECT_TRUE(h == "left" || h == "center" || h == "right") << h;
        const char code = table.codes[d][j];
        EXPECT_TRUE(code == 'A' || code == 'B' || code == '.') << code;
      }
    }
  }

  // Rows whose codes and alphas decide the picked text colours.
  auto modern = MakeTheme(kModern);
  const ThemeLayerTable& mt = modern->GetTextLayerTable();
  EXPECT_EQ(Narrow(mt.layers[0][0].text), "&#51;");
  EXPECT_EQ(Narrow(mt.layers[8][0].text), "&#48;&#51;");
  EXPECT_EQ(Narrow(mt.layers[3][1].colour), "rgba(0, 0, 0, 80)");
  EXPECT_EQ(Narrow(mt.layers[3][2].colour), "rgba(0, 0, 0, 50)");
  EXPECT_EQ(std::string(mt.codes[3], 3), "BBB");
  EXPECT_EQ(mt.codes[9][2], 'A');
  auto sporty = MakeTheme(kSporty);
  EXPECT_EQ(std::string(sporty->GetTextLayerTable().codes[5], 4), "A.A.");
  EXPECT_EQ(Narrow(sporty->GetTextLayerTable().layers[3][2].text), "&#8220;");
  auto vivid = MakeTheme(kVivid);
  const ThemeLayerTable& vt = vivid->GetTextLayerTable();
  EXPECT_EQ(Narrow(vt.layers[5][1].colour), "rgba(0, 0, 0, 40)");
  EXPECT_EQ(std::string(vt.codes[9], 3), "AA.");
  EXPECT_EQ(Narrow(vt.layers[3][0].text), "&#52;");
}

// ------------------------------------------------------------ file test

TEST(IsExistFile, OnlyRegularFilesCountAndTheLogSaysSo) {
  const std::string root = "/tmp/reelka_test_themes_exist";
  const std::string log = StartTestLog(root);
  const std::string file = root + "/work/seven.bin";
  const std::string empty = root + "/work/empty.bin";
  {
    std::ofstream(file, std::ios::binary) << "1234567";
    std::ofstream(empty, std::ios::binary);
  }
  EXPECT_TRUE(IS_EXIST_FILE(file));
  EXPECT_TRUE(IS_EXIST_FILE(empty));
  EXPECT_FALSE(IS_EXIST_FILE(root + "/work"));  // a folder
  EXPECT_FALSE(IS_EXIST_FILE(root + "/work/missing.png"));
  EXPECT_FALSE(IS_EXIST_FILE(""));
  std::string text = ReadFile(log);
  EXPECT_NE(text.find("[IS_EXIST_FILE]"), std::string::npos);
  EXPECT_NE(text.find("File Exist, Path : " + file + ", Size : 7 bytes"), std::string::npos);
  EXPECT_NE(text.find("File Exist, Path : " + empty + ", Size : 0 bytes"), std::string::npos);
  EXPECT_NE(text.find("File Not Exist, Path : " + root + "/work\n"), std::string::npos);
  EXPECT_NE(text.find("File Not Exist, Path : " + root + "/work/missing.png"), std::string::npos);

  const int level = gLogLevel.load();
  gLogLevel = 1;
  std::remove(log.c_str());
  EXPECT_TRUE(IS_EXIST_FILE(file));
  EXPECT_FALSE(IS_EXIST_FILE(root + "/nothing"));
  gLogLevel = level;
  EXPECT_TRUE(ReadFile(log).empty());
}

// ------------------------------------------------------- slot context

TEST(ThemeFillSlotContext, WithoutABandBuildsNothingAndLogsWhy) {
  const std::string log = StartTestLog("/tmp/reelka_test_themes_noband");
  for (int themeIndex : {kModern, kSporty, kVivid}) {
    auto theme = MakeTheme(themeIndex);
    EXPECT_EQ(theme->GetEstimatedTimeSec(1, 0), 0);  // no band
    std::vector<SlotContext> slots(3);
    auto input = std::make_unique<UserInputContext>();
    theme->FillSlotContext(&slots, nullptr, input.get());
    EXPECT_TRUE(slots.empty());
    EXPECT_TRUE(theme->GetThemeSequence().empty());
    EXPECT_EQ(theme->GetSlotTypes(), nullptr);
    theme->FillSlotContext(nullptr, nullptr, nullptr);  // no crash either way
  }
  std::string text = ReadFile(log);
  for (const char* tag : {"[ModernSlotInformation::FillSlotContext]", "[SportySlotInformation::FillSlotContext]",
                          "[VividSlotInformation::FillSlotContext]"}) {
    EXPECT_NE(text.find(tag), std::string::npos) << tag;
  }
  EXPECT_NE(text.find("No sequence band was fixed (type : 0, variant : 0)"), std::string::npos);
  EXPECT_EQ(text.find("Target function index"), std::string::npos);
}

}  // namespace
