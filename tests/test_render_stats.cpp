// The render figures of the benchmark: the family of a scene's effect, and
// drawing and frames counted for the scene in progress.
#include <gtest/gtest.h>

#include <algorithm>

#include "EffectTable.h"
#include "RenderStats.h"

TEST(RenderStats, FamiliesAndTheirShareOfDrawing) {
  using F = RenderFamily;
  for (int code : {kImageHoldCode, kVideoHoldCode, kThreePanelCode}) EXPECT_EQ(RenderFamilyOf(code, false), F::Hold);
  // Any change between two videos plays the video hold.
  EXPECT_EQ(RenderFamilyOf(kI2IBase + EffectTable().front().number, true), F::Hold);
  // Every row is of a drawing family in its three directions; no code past
  // the rows is a transition.
  int32_t past = 0;
  for (const EffectRow& row : EffectTable()) {
    EXPECT_TRUE(row.family == F::ScreenQuad || row.family == F::Mesh) << row.className;
    for (int32_t base : {kI2IBase, kI2VBase, kV2IBase})
      EXPECT_EQ(RenderFamilyOf(base + row.number, false), row.family) << row.name;
    past = std::max(past, row.number + 1);
  }
  for (int code : {kI2IBase + past, kV2IBase + past, kTransitionCodeEnd, kI2IBase - 1, -1})
    EXPECT_EQ(RenderFamilyOf(code, false), F::Other) << code;

  SetRenderProfiling(true);
  ResetRenderStageTimes();
  BeginRenderScene(F::ScreenQuad);
  AddRenderStageTime(RenderStage::Draw, 5000);
  CountRenderedFrame();
  CountRenderedFrame();
  BeginRenderScene(F::Hold);  // ends the transition's scene
  AddRenderStageTime(RenderStage::Draw, 300);
  CountRenderedFrame();
  EndRenderScene();
  AddRenderStageTime(RenderStage::Draw, 1);  // outside a scene: totals only
  CountRenderedFrame();
  SetRenderProfiling(false);
  BeginRenderScene(F::Mesh);  // not profiling: no scene
  const RenderStageTimes t = GetRenderStageTimes();
  EXPECT_EQ(t.drawNs, 5301);
  EXPECT_EQ(t.frames, 4);
  const RenderFamilyTimes& quad = t.families[static_cast<int>(F::ScreenQuad)];
  const RenderFamilyTimes& hold = t.families[static_cast<int>(F::Hold)];
  EXPECT_EQ(quad.scenes, 1);
  EXPECT_EQ(quad.frames, 2);
  EXPECT_EQ(quad.drawNs, 5000);
  EXPECT_GT(quad.sceneNs, 0);
  EXPECT_EQ(hold.scenes, 1);
  EXPECT_EQ(hold.frames, 1);
  EXPECT_EQ(hold.drawNs, 300);
  EXPECT_EQ(t.families[static_cast<int>(F::Mesh)].scenes, 0);
}
